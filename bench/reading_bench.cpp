// Reading-aloud figures: time from a request to the first clip, from a stop to the player's
// release, the workers' CPU while reading, and resident memory while reading a 1 MB text.
// A plain program: `reading_bench [seconds of reading for the CPU figure, default 60]`.
// The engine is the scripted one of the tests, so synthesis itself costs next to nothing; the
// first figure is also taken with the real engine component, deployed and started as the
// program does.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "playback/PlaybackWorker.h"
#include "playback/StopSounds.h"
#include "playback/WavImage.h"
#include "synth/SynthWorker.h"
#include "tests/support/ReaderRig.h"
#if VELARN_BENCH_REAL_ENGINE
#include "tests/support/RealEngineRig.h"
#endif

using namespace velarn;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const Text kHan = "\xC4\xE3";    // 你
const Text kComma = "\xA3\xAC";  // ，

// `chars` Han characters with a comma after every 20.
Text ChineseText(std::size_t chars) {
  Text text;
  for (std::size_t i = 1; i <= chars; ++i) text += i % 20 == 0 ? kComma : kHan;
  return text;
}

// About four characters a second of 16 kHz speech, as a real voice reads.
ByteString SpeechFor(const Text& text) { return ByteString(text.size() / 2 * 8000, '\1'); }

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long PeakRssKb() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return 0;
}

void Summary(const char* what, std::vector<double> ms, const char* goal) {
  std::sort(ms.begin(), ms.end());
  std::printf("%-44s median %8.2f ms  max %8.2f ms  (%zu runs; goal %s)\n", what,
              ms[ms.size() / 2], ms.back(), ms.size(), goal);
}

void RequestToFirstClip() {
  std::vector<double> ms;
  for (int run = 0; run < 20; ++run) {
    test::ReaderRig rig;
    rig.engine.script().audio_for = SpeechFor;
    rig.SetText(ChineseText(200));
    PlaybackWorker player(rig.context);
    SynthWorker synth(rig.context);
    std::this_thread::sleep_for(20ms);  // both idle in their one-second steps
    const auto requested = Clock::now();
    rig.StartReading();
    test::Eventually([&] { return rig.sound.recording.PlayCount() >= 1; });
    ms.push_back(Ms(rig.sound.recording.Played()[0].started - requested));
  }
  Summary("TextBox.tag \"N\" to the first PlayClip", ms, "< 100 ms");
}

#if VELARN_BENCH_REAL_ENGINE
// 200 characters of GB2312 Han, other ones in every run so that the engine's audio cache
// never answers, with a comma after every 20.
Text FreshChineseText(int run) {
  Text text;
  for (int i = 1; i <= 200; ++i) {
    if (i % 20 == 0) {
      text += kComma;
    } else {
      text += static_cast<char>(0xB0 + run % 39);
      text += static_cast<char>(0xA1 + (i * 7 + run) % 94);
    }
  }
  return text;
}

void RequestToFirstClipWithTheRealEngine() {
  if (!test::DeployedEngine::Shared().ready()) {
    std::printf("real engine: %s\n", test::DeployedEngine::Shared().failure().c_str());
    return;
  }
  std::vector<double> ms;
  double speech = 0;
  for (int run = 0; run < 20; ++run) {
    test::RealEngineRig rig;
    rig.state.SetTextBoxText(FreshChineseText(run));
    PlaybackWorker player(rig.context);
    SynthWorker synth(rig.context);
    std::this_thread::sleep_for(20ms);
    const auto requested = Clock::now();
    rig.state.Update([](SharedFields& f) {  // TogglePlay's start branch
      f.play_caption = "\xCD\xA3 \xD6\xB9";  // 停 止
      f.hold_playback = 0;
      f.text_box_tag = "N";
    });
    test::Eventually([&] { return rig.sound.recording.PlayCount() >= 1; });
    ms.push_back(Ms(rig.sound.recording.Played()[0].started - requested));
    speech += ClipPlayMilliseconds(rig.sound.recording.Played()[0].clip) / 1000.0;
  }
  Summary("... the same with the real engine", ms, "< 100 ms");
  std::printf("%-44s %8.2f s of speech on average\n", "    its first clip", speech / 20);
}
#endif

void StopToRelease() {
  std::vector<double> ms;
  for (int run = 0; run < 10; ++run) {
    test::ReaderRig rig;
    rig.engine.script().audio_for = [](const Text&) { return ByteString(320000, '\1'); };
    rig.SetText(ChineseText(40));
    PlaybackWorker player(rig.context);
    SynthWorker synth(rig.context);
    rig.StartReading();
    test::Eventually([&] { return rig.state.ClipPlaying() == 1; });
    std::this_thread::sleep_for(200ms);
    const auto stopped = Clock::now();
    rig.state.SetPlayButtonTag(" ");  // the stop branch
    StopSounds(rig.context);
    rig.state.SetHoldPlayback(1);
    test::Eventually([&] { return rig.state.ClipPlaying() == 0; }, 15s);
    ms.push_back(Ms(Clock::now() - stopped));
  }
  Summary("stop during a 10 s clip to ClipPlaying 0", ms, "< 50 ms");
}

void CpuWhileReading(int seconds) {
  test::ReaderRig rig;
  rig.engine.script().audio_for = SpeechFor;
  rig.SetText(ChineseText(100000));
  PlaybackWorker player(rig.context);
  SynthWorker synth(rig.context);
  rig.StartReading();
  std::this_thread::sleep_for(1s);  // past the first burst of synthesis
  const double cpu_before = CpuSeconds();
  const auto before = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  const double cpu = CpuSeconds() - cpu_before;
  const double wall = std::chrono::duration<double>(Clock::now() - before).count();
  std::printf("%-44s %8.3f %% of one core over %.0f s, %zu clips played (goal < 2 %%)\n",
              "CPU of both workers while reading", 100.0 * cpu / wall, wall,
              rig.sound.recording.PlayCount());
}

void MemoryWhileReadingOneMegabyte() {
  test::ReaderRig rig;
  rig.engine.script().audio_for = SpeechFor;
  rig.SetText(ChineseText(512 * 1024));  // 1 MiB of GBK
  PlaybackWorker player(rig.context);
  SynthWorker synth(rig.context);
  rig.StartReading();
  std::this_thread::sleep_for(8s);
  std::printf("%-44s %8.1f MB peak resident, %zu clips queued (goal < 100 MB)\n",
              "memory while reading a 1 MB text", PeakRssKb() / 1024.0, rig.state.ClipCount());
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
  RequestToFirstClip();
#if VELARN_BENCH_REAL_ENGINE
  RequestToFirstClipWithTheRealEngine();
#endif
  StopToRelease();
  CpuWhileReading(seconds);
  MemoryWhileReadingOneMegabyte();
  return 0;
}
