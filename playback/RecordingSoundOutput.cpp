#include "playback/RecordingSoundOutput.h"

#include "playback/WavImage.h"

namespace velarn {

void RecordingSoundOutput::PlayClip(std::string_view clip) {
  const bool playable = ParseWavImage(clip).has_value();
  std::lock_guard lock(mutex_);
  played_.push_back({ByteString(clip), std::chrono::steady_clock::now(), playable});
}

void RecordingSoundOutput::StopSounds() {
  std::lock_guard lock(mutex_);
  ++stops_;
}

std::vector<PlayedClip> RecordingSoundOutput::Played() const {
  std::lock_guard lock(mutex_);
  return played_;
}

std::size_t RecordingSoundOutput::PlayCount() const {
  std::lock_guard lock(mutex_);
  return played_.size();
}

std::uint64_t RecordingSoundOutput::Stops() const {
  std::lock_guard lock(mutex_);
  return stops_;
}

}  // namespace velarn
