// PrepareEngine: before the window is first shown, the engine files are written out, the
// engine library is bound, a server is picked and the engine is initialised.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/EngineFiles.h"
#include "engine/ServerSelection.h"
#include "text/Text.h"

namespace velarn {

class Dialogs;
class LoadedEngine;

// 初始化失败，请重新启动再试
inline constexpr std::string_view kInitFailedMessage =
    "\xB3\xF5\xCA\xBC\xBB\xAF\xCA\xA7\xB0\xDC\xA3\xAC\xC7\xEB\xD6\xD8\xD0\xC2\xC6\xF4\xB6\xAF\xD4\xD9\xCA\xD4";

struct EngineStartup {
  Dialogs& dialogs;
  LoadedEngine& engine;
  CarriedFiles carried;           // the two library files the program carries
  std::string program_directory;  // where the engine keeps EngineCacheDir
  std::string temp_root = TempRoot();
  HostProber probe = PingHost;

  // Set by PrepareEngine and kept for the life of the process.
  std::string engine_directory{};  // with a trailing "/"
  Text server_url{};
  std::int32_t init_result = -1;
};

// Runs the start-up steps in order: deploy the files, bind the six entry points, select the
// server, build EngineConfig and QTTSInit, make EngineCacheDir private. On failure (the engine
// directory is unsafe, or QTTSInit returned non-zero) the error message has been shown and
// dismissed when it returns false; the caller then ends the process with a non-zero code.
bool PrepareEngine(EngineStartup& startup);

}  // namespace velarn
