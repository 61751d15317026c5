// Sound output over SDL2: one device stream per clip, the whole PCM queued at once, so clips
// start at once and may overlap. StopSounds silences every stream at once; closing a device
// blocks for tens of milliseconds, so a closer thread owned by the output does it, for
// stopped and for finished streams alike. Without an output device nothing is heard.
#pragma once

#include <SDL2/SDL_audio.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <vector>

#include "playback/SoundOutput.h"
#include "playback/WavImage.h"

namespace velarn {

// The SDL format of a walked image, or nothing when SDL cannot play it (only integer PCM of
// 8, 16 or 32 bits and 32-bit float, 1 to 8 channels).
std::optional<SDL_AudioSpec> SdlSpecFor(const WavImage& image);

class SdlSoundOutput final : public SoundOutput {
 public:
  // Initialises SDL's audio; when that fails (no sound system), every clip plays silently.
  SdlSoundOutput();
  ~SdlSoundOutput() override;
  SdlSoundOutput(const SdlSoundOutput&) = delete;
  SdlSoundOutput& operator=(const SdlSoundOutput&) = delete;

  void PlayClip(std::string_view clip) override;
  void StopSounds() override;

  bool AudioReady() const { return audio_ready_; }
  // Streams opened and not yet closed.
  std::size_t OpenStreams() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Stream {
    SDL_AudioDeviceID device;
    Clock::time_point ends;  // when its sound should be over
    // A look found its queue not yet empty: the sound started late, and the moment its queue
    // ran dry is unknown, so the device buffer gets a margin of its own after that.
    bool late = false;
  };

  // Silences a stream at once; the closer closes it later. Called with mutex_ held.
  void Silence(SDL_AudioDeviceID device);
  void CloserLoop(std::stop_token stop);

  bool audio_ready_ = false;
  mutable std::mutex mutex_;  // playing_, closing_, stops_, started_
  std::condition_variable_any wake_;
  std::vector<Stream> playing_;
  std::vector<SDL_AudioDeviceID> closing_;
  std::uint64_t stops_ = 0;
  std::uint64_t started_ = 0;  // grows with every stream added to playing_
  std::mutex device_mutex_;  // opening and closing devices: never taken by StopSounds
  std::jthread closer_;
};

}  // namespace velarn
