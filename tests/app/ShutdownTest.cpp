#include "app/Shutdown.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "app/ProgramDirectory.h"
#include "tests/engine/ScratchDirectory.h"

namespace velarn {
namespace {

using testing::ScratchDirectory;

constexpr std::int64_t kUtc8 = 8 * 3600;

LocalClock At(std::int64_t unix_seconds, int ms) {
  return [=] { return LocalClockReading{unix_seconds + kUtc8, ms}; };
}

TEST(IsUsablePath, Table) {
  struct Case {
    const char* path;
    bool strict;
    bool usable;
  };
  const Case cases[] = {
      {"AB:\\x", true, true},  // the colon pair may stand anywhere after a first letter
      {"c:/temp", true, true},
      {"C:\\", true, false},  // a bare drive root
      {"C:\\", false, true},
      {"C://", true, false},
      {"C:\\\\\\\\temp", true, true},  // four backslashes collapse to C:\temp
      {"\\\\server\\share\\x", true, false},  // UNC: the first character is a backslash
      {"1:\\x", true, false},
      {"Cx\\y", true, false},
      {"\xB8\xF9:\\x", true, false},  // a double-byte first character
      {"", true, false},
      {"/home/u/prog/dir", true, true},
      {"//home//u", true, true},
      {"/", true, false},
      {"///", true, false},
      {"/", false, true},
      {"relative/dir", true, false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsUsablePath(c.path, c.strict), c.usable) << c.path << " strict=" << c.strict;
}

TEST(TimeStamp13, Table) {
  struct Case {
    std::int64_t unix_seconds;
    int ms;
    bool ten_digits;
    const char* stamp;
  };
  const Case cases[] = {
      {1234567890, 123, false, "1234567890123"},
      {1234567890, 7, false, "1234567890007"},
      {1234567890, 0, false, "1234567890000"},
      {999999999, 7, false, "9999999990070"},    // 2001-09-09: nine digits, padded to 13
      {1000000000, 7, false, "1000000000007"},   // ten digits from here
      {-1000000001, 5, false, "-1000000000005"},  // truncated toward zero; 11 characters: not cut
      {0, 0, false, "0000000000000"},
      {1234567890, 123, true, "1234567890"},
      {5, 7, true, "5007000000"},
      {std::int64_t{1} << 32, 1, false, "2147483647001"},  // beyond 2038: kept in range
  };
  for (const Case& c : cases) {
    EXPECT_EQ(TimeStamp13(c.ten_digits, At(c.unix_seconds, c.ms)), c.stamp) << c.unix_seconds;
  }
  // The real clock gives 13 digits today.
  const Text now = TimeStamp13(false);
  EXPECT_EQ(now.size(), 13u);
  EXPECT_EQ(now.find_first_not_of("0123456789"), std::string::npos);
}

TEST(FillScriptTemplate, ReplacesOnlyAtCharacterBoundariesAndNeverRescansValues) {
  // 案 (B0 B8) ends in B8, the first byte of 根目录 (B8F9 C4BF C2BC); the characters after it
  // make the bytes B8 F9 C4 BF C2 BC appear across character boundaries.
  const std::string tricky = "\xB0\xB8\xF9\xC4\xBF\xC2\xBC\xA1";
  const std::string script_template = tricky + " '" + std::string(kRootPlaceholder) + "' '" +
                                      std::string(kScriptNamePlaceholder) + "'";
  // A GBK-named directory whose bytes hold the other placeholder (执行文件名) and a trail byte
  // equal to a placeholder byte.
  const std::string root = "/x/\xD6\xB4\xD0\xD0\xCE\xC4\xBC\xFE\xC3\xFB\xB0\xB8/";
  EXPECT_EQ(FillScriptTemplate(script_template, root, "1_Speed.sh"), tricky + " '" + root + "' '1_Speed.sh'");
}

TEST(FillScriptTemplate, TheScriptHasTwoLinesWithSafelyQuotedPaths) {
  EXPECT_EQ(FillScriptTemplate(kScriptTemplate, "/opt/v/cache/", "1234567890123_Speed.sh"),
            "rm -rf -- '/opt/v/cache/'\nrm -f -- '1234567890123_Speed.sh'");
  EXPECT_EQ(FillScriptTemplate(kScriptTemplate, "/o'k/", "n"), "rm -rf -- '/o'\\''k/'\nrm -f -- 'n'");
}

class RemoveEngineCacheTest : public ::testing::Test {
 protected:
  CleanupSettings Settings() { return CleanupSettings{scratch_ / "tmp", At(1234567890, 123)}; }
  std::string EngineDir() { return scratch_ / "tmp" + "/velarn-" + std::to_string(geteuid()); }
  static void Make(const std::string& dir) { std::filesystem::create_directories(dir); }

  ScratchDirectory scratch_;
};

TEST_F(RemoveEngineCacheTest, TheScriptRemovesTheTreeAndItselfWhateverTheName) {
  // Quotes, a dollar sign, backquotes and a line break in the program directory must not run.
  const std::string program = scratch_ / "it's $(touch pwned1) `touch pwned2` \"q\"\nx";
  const std::string cache = program + "/" + std::string(EngineCacheDirName());
  Make(cache + "/sub/deeper");
  testing::WriteFile(cache + "/sub/entry.wav", "RIFF");
  Make(scratch_ / "tmp");

  // The process's current directory is elsewhere: the script still removes itself.
  ASSERT_EQ(RemoveEngineCache(cache, Settings()), CleanupOutcome::kScriptRan);
  EXPECT_FALSE(std::filesystem::exists(cache));
  EXPECT_TRUE(std::filesystem::is_directory(program));
  EXPECT_FALSE(std::filesystem::exists(EngineDir() + "/1234567890123_Speed.sh"));
  for (const std::string& dir : {EngineDir(), program, scratch_.Path(), std::filesystem::current_path().string()}) {
    EXPECT_FALSE(std::filesystem::exists(dir + "/pwned1")) << dir;
    EXPECT_FALSE(std::filesystem::exists(dir + "/pwned2")) << dir;
  }
}

TEST_F(RemoveEngineCacheTest, NoScriptWhenThereIsNothingToRemove) {
  Make(scratch_ / "tmp");
  const std::string cache = scratch_ / "program/" + std::string(EngineCacheDirName());
  EXPECT_EQ(RemoveEngineCache(cache, Settings()), CleanupOutcome::kNoCacheDirectory);
  // A link under the cache's name is not followed into what it points to.
  Make(scratch_ / "precious");
  testing::WriteFile(scratch_ / "precious/keep", "x");
  Make(scratch_ / "program");
  ASSERT_EQ(symlink((scratch_ / "precious").c_str(), cache.c_str()), 0);
  EXPECT_EQ(RemoveEngineCache(cache, Settings()), CleanupOutcome::kNoCacheDirectory);
  EXPECT_EQ(RemoveEngineCache("\\\\server\\share\\" + std::string(EngineCacheDirName()), Settings()),
            CleanupOutcome::kPathRejected);
  EXPECT_TRUE(std::filesystem::exists(scratch_ / "precious/keep"));
  EXPECT_FALSE(std::filesystem::exists(EngineDir()));  // no script directory was even needed
}

TEST_F(RemoveEngineCacheTest, AnUnsafeEngineDirectoryGetsNoScript) {
  const std::string cache = scratch_ / "program/" + std::string(EngineCacheDirName());
  Make(cache);
  Make(EngineDir());
  chmod(EngineDir().c_str(), 0777);
  EXPECT_EQ(RemoveEngineCache(cache, Settings()), CleanupOutcome::kNoEngineDirectory);
  EXPECT_TRUE(std::filesystem::exists(cache));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(EngineDir()), {}), 0);
}

TEST_F(RemoveEngineCacheTest, TheShutdownSequenceEndsTheProcessWithZeroInEveryCase) {
  const std::string program = scratch_ / "program";
  Make(program + "/" + std::string(EngineCacheDirName()));
  Make(scratch_ / "tmp");
  for (const std::string& dir : {program, std::string("relative"), program}) {
    std::vector<int> codes;
    ShutdownSequence(ShutdownSettings{dir, Settings(), [&](int code) { codes.push_back(code); }});
    EXPECT_EQ(codes, std::vector<int>{0}) << dir;
  }
  EXPECT_FALSE(std::filesystem::exists(program + "/" + std::string(EngineCacheDirName())));
}

// The program's own sequence, in a child process: the cache beside the program file goes,
// and the process ends with exit code 0.
TEST(RunShutdownSequenceDeathTest, RemovesTheCacheBesideTheProgramAndExitsWithZero) {
  ScratchDirectory temp;
  const std::string cache = ProgramDirectory() + "/" + std::string(EngineCacheDirName());
  std::filesystem::create_directories(cache + "/entries");
  const char* saved = std::getenv("TMPDIR");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("TMPDIR", temp.Path().c_str(), 1);
  EXPECT_EXIT(RunShutdownSequence(), ::testing::ExitedWithCode(0), "");
  if (saved != nullptr) setenv("TMPDIR", keep.c_str(), 1); else unsetenv("TMPDIR");
  EXPECT_FALSE(std::filesystem::exists(cache));
  // The script removed itself from the engine directory.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp / ("velarn-" + std::to_string(geteuid()))), {}), 0);
}

TEST(ProgramDirectory, IsTheDirectoryOfTheRunningProgram) {
  EXPECT_EQ(ProgramDirectory(), std::filesystem::canonical(VELARN_TEST_BINARY_DIR).string());
  EXPECT_EQ(DirectoryOf("/opt/velarn/velarn"), "/opt/velarn");
  EXPECT_EQ(DirectoryOf("/velarn"), "");
  EXPECT_EQ(DirectoryOf("velarn"), "");
}

}  // namespace
}  // namespace velarn
