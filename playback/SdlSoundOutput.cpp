#include "playback/SdlSoundOutput.h"

#include <SDL2/SDL.h>

#include <algorithm>

namespace velarn {
namespace {

// About 32 ms of sound per device buffer: short enough that a stop is heard at once.
Uint16 BufferFrames(std::uint32_t rate) {
  Uint16 frames = 64;
  while (frames < 4096 && frames < rate / 32) frames = static_cast<Uint16>(frames * 2);
  return frames;
}

// A finished stream is closed once its queue has run dry and this much longer has passed,
// so the device's own buffer is heard to the end.
constexpr std::chrono::milliseconds kDrainMargin{250};

}  // namespace

std::optional<SDL_AudioSpec> SdlSpecFor(const WavImage& image) {
  SDL_AudioSpec spec{};
  if (image.format_tag == 1 && image.bits_per_sample == 8) {
    spec.format = AUDIO_U8;
  } else if (image.format_tag == 1 && image.bits_per_sample == 16) {
    spec.format = AUDIO_S16LSB;
  } else if (image.format_tag == 1 && image.bits_per_sample == 32) {
    spec.format = AUDIO_S32LSB;
  } else if (image.format_tag == 3 && image.bits_per_sample == 32) {
    spec.format = AUDIO_F32LSB;
  } else {
    return std::nullopt;
  }
  if (image.channels < 1 || image.channels > 8) return std::nullopt;
  if (image.sample_rate < 1000 || image.sample_rate > 384000) return std::nullopt;
  spec.freq = static_cast<int>(image.sample_rate);
  spec.channels = static_cast<Uint8>(image.channels);
  spec.samples = BufferFrames(image.sample_rate);
  spec.callback = nullptr;  // queued audio
  return spec;
}

SdlSoundOutput::SdlSoundOutput() {
  audio_ready_ = SDL_Init(SDL_INIT_AUDIO) == 0;
  closer_ = std::jthread([this](std::stop_token stop) { CloserLoop(std::move(stop)); });
}

SdlSoundOutput::~SdlSoundOutput() {
  closer_.request_stop();
  closer_.join();
  for (const Stream& stream : playing_) SDL_CloseAudioDevice(stream.device);
  for (SDL_AudioDeviceID device : closing_) SDL_CloseAudioDevice(device);
  if (audio_ready_) SDL_Quit();
}

std::size_t SdlSoundOutput::OpenStreams() const {
  std::lock_guard lock(mutex_);
  return playing_.size() + closing_.size();
}

void SdlSoundOutput::PlayClip(std::string_view clip) {
  if (!audio_ready_) return;
  const std::optional<WavImage> image = ParseWavImage(clip);
  if (!image) return;
  const std::optional<SDL_AudioSpec> spec = SdlSpecFor(*image);
  if (!spec) return;
  const std::size_t frame = std::size_t{image->channels} * (image->bits_per_sample / 8);
  const std::size_t length = image->samples.size() / frame * frame;
  if (length == 0 || length > 0xFFFFFFFFu) return;

  std::uint64_t stops_before;
  {
    std::lock_guard lock(mutex_);
    stops_before = stops_;
  }
  SDL_AudioDeviceID device;
  {
    std::lock_guard lock(device_mutex_);
    device = SDL_OpenAudioDevice(nullptr, 0, &*spec, nullptr, 0);
  }
  if (device == 0) return;  // no output device: nothing is heard
  // SDL copies the samples: the caller may release the clip at once.
  SDL_QueueAudio(device, image->samples.data(), static_cast<Uint32>(length));
  SDL_PauseAudioDevice(device, 0);

  const auto duration = std::chrono::milliseconds(
      length * 1000 / (std::size_t{image->sample_rate} * frame) + 1);
  {
    std::lock_guard lock(mutex_);
    if (stops_ != stops_before) {
      Silence(device);  // a stop came while this clip was being started
    } else {
      playing_.push_back({device, Clock::now() + duration + kDrainMargin});
      ++started_;
    }
  }
  wake_.notify_all();
}

void SdlSoundOutput::Silence(SDL_AudioDeviceID device) {
  SDL_PauseAudioDevice(device, 1);
  SDL_ClearQueuedAudio(device);
  closing_.push_back(device);
}

void SdlSoundOutput::StopSounds() {
  {
    std::lock_guard lock(mutex_);
    ++stops_;
    for (const Stream& stream : playing_) Silence(stream.device);
    playing_.clear();
  }
  wake_.notify_all();
}

void SdlSoundOutput::CloserLoop(std::stop_token stop) {
  std::unique_lock lock(mutex_);
  while (!stop.stop_requested()) {
    auto next = Clock::time_point::max();
    for (const Stream& stream : playing_) next = std::min(next, stream.ends);
    const std::uint64_t started = started_;
    // A new stream may end before `next`: then look again.
    wake_.wait_until(lock, stop, next, [&] { return !closing_.empty() || started_ != started; });
    if (stop.stop_requested()) break;

    const auto now = Clock::now();
    for (auto it = playing_.begin(); it != playing_.end();) {
      if (it->ends <= now) {
        const bool queued = SDL_GetQueuedAudioSize(it->device) != 0;
        if (!queued && !it->late) {
          closing_.push_back(it->device);
          it = playing_.erase(it);
          continue;
        }
        // Still sounding, or just run dry after a late start while the device buffer may
        // still play: look again later.
        it->late = queued;
        it->ends = now + kDrainMargin;
      }
      ++it;
    }
    std::vector<SDL_AudioDeviceID> to_close;
    to_close.swap(closing_);
    if (to_close.empty()) continue;
    lock.unlock();
    {
      std::lock_guard devices(device_mutex_);
      for (SDL_AudioDeviceID device : to_close) SDL_CloseAudioDevice(device);
    }
    lock.lock();
  }
}

}  // namespace velarn
