#include "engine/Binder.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/engine/ScratchDirectory.h"

namespace velarn {
namespace {

using testing::ScratchDirectory;

// True while the dynamic linker has `path` loaded (RTLD_NOLOAD loads nothing).
bool IsLoaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

// `count` distinct copies of the one-entry library: each path is a library of its own.
std::vector<std::string> Copies(const ScratchDirectory& scratch, int count) {
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    paths.push_back(scratch / ("lonely" + std::to_string(i) + ".dll"));
    std::filesystem::copy_file(LONELY_PATH, paths.back());
  }
  return paths;
}

TEST(BindEntryPoint, KeepsAtMostTwentyLibrariesUnloadingTheOldest) {
  ScratchDirectory scratch;
  const auto paths = Copies(scratch, 22);
  EntryPointBinder binder;
  for (int i = 0; i < 20; ++i) ASSERT_TRUE(binder.BindEntryPoint(paths[i], "LonelyEntry")) << i;
  EXPECT_EQ(binder.LoadedPaths().size(), 20u);
  EXPECT_TRUE(IsLoaded(paths[0]));

  ASSERT_TRUE(binder.BindEntryPoint(paths[20], "LonelyEntry"));
  ASSERT_TRUE(binder.BindEntryPoint(paths[21], "LonelyEntry"));
  const auto kept = binder.LoadedPaths();
  ASSERT_EQ(kept.size(), 20u);
  EXPECT_EQ(kept.front(), paths[2]);
  EXPECT_EQ(kept.back(), paths[21]);
  EXPECT_FALSE(IsLoaded(paths[0]));
  EXPECT_FALSE(IsLoaded(paths[1]));
  EXPECT_TRUE(IsLoaded(paths[2]));
  // The binding now points into the newest library, and it works.
  EXPECT_EQ(binder.BoundFrom("LonelyEntry"), paths[21]);
  auto entry = reinterpret_cast<int (*)()>(binder.Bound("LonelyEntry"));
  EXPECT_EQ(entry(), 7);
}

TEST(BindEntryPoint, ReusesALibraryByItsFullPathIgnoringCase) {
  ScratchDirectory scratch;
  const std::string path = Copies(scratch, 1)[0];
  EntryPointBinder binder;
  ASSERT_TRUE(binder.BindEntryPoint(path, "LonelyEntry"));
  // A relative spelling with "." and "..", and another case, reach the same kept library.
  const std::string dir = std::filesystem::path(path).parent_path().string();
  const std::string upper = dir + "/./../" + std::filesystem::path(dir).filename().string() + "/LONELY0.DLL";
  EXPECT_TRUE(binder.BindEntryPoint(upper, "LonelyEntry"));
  EXPECT_EQ(binder.LoadedPaths().size(), 1u);
}

TEST(BindEntryPoint, UnloadsALibraryItLoadedWhenTheEntryPointIsMissing) {
  ScratchDirectory scratch;
  const auto paths = Copies(scratch, 2);
  EntryPointBinder binder;
  EXPECT_FALSE(binder.BindEntryPoint(paths[0], "QTTSInit"));
  EXPECT_TRUE(binder.LoadedPaths().empty());
  EXPECT_FALSE(IsLoaded(paths[0]));

  // A library kept by an earlier call stays when a later call misses an entry point.
  ASSERT_TRUE(binder.BindEntryPoint(paths[1], "LonelyEntry"));
  EXPECT_FALSE(binder.BindEntryPoint(paths[1], "QTTSInit"));
  EXPECT_EQ(binder.LoadedPaths().size(), 1u);
  EXPECT_TRUE(IsLoaded(paths[1]));
  EXPECT_NE(binder.Bound("LonelyEntry"), nullptr);
  EXPECT_EQ(binder.Bound("QTTSInit"), nullptr);
}

TEST(BindEntryPoint, AFailedLoadRemembersNothing) {
  ScratchDirectory scratch;
  testing::WriteFile(scratch / "msc.dll", "not a library");
  std::filesystem::create_directory(scratch / "dir.dll");
  EntryPointBinder binder;
  for (const std::string& path : {scratch / "msc.dll", scratch / "dir.dll", scratch / "missing.dll"}) {
    EXPECT_FALSE(binder.BindEntryPoint(path, "QTTSInit")) << path;
    EXPECT_FALSE(binder.LastError().empty()) << path;
  }
  EXPECT_TRUE(binder.LoadedPaths().empty());
}

}  // namespace
}  // namespace velarn
