#include "app/ProgramDirectory.h"

#include <unistd.h>

#include <vector>

namespace velarn {

std::string DirectoryOf(std::string_view path) {
  const auto slash = path.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

std::string ProgramDirectory() {
  // readlink does not say when it truncated: grow until the answer fits with room to spare.
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<std::size_t>(n) < buffer.size()) {
      return DirectoryOf(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
    }
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace velarn
