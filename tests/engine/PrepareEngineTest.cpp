// PrepareEngine with a small fake engine carried in place of the real one: the steps, their
// order and the failure paths.
#include "engine/PrepareEngine.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/LoadedEngine.h"
#include "tests/engine/RecordingDialogs.h"
#include "tests/engine/ScratchDirectory.h"

namespace velarn {
namespace {

using testing::ReadFile;
using testing::RecordingDialogs;
using testing::ScratchDirectory;

struct Missing {
  std::string library, entry_point;
};

class PrepareEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    program_dir_ = scratch_ / "program";
    temp_root_ = scratch_ / "tmp";
    std::filesystem::create_directories(program_dir_ + "/" + std::string(EngineCacheDirName()));
    std::filesystem::create_directories(temp_root_);
    chmod(CachePath().c_str(), 0755);
  }

  EngineStartup Startup(const std::string& carried_msc) {
    carried_msc_ = carried_msc;
    EngineStartup startup{dialogs_, engine_, CarriedFiles{carried_msc_, "speex"}, program_dir_, temp_root_,
                          [this](const std::string& host, int) {
                            probed_.push_back(host);
                            return host == "127.0.0.1" ? 1 : -1;
                          }};
    return startup;
  }
  std::string EngineDir() const { return temp_root_ + "/velarn-" + std::to_string(geteuid()) + "/"; }
  std::string CachePath() const { return program_dir_ + "/" + std::string(EngineCacheDirName()); }
  mode_t CacheMode() const {
    struct stat st {};
    stat(CachePath().c_str(), &st);
    return st.st_mode & 0777;
  }

  ScratchDirectory scratch_;
  std::string program_dir_, temp_root_, carried_msc_;
  RecordingDialogs dialogs_;
  std::vector<Missing> missing_;
  LoadedEngine engine_{[this](const std::string& l, const std::string& e) { missing_.push_back({l, e}); }};
  std::vector<std::string> probed_;
};

TEST_F(PrepareEngineTest, DeploysBindsProbesInitialisesAndMakesTheCachePrivate) {
  EngineStartup startup = Startup(ReadFile(FAKE_MSC_PATH));
  ASSERT_TRUE(PrepareEngine(startup));

  EXPECT_EQ(startup.engine_directory, EngineDir());
  EXPECT_EQ(ReadFile(EngineDir() + "msc.dll"), carried_msc_);
  EXPECT_EQ(ReadFile(EngineDir() + "speex.dll"), "speex");
  EXPECT_TRUE(engine_.FullyBound());
  EXPECT_EQ(probed_, (std::vector<std::string>{"localhost", "127.0.0.1"}));
  EXPECT_EQ(startup.server_url, "127.0.0.1:80/index.htm");
  EXPECT_EQ(startup.init_result, 0);
  EXPECT_EQ(CacheMode(), 0700u);
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_TRUE(missing_.empty());

  // The engine saw exactly EngineConfig; it was loaded from the deployed copy.
  void* handle = dlopen((EngineDir() + "msc.dll").c_str(), RTLD_NOW | RTLD_NOLOAD);
  ASSERT_NE(handle, nullptr);
  auto last_config = reinterpret_cast<const char* (*)()>(dlsym(handle, "FakeLastConfig"));
  ASSERT_NE(last_config, nullptr);
  EXPECT_EQ(std::string(last_config()), EngineConfig("127.0.0.1:80/index.htm"));
  dlclose(handle);
}

TEST_F(PrepareEngineTest, AFailingInitShowsTheMessageAndLeavesTheCacheAlone) {
  EngineStartup startup = Startup(ReadFile(FAKE_MSC_FAILING_PATH));
  EXPECT_FALSE(PrepareEngine(startup));
  EXPECT_EQ(startup.init_result, -3);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, "\xB3\xF5\xCA\xBC\xBB\xAF\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xC6\xF4\xB6\xAF\xD4\xD9\xCA\xD4");  // 初始化失败，请重新启动再试
  EXPECT_EQ(dialogs_.messages[0].title, "");
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(dialogs_.messages[0].buttons, MessageButtons::kOk);
  EXPECT_EQ(CacheMode(), 0755u);
}

TEST_F(PrepareEngineTest, NothingToBindIsReportedByTheFirstCall) {
  // A directory named msc.dll counts as present, so nothing loads from there.
  std::filesystem::create_directories(EngineDir() + "msc.dll");
  chmod(EngineDir().c_str(), 0700);
  EngineStartup startup = Startup(ReadFile(FAKE_MSC_PATH));
  EXPECT_FALSE(PrepareEngine(startup));
  ASSERT_EQ(missing_.size(), 1u);
  EXPECT_EQ(missing_[0].library, EngineDir() + "msc.dll");
  EXPECT_EQ(missing_[0].entry_point, "QTTSInit");
  EXPECT_FALSE(engine_.FullyBound());
}

TEST_F(PrepareEngineTest, AnUnsafeEngineDirectoryFailsBeforeAnythingIsLoaded) {
  std::filesystem::create_directories(EngineDir());
  chmod(EngineDir().c_str(), 0777);
  EngineStartup startup = Startup(ReadFile(FAKE_MSC_PATH));
  EXPECT_FALSE(PrepareEngine(startup));
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, kInitFailedMessage);
  EXPECT_FALSE(std::filesystem::exists(EngineDir() + "msc.dll"));
  EXPECT_TRUE(probed_.empty());
  EXPECT_TRUE(missing_.empty());  // no engine call was made
}

}  // namespace
}  // namespace velarn
