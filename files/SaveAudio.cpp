#include "files/SaveAudio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace velarn {
namespace {

// An unnamed file in `directory`: removed by the system when its descriptor closes.
FileDescriptor OpenUnnamedFile(const std::string& directory) {
  FileDescriptor fd(open(directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
  if (fd) return fd;
  // WORKAROUND: file systems without O_TMPFILE; a named file removed at once does the same.
  std::string pattern = directory + "/velarn-save-XXXXXX";
  FileDescriptor named(mkostemp(pattern.data(), O_CLOEXEC));
  if (named) unlink(pattern.c_str());
  return named;
}

}  // namespace

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) close(fd_);
    fd_ = other.Release();
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) close(fd_);
}

int FileDescriptor::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

SaveAudio::SaveAudio(std::string spill_directory, std::size_t threshold, std::uint64_t max_audio)
    : spill_directory_(std::move(spill_directory)), threshold_(threshold), max_audio_(max_audio) {}

bool SaveAudio::Append(std::string_view piece) {
  if (failed_) return false;
  size_ += piece.size();
  if (!spill_ && !spill_directory_.empty() && memory_.size() + piece.size() > threshold_) {
    spill_ = OpenUnnamedFile(spill_directory_);
    if (!spill_ || !WriteAll(spill_.Get(), memory_)) {
      failed_ = true;
      return false;
    }
    ByteString().swap(memory_);
  }
  if (spill_) {
    failed_ = !WriteAll(spill_.Get(), piece);
    return !failed_;
  }
  // One block up to the threshold: growing by doubling would briefly hold two copies.
  if (!spill_directory_.empty() && memory_.capacity() < threshold_) memory_.reserve(threshold_);
  memory_.append(piece);
  return true;
}

bool SaveAudio::CopyTo(int fd) const {
  if (failed_) return false;
  if (!spill_) return WriteAll(fd, memory_);
  std::vector<char> buffer(1 << 20);
  for (off_t offset = 0;;) {
    const ssize_t n = pread(spill_.Get(), buffer.data(), buffer.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return static_cast<std::uint64_t>(offset) == size_;
    if (!WriteAll(fd, std::string_view(buffer.data(), static_cast<std::size_t>(n)))) return false;
    offset += n;
  }
}

}  // namespace velarn
