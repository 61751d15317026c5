// Saving the speech of a 100,000-character Chinese text with the real engine: the save run's
// wall time against the engine's own synthesis of the same text, and peak resident memory.
// Usage: save_bench [characters]
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

#include "engine/LoadedEngine.h"
#include "engine/PrepareEngine.h"
#include "engine/Session.h"
#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "playback/RecordingSoundOutput.h"
#include "resources/CarriedEngine.h"
#include "synth/SynthWorker.h"
#include "ui/Dialogs.h"

namespace {

using Clock = std::chrono::steady_clock;

class SaveDialogs final : public velarn::Dialogs {
 public:
  explicit SaveDialogs(std::string path) : path_(std::move(path)) {}
  velarn::MessageAnswer ShowMessage(const velarn::Text&, const velarn::Text&, velarn::MessageIcon,
                                    velarn::MessageButtons) override {
    ++messages;
    return velarn::MessageAnswer::kOk;
  }
  std::optional<std::string> ShowFileDialog(const velarn::FileDialogSettings&) override { return path_; }
  int messages = 0;

 private:
  std::string path_;
};

long PeakResidentKb() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
  using namespace velarn;
  const std::size_t characters = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100'000;
  std::string scratch = "/tmp/velarn-save-bench-XXXXXX";
  if (mkdtemp(scratch.data()) == nullptr) return 1;
  std::filesystem::create_directories(scratch + "/program");
  std::filesystem::create_directories(scratch + "/tmp");
  std::filesystem::current_path(scratch + "/program");

  SaveDialogs dialogs(scratch + "/speech.mp3");
  LoadedEngine engine(ReportAndExit(dialogs));
  EngineStartup startup{dialogs, engine, {CarriedMscDll(), CarriedSpeexDll()}, scratch + "/program",
                        scratch + "/tmp"};
  if (!PrepareEngine(startup)) {
    std::fprintf(stderr, "the engine did not start\n");
    return 1;
  }

  // Varied text, so that no chunk repeats (a repeated chunk would come from the engine's
  // cache): GB2312 level-1 characters (B0A1..D7F9) in a fixed pseudo-random order, a comma
  // or a full stop after every 8 to 23 of them.
  Text text;
  std::uint32_t seed = 12345;
  auto next = [&] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
  while (text.size() / 2 < characters) {
    const std::uint32_t run = 8 + next() % 16;
    for (std::uint32_t k = 0; k < run; ++k) {
      text += static_cast<char>(0xB0 + next() % 40);
      text += static_cast<char>(0xA1 + next() % 89);
    }
    text += next() % 3 == 0 ? "\xA1\xA3" : "\xA3\xAC";  // 。 or ，
  }
  std::printf("text: %zu characters (%zu GBK bytes)\n", text.size() / 2, text.size());

  // The engine's own synthesis of the same text, in one put.
  std::int32_t error = 0;
  const Text params =
      "aue=raw,auf=audio/L16;rate=16000,bgs=0,ent=intp65,pitch=70,speed=99,tte=GB2312,vcn=x_yiping,volume=50";
  const Text session = engine.SessionBegin(params, error);
  auto start = Clock::now();
  engine.TextPut(session, text, Text());
  std::uint64_t engine_bytes = 0;
  for (EngineAudio audio; audio.status != 2 && audio.error == 0;) {
    audio = engine.AudioGet(session);
    engine_bytes += audio.data.size();
  }
  const double engine_seconds = SecondsSince(start);
  engine.SessionEnd(session, Text());
  std::printf("engine alone:  %7.2f s for %.0f s of audio, peak resident memory so far %.1f MB\n",
              engine_seconds, engine_bytes / 32000.0, PeakResidentKb() / 1024.0);

  // The save run, as the SaveButton starts it.
  ReaderState state;
  Waits waits(state);
  RecordingSoundOutput sound;
  EngineSession engine_session;
  ReaderContext context{state, waits, sound, engine, dialogs, engine_session};
  state.Update([&](SharedFields& f) {
    f.text_box_text = text;
    f.play_enabled = false;
    f.save_button_tag = " ";
    f.text_box_tag = "N";
  });
  start = Clock::now();
  SynthesisRun(context);
  const double save_seconds = SecondsSince(start);
  const auto file_size = std::filesystem::file_size(scratch + "/speech.mp3");
  std::printf("save run:      %7.2f s, file %.1f MB (%.0f s of audio), messages %d\n", save_seconds,
              file_size / 1e6, (file_size - 44) / 32000.0, dialogs.messages);
  std::printf("ratio save / engine: %.2f (goal at most 1.1)\n", save_seconds / engine_seconds);
  std::printf("peak resident memory: %.1f MB (goal under 150 MB)\n", PeakResidentKb() / 1024.0);
  std::filesystem::current_path("/");
  std::filesystem::remove_all(scratch);
  return 0;
}
