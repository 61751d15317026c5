#include "synth/ClipFormat.h"

#include <cmath>
#include <limits>

namespace velarn {
namespace {

void PutLe(ByteString& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Reads up to four little-endian bytes at `offset`; bytes past the end count as zero.
std::uint32_t GetLe32(std::string_view data, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4 && offset + i < data.size(); ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(data[offset + i])) << (8 * i);
  }
  return value;
}

}  // namespace

ByteString ClipHeader(std::uint32_t audio_size) {
  ByteString header;
  header.reserve(kClipHeaderSize);
  header.append("RIFF");
  PutLe(header, audio_size + 36, 4);
  header.append("WAVEfmt ");
  PutLe(header, 16, 4);
  PutLe(header, 1, 2);  // PCM
  PutLe(header, 1, 2);  // mono
  PutLe(header, kClipSampleRate, 4);
  PutLe(header, kClipByteRate, 4);
  PutLe(header, 2, 2);   // block alignment
  PutLe(header, 16, 2);  // bits per sample
  header.append("data");
  PutLe(header, audio_size, 4);
  return header;
}

ByteString MakeClip(std::string_view audio) {
  ByteString clip = ClipHeader(static_cast<std::uint32_t>(audio.size()));
  clip.reserve(kClipHeaderSize + audio.size());
  clip.append(audio);
  return clip;
}

std::int32_t ClipSeconds(std::string_view clip) {
  const std::uint32_t data_size = GetLe32(clip, 40);
  const std::uint32_t byte_rate = GetLe32(clip, 28);
  if (byte_rate == 0) return 0;
  return WholeSeconds(static_cast<double>(data_size) / static_cast<double>(byte_rate));
}

std::int32_t WholeSeconds(double q) {
  if (std::isnan(q)) return 0;
  double whole = std::floor(q);
  if (q - whole > 0.999999999999) whole += 1;
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  if (whole >= kMax) return std::numeric_limits<std::int32_t>::max();
  if (whole <= kMin) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(whole);
}

}  // namespace velarn
