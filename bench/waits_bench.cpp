// CPU time of the waits: a 10-second PollingDelay and a worker idling 10 seconds in one-second
// steps. A spinning wait would use 100% of a core; ours block in the kernel.
// Usage: waits_bench [seconds]
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <thread>

#include "app/waits/Waits.h"
#include "playback/ReaderState.h"

namespace {

double ThreadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

void Measure(const char* name, const std::function<void()>& wait) {
  const auto wall_start = std::chrono::steady_clock::now();
  const double cpu_start = ThreadCpuSeconds();
  wait();
  const double cpu = ThreadCpuSeconds() - cpu_start;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall_start).count();
  std::printf("%-40s wall %6.2f s  cpu %8.4f s  = %6.3f%% of one core\n", name, wall, cpu,
              100.0 * cpu / wall);
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
  velarn::ReaderState state;
  velarn::Waits waits(state);
  std::thread worker([&] {
    Measure("PollingDelay on a worker", [&] { waits.PollingDelay(seconds * 1000); });
    Measure("one-second steps on a worker", [&] {
      for (int i = 0; i < seconds; ++i) waits.OneSecondStep();
    });
  });
  worker.join();
  return 0;
}
