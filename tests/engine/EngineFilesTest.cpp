#include "engine/EngineFiles.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>

#include "tests/engine/ScratchDirectory.h"

namespace velarn {
namespace {

using testing::ReadFile;
using testing::ScratchDirectory;
using testing::WriteFile;

std::string OurName() { return "velarn-" + std::to_string(geteuid()); }

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(EngineDirectory, IsCreatedPrivateUnderTheTempRoot) {
  ScratchDirectory scratch;
  const auto directory = EngineDirectory(scratch.Path() + "/");
  ASSERT_TRUE(directory);
  EXPECT_EQ(*directory, scratch / OurName() + "/");
  EXPECT_EQ(ModeOf(scratch / OurName()), 0700u);
  // Found again as it is.
  EXPECT_EQ(EngineDirectory(scratch.Path()), directory);
}

TEST(EngineDirectory, AnUnsafeDirectoryIsRefused) {
  struct Case {
    const char* what;
    void (*arrange)(const std::string& path, const std::string& scratch);
  };
  const Case cases[] = {
      {"writable by others",
       [](const std::string& p, const std::string&) { mkdir(p.c_str(), 0700), chmod(p.c_str(), 0777); }},
      {"writable by the group",
       [](const std::string& p, const std::string&) { mkdir(p.c_str(), 0700), chmod(p.c_str(), 0770); }},
      {"a link to a private directory",
       [](const std::string& p, const std::string& s) {
         mkdir((s + "/real").c_str(), 0700);
         symlink((s + "/real").c_str(), p.c_str());
       }},
      {"a file", [](const std::string& p, const std::string&) { WriteFile(p, "x"); }},
  };
  for (const Case& c : cases) {
    ScratchDirectory scratch;
    c.arrange(scratch / OurName(), scratch.Path());
    EXPECT_FALSE(EngineDirectory(scratch.Path())) << c.what;
  }
}

TEST(EngineDirectory, AnotherOwnersDirectoryIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "only root can give a directory away";
  ScratchDirectory scratch;
  const std::string path = scratch / OurName();
  ASSERT_EQ(mkdir(path.c_str(), 0700), 0);
  ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
  EXPECT_FALSE(EngineDirectory(scratch.Path()));
}

TEST(EngineDirectory, ARelativeTmpdirFallsBackToTmp) {
  const char* saved = std::getenv("TMPDIR");
  const std::string keep = saved != nullptr ? saved : "";
  setenv("TMPDIR", "relative/dir", 1);
  EXPECT_EQ(TempRoot(), "/tmp");
  setenv("TMPDIR", "/var/tmp", 1);
  EXPECT_EQ(TempRoot(), "/var/tmp");
  if (saved != nullptr) setenv("TMPDIR", keep.c_str(), 1); else unsetenv("TMPDIR");
}

TEST(DeployEngineFiles, WritesMissingFilesAndLeavesPresentOnesAlone) {
  ScratchDirectory scratch;
  const std::string dir = scratch.Path() + "/";
  const CarriedFiles carried{std::string_view("MSC\0bytes", 9), "SPEEX bytes"};

  DeployReport report = DeployEngineFiles(dir, carried);
  EXPECT_EQ(report.msc, DeployOutcome::kWritten);
  EXPECT_EQ(report.speex, DeployOutcome::kWritten);
  EXPECT_EQ(ReadFile(dir + "msc.dll"), std::string("MSC\0bytes", 9));
  EXPECT_EQ(ReadFile(dir + "speex.dll"), "SPEEX bytes");

  // Other content under the same names is used unchanged, neither compared nor rewritten.
  WriteFile(dir + "msc.dll", "older engine");
  report = DeployEngineFiles(dir, carried);
  EXPECT_EQ(report.msc, DeployOutcome::kPresent);
  EXPECT_EQ(report.speex, DeployOutcome::kPresent);
  EXPECT_EQ(ReadFile(dir + "msc.dll"), "older engine");
  // No temporary files are left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
}

TEST(DeployEngineFiles, ADirectoryNamedLikeAFileCountsAsPresent) {
  ScratchDirectory scratch;
  const std::string dir = scratch.Path() + "/";
  std::filesystem::create_directory(dir + "msc.dll");
  const DeployReport report = DeployEngineFiles(dir, CarriedFiles{"msc", "speex"});
  EXPECT_EQ(report.msc, DeployOutcome::kPresent);
  EXPECT_EQ(report.speex, DeployOutcome::kWritten);
  EXPECT_TRUE(std::filesystem::is_directory(dir + "msc.dll"));
}

TEST(DeployEngineFiles, AnInterruptedWriteLeavesNoTruncatedLibrary) {
  // A file-size limit makes the write fail part-way, as a full disk would (for root too).
  ScratchDirectory scratch;
  const std::string dir = scratch.Path() + "/";
  rlimit saved{};
  getrlimit(RLIMIT_FSIZE, &saved);
  auto* previous = signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const DeployOutcome outcome = DeployEngineFile(dir, "msc.dll", std::string(5000, 'x'));
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previous);
  EXPECT_EQ(outcome, DeployOutcome::kFailed);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 0);
  // The next start writes it whole.
  EXPECT_EQ(DeployEngineFile(dir, "msc.dll", std::string(5000, 'x')), DeployOutcome::kWritten);
  EXPECT_EQ(ReadFile(dir + "msc.dll").size(), 5000u);
}

}  // namespace
}  // namespace velarn
