#include "speechengine/AudioCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace velarn::speechengine {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kMagic = "VLNCACH1";

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes now and reports whether the data reached the file system without error.
  bool Close() {
    const int fd = std::exchange(fd_, -1);
    return fd >= 0 && ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool ReadAll(int fd, char* out, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::read(fd, out, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    out += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::uint64_t Fnv1a(std::string_view bytes, std::uint64_t seed) {
  std::uint64_t hash = seed;
  for (const char c : bytes) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 0x100000001b3ULL;
  }
  // A final mix so that the two seeds give independent-looking halves.
  hash ^= hash >> 33;
  hash *= 0xff51afd7ed558ccdULL;
  hash ^= hash >> 33;
  return hash;
}

std::string Hex(std::uint64_t value) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out(16, '0');
  for (int i = 15; i >= 0; --i, value >>= 4) out[static_cast<std::size_t>(i)] = kDigits[value & 15];
  return out;
}

bool IsEntryName(const std::string& name) {
  return name.size() == 32 && std::all_of(name.begin(), name.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

std::string Header(std::string_view key) {
  std::string header(kMagic);
  const auto size = static_cast<std::uint32_t>(key.size());
  std::array<char, 4> length{};
  std::memcpy(length.data(), &size, sizeof size);
  header.append(length.data(), length.size());
  header.append(key);
  return header;
}

}  // namespace

std::shared_ptr<AudioCache> AudioCache::Open(const fs::path& directory, std::size_t capacity) {
  if (::mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return nullptr;
  struct stat info {};
  if (::lstat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      info.st_uid != ::geteuid() || ::access(directory.c_str(), W_OK | X_OK) != 0) {
    return nullptr;
  }
  // Absolute: the program's current directory may move later (its file dialog does that).
  std::error_code error;
  fs::path absolute = fs::absolute(directory, error);
  if (error) return nullptr;
  return std::make_shared<AudioCache>(std::move(absolute), capacity);
}

AudioCache::AudioCache(fs::path directory, std::size_t capacity)
    : directory_(std::move(directory)), capacity_(capacity) {}

fs::path AudioCache::EntryPath(std::string_view key) const {
  return directory_ /
         (Hex(Fnv1a(key, 0xcbf29ce484222325ULL)) + Hex(Fnv1a(key, 0x84222325cbf29ce4ULL)));
}

std::optional<std::string> AudioCache::Find(std::string_view key) const {
  const fs::path path = EntryPath(key);
  FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  if (!file.valid()) return std::nullopt;
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  const std::string expected = Header(key);
  const auto size = static_cast<std::size_t>(info.st_size);
  if (size < expected.size() || size - expected.size() > capacity_) return std::nullopt;
  std::string header(expected.size(), '\0');
  // Two texts with the same hash: the stored key tells them apart.
  if (!ReadAll(file.get(), header.data(), header.size()) || header != expected) return std::nullopt;
  std::string audio(size - expected.size(), '\0');
  if (!ReadAll(file.get(), audio.data(), audio.size())) return std::nullopt;
  ::futimens(file.get(), nullptr);  // a use makes the entry young again
  return audio;
}

void AudioCache::MakeRoom(std::size_t incoming) {
  struct Entry {
    fs::path path;
    fs::file_time_type time;
    std::uintmax_t size;
  };
  std::vector<Entry> entries;
  std::uintmax_t total = 0;
  std::error_code error;
  for (fs::directory_iterator it(directory_, error), end; !error && it != end;
       it.increment(error)) {
    std::error_code entry_error;
    if (!IsEntryName(it->path().filename().string()) || !it->is_regular_file(entry_error)) continue;
    const auto size = it->file_size(entry_error);
    const auto time = it->last_write_time(entry_error);
    if (entry_error) continue;
    entries.push_back({it->path(), time, size});
    total += size;
  }
  std::sort(entries.begin(), entries.end(),
            [](const Entry& a, const Entry& b) { return a.time < b.time; });
  for (const Entry& entry : entries) {
    if (total + incoming <= capacity_) break;
    if (fs::remove(entry.path, error)) total -= entry.size;
  }
}

void AudioCache::Store(std::string_view key, std::string_view audio) {
  const std::string header = Header(key);
  const std::size_t size = header.size() + audio.size();
  if (size > capacity_) return;
  const std::lock_guard lock(store_mutex_);
  MakeRoom(size);
  const fs::path path = EntryPath(key);
  fs::path temporary = path;
  temporary += ".tmp" + std::to_string(::getpid());
  FileDescriptor file(
      ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (!file.valid()) return;
  const bool written = WriteAll(file.get(), header) && WriteAll(file.get(), audio);
  std::error_code error;
  // Written whole under a temporary name, then renamed: a reader sees all of an entry or none.
  if (!file.Close() || !written) {
    fs::remove(temporary, error);
    return;
  }
  fs::rename(temporary, path, error);
  if (error) fs::remove(temporary, error);
}

}  // namespace velarn::speechengine
