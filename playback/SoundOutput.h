// Sound output: plays in-memory WAV images asynchronously on the default output device.
#pragma once

#include <string_view>

namespace velarn {

class SoundOutput {
 public:
  virtual ~SoundOutput() = default;
  // Starts playing a WAV image (copied at once) and returns at once. A malformed image plays
  // nothing; so does a missing device. Sounds may overlap.
  virtual void PlayClip(std::string_view clip) = 0;
  // Silences every sound started by PlayClip at once, from any thread, without blocking.
  virtual void StopSounds() = 0;
};

}  // namespace velarn
