// The RIFF walker of PlayClip: finds the format and the samples of an in-memory WAV image.
// A pure function over outside bytes, so a fuzzer can call it.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace velarn {

struct WavImage {
  std::uint16_t format_tag = 0;  // 1: integer PCM, 3: IEEE float
  std::uint16_t channels = 0;
  std::uint32_t sample_rate = 0;
  std::uint32_t byte_rate = 0;
  std::uint16_t block_align = 0;
  std::uint16_t bits_per_sample = 0;
  std::string_view samples;  // inside the image; never empty
};

// The image must be at least 36 bytes with "RIFF" at 0 and "WAVE" at 8; from offset 12 the
// chunks (4-byte id, 32-bit little-endian size, data, padded to even length) are walked until
// both "fmt " and "data" are found or the walk passes the RIFF size or the image's end. No
// chunk, an empty data chunk or a format chunk shorter than 16 bytes: nothing. A data chunk
// that claims more bytes than the image holds is cut at the image's end.
std::optional<WavImage> ParseWavImage(std::string_view image);

// The exact playing time of a clip in milliseconds, rounded up, from its header's data size
// (offset 40) and byte rate (offset 28) as ClipSeconds reads them; 0 when the rate is 0.
std::int64_t ClipPlayMilliseconds(std::string_view clip);

}  // namespace velarn
