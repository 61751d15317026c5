#include "app/Shutdown.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <ctime>
#include <limits>

#include "app/ProgramDirectory.h"

extern char** environ;

namespace velarn {
namespace {

bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  // Our own engine directory; O_NOFOLLOW all the same, a link is not written through.
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0700);
  if (fd < 0) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const ssize_t n = write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    ok = n > 0;
    if (ok) bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return close(fd) == 0 && ok;
}

// Runs `/bin/sh script_path` in `working_directory` and waits for it; false when it could not
// be started.
bool RunScript(const std::string& script_path, const std::string& working_directory) {
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return false;
  bool ok = posix_spawn_file_actions_addchdir_np(&actions, working_directory.c_str()) == 0 &&
            posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0;
  pid_t child = -1;
  if (ok) {
    std::string shell = "/bin/sh";
    std::string script = script_path;
    char* argv[] = {shell.data(), script.data(), nullptr};
    ok = posix_spawn(&child, "/bin/sh", &actions, nullptr, argv, environ) == 0;
  }
  posix_spawn_file_actions_destroy(&actions);
  if (!ok) return false;
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  return true;
}

}  // namespace

LocalClockReading ReadLocalClock() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto since_epoch = now.time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch) -
                  std::chrono::duration_cast<std::chrono::seconds>(since_epoch);
  LocalClockReading reading;
  reading.local_seconds = static_cast<std::int64_t>(timegm(&local));
  reading.milliseconds = static_cast<int>((ms.count() + 1000) % 1000);
  return reading;
}

Text TimeStamp13(bool ten_digits, const LocalClock& clock) {
  // One reading for both parts, so that seconds and milliseconds belong to the same moment.
  const LocalClockReading now = clock();
  const int ms = now.milliseconds < 0 ? 0 : now.milliseconds > 999 ? 999 : now.milliseconds;
  Text milliseconds = std::to_string(ms);
  milliseconds.insert(0, 3 - milliseconds.size(), '0');

  // Days as a double times 86400, nudged by 1/172800 s against the rounding of the division,
  // truncated toward zero; kept inside the 32-bit range instead of overflowing after 2038.
  const double days = static_cast<double>(now.local_seconds - 8 * 3600) / 86400.0;
  double secs = std::trunc(days * 86400.0 + 5.787037037037037e-6);
  secs = std::fmax(std::numeric_limits<std::int32_t>::min(), std::fmin(secs, std::numeric_limits<std::int32_t>::max()));
  Text stamp = std::to_string(static_cast<std::int32_t>(secs)) + milliseconds;

  if (ten_digits) {
    stamp.resize(std::min<std::size_t>(stamp.size(), 10));
    if (stamp.size() < 10) stamp.append(10 - stamp.size(), '0');
  } else if (stamp.size() < 13) {
    stamp.append(13 - stamp.size(), '0');
  }
  return stamp;
}

bool IsUsablePath(std::string_view path, bool strict) {
  Text w(path);
  while (FindText(w, "\\\\") != 0) w = ReplaceAll(w, "\\\\", "\\");
  while (FindText(w, "//") != 0) w = ReplaceAll(w, "//", "/");
  if (w.empty()) return false;
  if (w[0] == '/') return !(strict && w == "/");
  char first = w[0];
  if (first >= 'a' && first <= 'z') first = static_cast<char>(first - 'a' + 'A');
  if (first < 'A' || first > 'Z') return false;
  if (FindText(w, ":\\") == 0 && FindText(w, ":/") == 0) return false;
  if (strict) {
    w = ReplaceAll(ReplaceAll(w, "\\\\", "\\"), "//", "/");
    if (w.size() == 3) return false;
  }
  return true;
}

std::string EscapeForSingleQuotes(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    if (c == '\'') {
      out += "'\\''";
    } else {
      out += c;
    }
  }
  return out;
}

std::string FillScriptTemplate(std::string_view script_template, std::string_view root,
                               std::string_view script_name) {
  const std::string quoted_root = EscapeForSingleQuotes(root);
  const std::string quoted_name = EscapeForSingleQuotes(script_name);
  std::string out;
  for (std::size_t i = 0; i < script_template.size();) {
    const std::string_view rest = script_template.substr(i);
    if (rest.starts_with(kRootPlaceholder)) {
      out += quoted_root;
      i += kRootPlaceholder.size();
    } else if (rest.starts_with(kScriptNamePlaceholder)) {
      out += quoted_name;
      i += kScriptNamePlaceholder.size();
    } else {
      const std::size_t unit = IsLeadByte(static_cast<unsigned char>(rest[0])) && rest.size() > 1 ? 2 : 1;
      out += rest.substr(0, unit);
      i += unit;
    }
  }
  return out;
}

CleanupOutcome RemoveEngineCache(std::string_view path, const CleanupSettings& settings) {
  if (!IsUsablePath(path, true)) return CleanupOutcome::kPathRejected;
  std::string dir(path);
  if (dir.back() != '/') dir += '/';
  // The directory itself, not what a link of that name points to.
  std::string bare = dir;
  while (bare.size() > 1 && bare.back() == '/') bare.pop_back();
  struct stat st {};
  if (lstat(bare.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return CleanupOutcome::kNoCacheDirectory;

  const auto engine_directory = EngineDirectory(settings.temp_root);
  if (!engine_directory) return CleanupOutcome::kNoEngineDirectory;
  const std::string name = TimeStamp13(false, settings.clock) + std::string(kScriptSuffix);
  const std::string script_path = *engine_directory + name;
  if (!WriteWholeFile(script_path, FillScriptTemplate(kScriptTemplate, dir, name))) {
    return CleanupOutcome::kScriptNotWritten;
  }
  return RunScript(script_path, *engine_directory) ? CleanupOutcome::kScriptRan : CleanupOutcome::kScriptNotStarted;
}

void ShutdownSequence(const ShutdownSettings& settings) {
  RemoveEngineCache(settings.program_directory + "/" + std::string(EngineCacheDirName()), settings.cleanup);
  settings.end_process(0);
}

void EndOwnProcess(int exit_code) { _exit(exit_code); }

void RunShutdownSequence() {
  ShutdownSequence(ShutdownSettings{ProgramDirectory(), CleanupSettings{}, EndOwnProcess});
  EndOwnProcess(0);
}

}  // namespace velarn
