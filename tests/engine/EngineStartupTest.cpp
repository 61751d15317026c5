// PrepareEngine end to end with the real engine component, carried inside the test program
// exactly as in the program.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "engine/LoadedEngine.h"
#include "engine/PrepareEngine.h"
#include "resources/CarriedEngine.h"
#include "tests/engine/RecordingDialogs.h"
#include "tests/engine/ScratchDirectory.h"

namespace velarn {
namespace {

using testing::ReadFile;
using testing::RecordingDialogs;
using testing::ScratchDirectory;

TEST(CarriedEngine, HoldsTheBuiltFilesByteForByte) {
  EXPECT_EQ(CarriedMscDll(), ReadFile(BUILT_MSC_PATH));
  EXPECT_EQ(CarriedSpeexDll(), ReadFile(BUILT_SPEEX_PATH));
  EXPECT_EQ(CarriedMscDll().substr(0, 4), "\x7F" "ELF");
}

class EngineStartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // The engine keeps its cache in the current directory, which is the program directory.
    std::filesystem::create_directories(scratch_ / "program");
    std::filesystem::create_directories(scratch_ / "tmp");
    saved_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(scratch_ / "program");
  }
  void TearDown() override { std::filesystem::current_path(saved_cwd_); }

  EngineStartup Startup(std::string_view speex) {
    return EngineStartup{dialogs_, engine_, CarriedFiles{CarriedMscDll(), speex}, scratch_ / "program",
                         scratch_ / "tmp", PingHost};
  }

  ScratchDirectory scratch_;
  std::filesystem::path saved_cwd_;
  RecordingDialogs dialogs_;
  LoadedEngine engine_{ReportAndExit(dialogs_)};
};

TEST_F(EngineStartupTest, StartsTheRealEngineAndSpeaks) {
  EngineStartup startup = Startup(CarriedSpeexDll());
  ASSERT_TRUE(PrepareEngine(startup)) << (dialogs_.messages.empty() ? "" : GbkToUtf8(dialogs_.messages[0].text));
  EXPECT_EQ(startup.init_result, 0);
  EXPECT_TRUE(engine_.FullyBound());
  EXPECT_EQ(ReadFile(startup.engine_directory + "msc.dll"), CarriedMscDll());
  EXPECT_EQ(ReadFile(startup.engine_directory + "speex.dll"), CarriedSpeexDll());
  // The local service answers the first probe, where ICMP is allowed at all.
  EXPECT_TRUE(startup.server_url == "localhost:80/index.htm" || startup.server_url == "localhost:1028/index.htm");

  // The engine is usable: a session gives audio.
  std::int32_t error = -1;
  const Text session = engine_.SessionBegin(
      "aue=raw,auf=audio/L16;rate=16000,bgs=0,ent=intp65,pitch=70,speed=99,tte=GB2312,vcn=x_yiping,volume=50", error);
  ASSERT_EQ(error, 0);
  ASSERT_FALSE(session.empty());
  const Text text = "\xC4\xE3\xBA\xC3";  // 你好
  engine_.TextPut(session, text, "");
  std::size_t audio_bytes = 0;
  for (int i = 0; i < 2000; ++i) {
    const EngineAudio audio = engine_.AudioGet(session);
    audio_bytes += audio.data.size();
    if (audio.status == 2) break;
    usleep(1000);
  }
  EXPECT_GT(audio_bytes, 1000u);
  engine_.SessionEnd(session, "");
}

TEST_F(EngineStartupTest, ABrokenCodecLibraryFailsInitWithTheMessage) {
  EngineStartup startup = Startup("this is not a shared object");
  EXPECT_FALSE(PrepareEngine(startup));
  EXPECT_NE(startup.init_result, 0);
  ASSERT_EQ(dialogs_.messages.size(), 1u);
  EXPECT_EQ(dialogs_.messages[0].text, kInitFailedMessage);
  EXPECT_EQ(dialogs_.messages[0].title, "");
  EXPECT_EQ(dialogs_.messages[0].icon, MessageIcon::kError);
  EXPECT_EQ(dialogs_.messages[0].buttons, MessageButtons::kOk);
}

}  // namespace
}  // namespace velarn
