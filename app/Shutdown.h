// The shutdown sequence of both window close events: EngineCacheDir is removed by a small
// shell script written into the engine directory and run with /bin/sh; then the process
// ends with exit code 0. Nothing else is undone: the workers end with the process.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "engine/EngineFiles.h"
#include "text/Text.h"

namespace velarn {

// One reading of the local clock: the local calendar time in seconds counted as if it were
// UTC from 1970-01-01 00:00:00, and its milliseconds (0..999).
struct LocalClockReading {
  std::int64_t local_seconds = 0;
  int milliseconds = 0;
};
using LocalClock = std::function<LocalClockReading()>;

LocalClockReading ReadLocalClock();

// Seconds from local 1970-01-01 08:00:00 (the Unix time in a UTC+8 zone) followed by the
// three digits of the milliseconds; padded with "0" to 13 characters (never cut), or in the
// ten-digit form cut to 10 and padded to 10.
Text TimeStamp13(bool ten_digits, const LocalClock& clock = ReadLocalClock);

// True for a path worth handing to the clean-up: a drive-letter path (first letter A..Z,
// ":\" or ":/" somewhere, in strict mode not a bare drive root), or a POSIX absolute path
// (after doubled slashes are collapsed it starts with "/", in strict mode it is not "/" alone).
bool IsUsablePath(std::string_view path, bool strict);

// The script, GBK, two lines: 根目录 stands for the directory to remove, 执行文件名 for the
// script's own name. Each placeholder stands between single quotes.
inline constexpr std::string_view kRootPlaceholder = "\xB8\xF9\xC4\xBF\xC2\xBC";                  // 根目录
inline constexpr std::string_view kScriptNamePlaceholder = "\xD6\xB4\xD0\xD0\xCE\xC4\xBC\xFE\xC3\xFB";  // 执行文件名
inline constexpr std::string_view kScriptTemplate =
    "rm -rf -- '\xB8\xF9\xC4\xBF\xC2\xBC'\n"
    "rm -f -- '\xD6\xB4\xD0\xD0\xCE\xC4\xBC\xFE\xC3\xFB'";
inline constexpr std::string_view kScriptSuffix = "_Speed.sh";

// `value` made safe between single quotes: each "'" becomes "'\''".
std::string EscapeForSingleQuotes(std::string_view value);

// `script_template` with every 根目录 replaced by `root` and every 执行文件名 by `script_name`,
// both escaped for single quotes. One pass over the template, matching only at its character
// boundaries (a GBK trail byte never starts a match); the inserted values are file-system
// bytes and are never searched again.
std::string FillScriptTemplate(std::string_view script_template, std::string_view root,
                               std::string_view script_name);

enum class CleanupOutcome {
  kPathRejected,       // IsUsablePath refused it
  kNoCacheDirectory,   // nothing to remove (a link is not removed either)
  kNoEngineDirectory,  // the engine directory is missing and cannot be made, or unsafe
  kScriptNotWritten,
  kScriptNotStarted,
  kScriptRan,
};

struct CleanupSettings {
  std::string temp_root = TempRoot();
  LocalClock clock = ReadLocalClock;
};

// Removes the directory `path` through the clean-up script in the engine directory, run with
// that directory as its working directory (so the script's second line removes the script
// itself), and waits for it without a time limit.
CleanupOutcome RemoveEngineCache(std::string_view path, const CleanupSettings& settings = {});

struct ShutdownSettings {
  std::string program_directory;
  CleanupSettings cleanup;
  std::function<void(int exit_code)> end_process;  // the program: EndOwnProcess
};

// RemoveEngineCache(program directory + "/" + EngineCacheDir), then end_process(0).
void ShutdownSequence(const ShutdownSettings& settings);

// Ends the process at once with `exit_code` (_exit: no destructors, no atexit handlers, the
// workers end with it).
[[noreturn]] void EndOwnProcess(int exit_code);

// The program's shutdown: ShutdownSequence for ProgramDirectory(), then EndOwnProcess(0).
[[noreturn]] void RunShutdownSequence();

}  // namespace velarn
