// libFuzzer entry for the WAV walker of PlayClip: any bytes, never a read out of bounds, and
// the samples found always lie inside the image.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "playback/WavImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view image(reinterpret_cast<const char*>(data), size);
  if (const auto wav = velarn::ParseWavImage(image)) {
    if (wav->samples.empty() || wav->samples.data() < image.data() ||
        wav->samples.data() + wav->samples.size() > image.data() + image.size()) {
      std::abort();
    }
  }
  velarn::ClipPlayMilliseconds(image);
  return 0;
}
