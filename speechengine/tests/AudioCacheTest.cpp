#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "speechengine/AudioCache.h"

namespace velarn::speechengine {
namespace {

namespace fs = std::filesystem;

class AudioCacheTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::temp_directory_path() / "velarn-cache-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override { fs::remove_all(root_); }

  std::size_t EntryCount() const {
    std::size_t n = 0;
    for (const auto& entry : fs::directory_iterator(root_ / "cache"))
      n += entry.is_regular_file() ? 1 : 0;
    return n;
  }

  fs::path root_;
};

TEST_F(AudioCacheTest, StoredAudioIsFoundByItsKeyOnly) {
  auto cache = AudioCache::Open(root_ / "cache");
  ASSERT_TRUE(cache);
  const std::string audio("\x01\x00\x02\x00\xFF\x7F", 6);
  cache->Store("voice=a text=x", audio);
  EXPECT_EQ(cache->Find("voice=a text=x"), audio);
  EXPECT_FALSE(cache->Find("voice=b text=x"));
  EXPECT_FALSE(cache->Find("voice=a text=y"));
  cache->Store("empty", "");
  EXPECT_EQ(cache->Find("empty"), "");
  EXPECT_EQ(fs::status(root_ / "cache").permissions() & fs::perms::all, fs::perms::owner_all);
}

TEST_F(AudioCacheTest, TheLeastRecentlyUsedEntriesGoFirst) {
  const std::string audio(400, 'a');  // with its header each entry is a little over 400 bytes
  auto cache = AudioCache::Open(root_ / "cache", 1000);
  ASSERT_TRUE(cache);
  cache->Store("one", audio);
  cache->Store("two", audio);
  // Both an hour old, so that the use below is younger beyond any time-stamp resolution.
  for (const auto& entry : fs::directory_iterator(root_ / "cache")) {
    fs::last_write_time(entry.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  ASSERT_TRUE(cache->Find("two"));  // a use: "two" is now the younger
  cache->Store("three", audio);
  EXPECT_FALSE(cache->Find("one"));
  EXPECT_TRUE(cache->Find("two"));
  EXPECT_TRUE(cache->Find("three"));
  EXPECT_EQ(EntryCount(), 2u);
  cache->Store("huge", std::string(2000, 'b'));  // larger than the whole cache: skipped
  EXPECT_FALSE(cache->Find("huge"));
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(AudioCacheTest, AnUnusableDirectoryGivesNoCache) {
  std::ofstream(root_ / "file") << "x";
  EXPECT_FALSE(AudioCache::Open(root_ / "file"));
  fs::create_directory(root_ / "real");
  fs::create_directory_symlink(root_ / "real", root_ / "link");
  EXPECT_FALSE(AudioCache::Open(root_ / "link"));
  EXPECT_FALSE(AudioCache::Open(root_ / "missing" / "cache"));
}

TEST_F(AudioCacheTest, ACorruptEntryIsAMiss) {
  auto cache = AudioCache::Open(root_ / "cache");
  ASSERT_TRUE(cache);
  cache->Store("key", "audio");
  const fs::path entry = fs::directory_iterator(root_ / "cache")->path();
  fs::resize_file(entry, 5);
  EXPECT_FALSE(cache->Find("key"));
}

}  // namespace
}  // namespace velarn::speechengine
