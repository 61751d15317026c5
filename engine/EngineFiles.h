// The engine directory and the carried engine files written into it.
//
// The engine directory stands in for the user's temporary directory: $TMPDIR (else /tmp) +
// "/velarn-<uid>/". The engine library is loaded from there, so on a shared /tmp nobody else
// may be able to put a file under its name: the directory must be ours alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace velarn {

inline constexpr std::string_view kMscFileName = "msc.dll";
inline constexpr std::string_view kSpeexFileName = "speex.dll";

// EngineCacheDir: the directory the engine keeps in the program's directory (its current
// directory), made private at start and removed at exit.
std::string_view EngineCacheDirName();

// $TMPDIR when it is an absolute path, else "/tmp".
std::string TempRoot();

// The engine directory under `temp_root` (with a trailing "/"), created mode 0700 when missing.
// Nothing when it cannot be created or is unsafe: a link, not a directory, not owned by the
// effective user, or writable by group or others.
std::optional<std::string> EngineDirectory(const std::string& temp_root = TempRoot());

// What DeployEngineFiles did with one file.
enum class DeployOutcome { kWritten, kPresent, kFailed };

struct CarriedFiles {
  std::string_view msc;
  std::string_view speex;
};

struct DeployReport {
  DeployOutcome msc = DeployOutcome::kFailed;
  DeployOutcome speex = DeployOutcome::kFailed;
};

// Writes `bytes` to directory + `name` when no file or directory of that name exists; what
// exists is used unchanged. The file appears complete or not at all (written under a
// temporary name, then linked into place), so an interrupted write never leaves a truncated
// library that later starts would load.
DeployOutcome DeployEngineFile(const std::string& directory, std::string_view name, std::string_view bytes);

// msc.dll first, then speex.dll.
DeployReport DeployEngineFiles(const std::string& directory, const CarriedFiles& files);

}  // namespace velarn
