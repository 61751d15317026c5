// BindEntryPoint: loads engine libraries by full path and looks up their entry points. The
// libraries it keeps stay loaded while the binder lives (for the program: until the process
// ends); at most kMaxLibraries are kept, the oldest unloaded to make room.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <string>
#include <string_view>

namespace velarn {

// One dlopen handle, closed by its destructor.
class LibraryHandle {
 public:
  LibraryHandle() = default;
  // Loads `path` with RTLD_NOW | RTLD_LOCAL; check Loaded() and Error().
  explicit LibraryHandle(const std::string& path);
  LibraryHandle(LibraryHandle&& other) noexcept;
  LibraryHandle& operator=(LibraryHandle&& other) noexcept;
  LibraryHandle(const LibraryHandle&) = delete;
  LibraryHandle& operator=(const LibraryHandle&) = delete;
  ~LibraryHandle();

  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }
  // The address of `name`, or null when the library has no such symbol.
  void* Symbol(const std::string& name) const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

class EntryPointBinder {
 public:
  static constexpr std::size_t kMaxLibraries = 20;

  // True when the library at `path` is loaded and has `name`; the address is then kept and
  // given by Bound(name). A library found by its full path (compared without regard to case)
  // is reused; a load that fails remembers nothing; a library loaded by this very call is
  // unloaded again when it lacks the entry point.
  bool BindEntryPoint(std::string_view path, const std::string& name);

  // The address bound last for `name`, or null. It stays valid while its library is kept.
  void* Bound(const std::string& name) const;
  // The full path of the library that `name` was bound from; empty when unbound.
  std::string BoundFrom(const std::string& name) const;
  // The message of the last failed load (dlerror), for reports.
  const std::string& LastError() const { return last_error_; }

  // Full paths of the kept libraries, oldest first.
  std::deque<std::string> LoadedPaths() const;

 private:
  struct Kept {
    std::string full_path;
    LibraryHandle library;
  };
  struct Binding {
    void* address = nullptr;
    std::string full_path;
  };

  void Unload(std::deque<Kept>::iterator it);

  std::deque<Kept> kept_;  // oldest first
  std::map<std::string, Binding, std::less<>> bound_;
  std::string last_error_;
};

// The full path of `path` (realpath when it exists, else the path made absolute against the
// current directory, with "." and ".." folded).
std::string FullPath(std::string_view path);

}  // namespace velarn
