// The audio a save run gathers: in memory up to a threshold, then in an unnamed file in the
// private temporary directory, so that a long text does not hold its whole speech in memory.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "text/Text.h"

namespace velarn {

inline constexpr std::size_t kSaveSpillThreshold = 64u << 20;
// The most audio one clip header can describe: the RIFF size is the audio size + 36 in 32 bits.
inline constexpr std::uint64_t kClipMaxAudio = 0xFFFFFFFFull - 36;

// An open file descriptor, closed on scope exit.
class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.Release()) {}
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();
  int Get() const { return fd_; }
  int Release();
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Writes all of `data` to `fd`; false on any error (a full disk among them).
bool WriteAll(int fd, std::string_view data);

class SaveAudio {
 public:
  // Spills to an unnamed file in `spill_directory` past `threshold` bytes; an empty directory
  // keeps everything in memory.
  explicit SaveAudio(std::string spill_directory, std::size_t threshold = kSaveSpillThreshold,
                     std::uint64_t max_audio = kClipMaxAudio);

  // Adds a piece; false (and Failed()) when the spill file cannot take it.
  bool Append(std::string_view piece);
  std::uint64_t Size() const { return size_; }
  bool Failed() const { return failed_; }
  bool TooLongForOneFile() const { return size_ > max_audio_; }
  bool Spilled() const { return static_cast<bool>(spill_); }
  // Writes every byte gathered, in order, to `fd`.
  bool CopyTo(int fd) const;

 private:
  std::string spill_directory_;
  std::size_t threshold_;
  std::uint64_t max_audio_;
  ByteString memory_;
  FileDescriptor spill_;
  std::uint64_t size_ = 0;
  bool failed_ = false;
};

}  // namespace velarn
