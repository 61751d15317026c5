// The engine's cache of synthesised audio: one file per text and voice setting in a directory
// of its own, at most a fixed number of bytes, the least recently used entries going first.
#pragma once

#include <cstddef>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace velarn::speechengine {

class AudioCache {
 public:
  static constexpr std::size_t kDefaultCapacity = 64u << 20;

  // Creates (or reuses) `directory`; nothing when it cannot be used: a link, another
  // user's, not a directory, or not writable.
  static std::shared_ptr<AudioCache> Open(const std::filesystem::path& directory,
                                          std::size_t capacity = kDefaultCapacity);

  AudioCache(std::filesystem::path directory, std::size_t capacity);
  AudioCache(const AudioCache&) = delete;
  AudioCache& operator=(const AudioCache&) = delete;

  // The audio stored under `key`, or nothing. A hit counts as a use.
  std::optional<std::string> Find(std::string_view key) const;
  // Stores `audio` under `key`, evicting the oldest entries to stay within the capacity.
  // Failures are silent: the cache is only an optimisation.
  void Store(std::string_view key, std::string_view audio);

  const std::filesystem::path& directory() const { return directory_; }

 private:
  std::filesystem::path EntryPath(std::string_view key) const;
  void MakeRoom(std::size_t incoming);

  std::filesystem::path directory_;
  std::size_t capacity_;
  std::mutex store_mutex_;  // one writer at a time, so eviction sums stay right
};

}  // namespace velarn::speechengine
