#include "app/ReadingWorkers.h"

#include <optional>

#include "playback/PlaybackWorker.h"
#include "synth/SynthWorker.h"

namespace velarn {

struct ReadingWorkers::Threads {
  // The synthesis worker is stopped first, then the player (reverse order of declaration).
  std::optional<PlaybackWorker> player;
  std::optional<SynthWorker> synth;
};

ReadingWorkers::ReadingWorkers() : threads_(std::make_unique<Threads>()) {}
ReadingWorkers::~ReadingWorkers() = default;

void ReadingWorkers::StartPlayer(ReaderContext& context) {
  if (!threads_->player) threads_->player.emplace(context);
}

void ReadingWorkers::StartSynth(ReaderContext& context) {
  if (!threads_->synth) threads_->synth.emplace(context);
}

}  // namespace velarn
