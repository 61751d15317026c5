// The synthesis worker: cuts the text of TextBox into chunks, fetches each chunk's audio from
// the engine and queues the clips for the player, or gathers all audio for a save.
#pragma once

#include <chrono>
#include <stop_token>
#include <thread>

namespace velarn {

struct ReaderContext;

// A chunk is sent when it has grown past this many bytes at a permitted character.
inline constexpr std::size_t kChunkThreshold = 90;
// With more clips than this queued, a reading run waits one step after each character.
inline constexpr std::size_t kQueueLimit = 10;
// FetchAudio gives up on a chunk when the engine delivered nothing for this long: the
// engine's own time-out (EngineTimeout, engine/ServerSelection.h).
inline constexpr std::chrono::milliseconds kFetchAudioTimeout{10'000};

struct SynthOptions {
  std::chrono::milliseconds engine_timeout = kFetchAudioTimeout;
};

// One pass over a snapshot of TextBox's text, in save mode when SaveButton.tag is " " at its
// start. Ends with FinishRun. `stop` ends it early (tests only).
void SynthesisRun(ReaderContext& context, const SynthOptions& options = {},
                  std::stop_token stop = {});

// The worker loop on its own thread: a run whenever TextBox.tag is "N" or a save is
// requested, one-second steps otherwise. The program never stops it; destruction stops it
// after its current step and joins it.
class SynthWorker {
 public:
  explicit SynthWorker(ReaderContext& context, SynthOptions options = {});
  ~SynthWorker();
  SynthWorker(const SynthWorker&) = delete;
  SynthWorker& operator=(const SynthWorker&) = delete;

 private:
  void Loop(std::stop_token stop);

  ReaderContext& context_;
  SynthOptions options_;
  std::jthread thread_;
};

}  // namespace velarn
