#include "engine/EngineFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "engine/MscEntryPoints.h"

namespace velarn {
namespace {

// A file descriptor, closed by its destructor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) close(fd_);
  }
  int Get() const { return fd_; }
  // Closes now; false when close reported an error (a write that did not make it to disk).
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return fd < 0 || close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool IsSafeDirectory(const struct stat& st) {
  return S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::string_view EngineCacheDirName() { return MSC_ENGINE_CACHE_DIR; }

std::string TempRoot() {
  const char* tmpdir = std::getenv("TMPDIR");
  if (tmpdir != nullptr && tmpdir[0] == '/') return tmpdir;
  return "/tmp";
}

std::optional<std::string> EngineDirectory(const std::string& temp_root) {
  std::string directory = temp_root;
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  directory += "/velarn-" + std::to_string(geteuid());
  struct stat st {};
  if (lstat(directory.c_str(), &st) != 0) {
    if (errno != ENOENT) return std::nullopt;
    // Another process may create it at the same moment: EEXIST falls through to the checks.
    if (mkdir(directory.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
    if (lstat(directory.c_str(), &st) != 0) return std::nullopt;
  }
  // lstat: a link is refused as it is, whatever it points to.
  if (!IsSafeDirectory(st)) return std::nullopt;
  return directory + "/";
}

DeployOutcome DeployEngineFile(const std::string& directory, std::string_view name, std::string_view bytes) {
  const std::string target = directory + std::string(name);
  struct stat st {};
  if (lstat(target.c_str(), &st) == 0) return DeployOutcome::kPresent;
  if (errno != ENOENT) return DeployOutcome::kFailed;

  std::string temporary = target + ".XXXXXX";
  FileDescriptor fd(mkostemp(temporary.data(), O_CLOEXEC));
  if (fd.Get() < 0) return DeployOutcome::kFailed;
  bool ok = WriteAll(fd.Get(), bytes) && fchmod(fd.Get(), 0700) == 0;
  ok = fd.Close() && ok;
  // link() never replaces: a file that appeared meanwhile is kept, as any present file is.
  if (ok && link(temporary.c_str(), target.c_str()) != 0) {
    const int link_error = errno;
    // A file system without hard links: rename, in our private directory only we write.
    if ((link_error == EPERM || link_error == EOPNOTSUPP) && rename(temporary.c_str(), target.c_str()) == 0) {
      return DeployOutcome::kWritten;
    }
    unlink(temporary.c_str());
    return link_error == EEXIST ? DeployOutcome::kPresent : DeployOutcome::kFailed;
  }
  unlink(temporary.c_str());
  return ok ? DeployOutcome::kWritten : DeployOutcome::kFailed;
}

DeployReport DeployEngineFiles(const std::string& directory, const CarriedFiles& files) {
  DeployReport report;
  report.msc = DeployEngineFile(directory, kMscFileName, files.msc);
  report.speex = DeployEngineFile(directory, kSpeexFileName, files.speex);
  return report;
}

}  // namespace velarn
