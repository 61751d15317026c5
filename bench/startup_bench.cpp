// What start-up and exit cost: writing the carried engine files, one loopback probe, the
// whole PrepareEngine with the real engine, and the clean-up script removing a cache.
// Usage: startup_bench [cache files]
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/Shutdown.h"
#include "engine/LoadedEngine.h"
#include "engine/PrepareEngine.h"
#include "resources/CarriedEngine.h"
#include "ui/Dialogs.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(const std::function<void()>& work) {
  const auto start = Clock::now();
  work();
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

class QuietDialogs final : public velarn::Dialogs {
 public:
  velarn::MessageAnswer ShowMessage(const velarn::Text&, const velarn::Text&, velarn::MessageIcon,
                                    velarn::MessageButtons) override {
    ++shown;
    return velarn::MessageAnswer::kOk;
  }
  std::optional<std::string> ShowFileDialog(const velarn::FileDialogSettings&) override { return std::nullopt; }
  int shown = 0;
};

}  // namespace

int main(int argc, char** argv) {
  const int cache_files = argc > 1 ? std::atoi(argv[1]) : 2000;
  std::string scratch = "/tmp/velarn-bench-XXXXXX";
  if (mkdtemp(scratch.data()) == nullptr) return 1;
  const std::string temp_root = scratch + "/tmp";
  const std::string program = scratch + "/program";
  std::filesystem::create_directories(temp_root);
  std::filesystem::create_directories(program);
  std::filesystem::current_path(program);

  const auto carried = velarn::CarriedFiles{velarn::CarriedMscDll(), velarn::CarriedSpeexDll()};
  std::printf("carried files: msc.dll %zu bytes, speex.dll %zu bytes\n", carried.msc.size(), carried.speex.size());

  const auto dir = velarn::EngineDirectory(scratch + "/deploy");
  std::printf("DeployEngineFiles, both missing:  %8.3f ms\n",
              Milliseconds([&] { velarn::DeployEngineFiles(*dir, carried); }));
  std::printf("DeployEngineFiles, both present:  %8.3f ms\n",
              Milliseconds([&] { velarn::DeployEngineFiles(*dir, carried); }));

  std::vector<double> probes;
  for (int i = 0; i < 20; ++i) probes.push_back(Milliseconds([] { velarn::PingHost("127.0.0.1", 3000); }));
  std::sort(probes.begin(), probes.end());
  std::printf("PingHost 127.0.0.1, median of 20: %8.3f ms (answer: %d ms)\n", probes[10],
              velarn::PingHost("127.0.0.1", 3000));

  QuietDialogs dialogs;
  velarn::LoadedEngine engine(velarn::ReportAndExit(dialogs));
  velarn::EngineStartup startup{dialogs, engine, carried, program, temp_root, velarn::PingHost};
  bool ok = false;
  const double prepare = Milliseconds([&] { ok = velarn::PrepareEngine(startup); });
  std::printf("PrepareEngine, cold:              %8.3f ms (%s, %s)\n", prepare, ok ? "ready" : "failed",
              startup.server_url.c_str());

  const std::string cache = program + "/" + std::string(velarn::EngineCacheDirName());
  std::filesystem::create_directories(cache);
  for (int i = 0; i < cache_files; ++i) std::ofstream(cache + "/entry" + std::to_string(i)) << std::string(4096, 'x');
  velarn::CleanupOutcome outcome{};
  const double removal = Milliseconds([&] {
    outcome = velarn::RemoveEngineCache(cache, velarn::CleanupSettings{temp_root, velarn::ReadLocalClock});
  });
  std::printf("RemoveEngineCache, %d files:    %8.3f ms (%s)\n", cache_files, removal,
              outcome == velarn::CleanupOutcome::kScriptRan && !std::filesystem::exists(cache) ? "removed" : "NOT removed");

  std::filesystem::current_path("/");
  std::filesystem::remove_all(scratch);
  return ok ? 0 : 1;
}
