#include "engine/PrepareEngine.h"

#include <sys/stat.h>

#include "engine/LoadedEngine.h"
#include "ui/Dialogs.h"

namespace velarn {
namespace {

bool Fail(EngineStartup& startup) {
  startup.dialogs.ShowMessage(Text(kInitFailedMessage), Text(), MessageIcon::kError, MessageButtons::kOk);
  return false;
}

}  // namespace

bool PrepareEngine(EngineStartup& startup) {
  // 1. The engine directory must be ours alone: the library loaded from it runs in our process.
  const auto directory = EngineDirectory(startup.temp_root);
  if (!directory) return Fail(startup);
  startup.engine_directory = *directory;
  DeployEngineFiles(startup.engine_directory, startup.carried);

  // 2. Results not examined: an unbound entry point is reported at its first call.
  startup.engine.Bind(startup.engine_directory + std::string(kMscFileName));

  // 3.
  startup.server_url = SelectServer(startup.probe);

  // 4, 5. EngineConfig lives only for the call.
  startup.init_result = startup.engine.Init(EngineConfig(startup.server_url));

  // 6.
  if (startup.init_result != 0) return Fail(startup);

  // 7. Linux has no hidden attribute: the cache becomes private to the user, who keeps the
  // right to write it (the engine writes there). A link is left alone; failures are silent.
  const std::string cache = startup.program_directory + "/" + std::string(EngineCacheDirName());
  struct stat st {};
  if (lstat(cache.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) chmod(cache.c_str(), 0700);

  // 8.
  return true;
}

}  // namespace velarn
