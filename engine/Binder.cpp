#include "engine/Binder.h"

#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <utility>

namespace velarn {
namespace {

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

LibraryHandle::LibraryHandle(const std::string& path) {
  dlerror();
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* message = dlerror();
    error_ = message != nullptr ? message : "dlopen failed";
  }
}

LibraryHandle::LibraryHandle(LibraryHandle&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

LibraryHandle& LibraryHandle::operator=(LibraryHandle&& other) noexcept {
  if (this != &other) {
    if (handle_ != nullptr) dlclose(handle_);
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

LibraryHandle::~LibraryHandle() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* LibraryHandle::Symbol(const std::string& name) const {
  if (handle_ == nullptr) return nullptr;
  return dlsym(handle_, name.c_str());
}

std::string FullPath(std::string_view path) {
  const std::string p(path);
  std::unique_ptr<char, decltype(&std::free)> resolved(realpath(p.c_str(), nullptr), &std::free);
  if (resolved) return resolved.get();
  std::error_code error;
  auto absolute = std::filesystem::absolute(std::filesystem::path(p), error);
  if (error) return p;
  return absolute.lexically_normal().string();
}

bool EntryPointBinder::BindEntryPoint(std::string_view path, const std::string& name) {
  const std::string full = FullPath(path);
  auto it = std::find_if(kept_.begin(), kept_.end(),
                         [&](const Kept& k) { return SameIgnoringCase(k.full_path, full); });
  bool loaded_here = false;
  if (it == kept_.end()) {
    // dlopen needs a "/" to load by path; the full path always has one.
    LibraryHandle library(full);
    if (!library.Loaded()) {
      last_error_ = library.Error();
      return false;
    }
    if (kept_.size() >= kMaxLibraries) Unload(kept_.begin());
    kept_.push_back(Kept{full, std::move(library)});
    it = std::prev(kept_.end());
    loaded_here = true;
  }
  void* address = it->library.Symbol(name);
  if (address == nullptr) {
    if (loaded_here) Unload(it);
    return false;
  }
  bound_[name] = Binding{address, it->full_path};
  return true;
}

void EntryPointBinder::Unload(std::deque<Kept>::iterator it) {
  // Addresses into the library die with it.
  std::erase_if(bound_, [&](const auto& entry) { return entry.second.full_path == it->full_path; });
  kept_.erase(it);
}

void* EntryPointBinder::Bound(const std::string& name) const {
  auto it = bound_.find(name);
  return it == bound_.end() ? nullptr : it->second.address;
}

std::string EntryPointBinder::BoundFrom(const std::string& name) const {
  auto it = bound_.find(name);
  return it == bound_.end() ? std::string() : it->second.full_path;
}

std::deque<std::string> EntryPointBinder::LoadedPaths() const {
  std::deque<std::string> paths;
  for (const auto& k : kept_) paths.push_back(k.full_path);
  return paths;
}

}  // namespace velarn
