// Start-up with a temporary directory that cannot hold the engine: mounted read-only, or too
// small for the library files. Start-up must fail with a message, never crash, and leave no
// half-written library behind (a later start with room would otherwise load a truncated file).
// The test makes its own mount namespace, so its tmpfs mounts vanish with the process; without
// the right to do that (not root) it is skipped.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/LoadedEngine.h"
#include "engine/PrepareEngine.h"
#include "tests/engine/RecordingDialogs.h"
#include "tests/engine/ScratchDirectory.h"

namespace velarn {
namespace {

struct TempCase {
  const char* name;
  const char* mount_options;
  bool message_expected;        // the init-failed message (the program exits at the missing
                                // entry point first; this recorder lets the call go on)
  bool missing_call_expected;   // the engine's first call finds no library
};

class StartupFaultTest : public ::testing::TestWithParam<TempCase> {
 protected:
  static void SetUpTestSuite() {
    private_mounts_ = unshare(CLONE_NEWNS) == 0 &&
                      mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
  }
  void SetUp() override {
    if (!private_mounts_) GTEST_SKIP() << "no private mount namespace (needs root)";
    temp_root_ = scratch_ / "tmp";
    program_dir_ = scratch_ / "program";
    std::filesystem::create_directories(temp_root_);
    std::filesystem::create_directories(program_dir_);
    ASSERT_EQ(mount("tmpfs", temp_root_.c_str(), "tmpfs", 0, GetParam().mount_options), 0);
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) umount2(temp_root_.c_str(), MNT_DETACH);
  }

  static inline bool private_mounts_ = false;
  testing::ScratchDirectory scratch_;
  std::string temp_root_, program_dir_;
  bool mounted_ = false;
};

TEST_P(StartupFaultTest, FailsWithAMessageAndLeavesNoPartialLibrary) {
  // The carried files at their real sizes: far more than the tiny directory holds.
  const std::string msc(483'328, '\x7f');
  const std::string speex(278'528, '\x7f');
  testing::RecordingDialogs dialogs;
  std::vector<std::string> missing;
  LoadedEngine engine([&](const std::string&, const std::string& entry_point) {
    missing.push_back(entry_point);  // the program shows a message naming it and exits
  });
  EngineStartup startup{dialogs, engine, CarriedFiles{msc, speex}, program_dir_, temp_root_,
                        [](const std::string&, int) { return -1; }};

  EXPECT_FALSE(PrepareEngine(startup));
  EXPECT_EQ(!dialogs.messages.empty(), GetParam().message_expected);
  if (GetParam().message_expected) {
    EXPECT_EQ(dialogs.messages.front().text, Text(kInitFailedMessage));
  }
  EXPECT_EQ(missing, GetParam().missing_call_expected ? std::vector<std::string>{"QTTSInit"}
                                                      : std::vector<std::string>{});
  // Nothing half-written under the library names, and no temporaries left filling the disk.
  const std::string engine_dir = temp_root_ + "/velarn-" + std::to_string(geteuid());
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(engine_dir, ignored)) {
    ADD_FAILURE() << "left behind: " << entry.path() << " (" << entry.file_size(ignored) << " bytes)";
  }
}

INSTANTIATE_TEST_SUITE_P(
    TempDirectories, StartupFaultTest,
    ::testing::Values(TempCase{"ReadOnly", "ro,size=1m", true, false},
                    TempCase{"TooSmall", "size=64k", true, true},
                    TempCase{"FullOfInodes", "size=4m,nr_inodes=1", true, false}),
    [](const ::testing::TestParamInfo<TempCase>& info) { return info.param.name; });

}  // namespace
}  // namespace velarn
