// A sound output that plays nothing and records what it was asked to play: the scenarios'
// ears. Thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <vector>

#include "playback/SoundOutput.h"
#include "text/Text.h"

namespace velarn {

struct PlayedClip {
  ByteString clip;
  std::chrono::steady_clock::time_point started;
  bool playable;  // the WAV walker found a format and samples
};

class RecordingSoundOutput final : public SoundOutput {
 public:
  void PlayClip(std::string_view clip) override;
  void StopSounds() override;

  std::vector<PlayedClip> Played() const;
  std::size_t PlayCount() const;
  std::uint64_t Stops() const;

 private:
  mutable std::mutex mutex_;
  std::vector<PlayedClip> played_;
  std::uint64_t stops_ = 0;
};

}  // namespace velarn
