// The directory that holds the program file.
#pragma once

#include <string>
#include <string_view>

namespace velarn {

// The program file's path (/proc/self/exe) up to, not including, its last "/"; empty when
// the path cannot be read (or the program stands in "/").
std::string ProgramDirectory();

// `path` up to, not including, its last "/"; empty when it has none.
std::string DirectoryOf(std::string_view path);

}  // namespace velarn
