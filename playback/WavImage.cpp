#include "playback/WavImage.h"

#include <algorithm>

namespace velarn {
namespace {

std::uint32_t Le(std::string_view bytes, std::size_t offset, std::size_t width) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < width && offset + i < bytes.size(); ++i) {
    value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[offset + i])) << (8 * i);
  }
  return value;
}

}  // namespace

std::optional<WavImage> ParseWavImage(std::string_view image) {
  if (image.size() < 36 || image.substr(0, 4) != "RIFF" || image.substr(8, 4) != "WAVE") {
    return std::nullopt;
  }
  // The walk ends at the RIFF size or at the image's end, whichever comes first.
  const std::uint64_t riff_end = 8 + static_cast<std::uint64_t>(Le(image, 4, 4));
  const std::uint64_t end = std::min<std::uint64_t>(riff_end, image.size());

  std::optional<WavImage> format;
  std::optional<std::string_view> data;
  std::uint64_t offset = 12;
  while (offset + 8 <= end && !(format && data)) {
    const std::string_view id = image.substr(offset, 4);
    const std::uint64_t size = Le(image, offset + 4, 4);
    const std::uint64_t body = offset + 8;
    const std::uint64_t available = std::min<std::uint64_t>(size, image.size() - body);
    if (id == "fmt " && !format) {
      if (size < 16 || available < 16) return std::nullopt;
      WavImage f;
      f.format_tag = static_cast<std::uint16_t>(Le(image, body, 2));
      f.channels = static_cast<std::uint16_t>(Le(image, body + 2, 2));
      f.sample_rate = Le(image, body + 4, 4);
      f.byte_rate = Le(image, body + 8, 4);
      f.block_align = static_cast<std::uint16_t>(Le(image, body + 12, 2));
      f.bits_per_sample = static_cast<std::uint16_t>(Le(image, body + 14, 2));
      format = f;
    } else if (id == "data" && !data) {
      data = image.substr(body, available);
    }
    offset = body + size + (size & 1);
  }
  if (!format || !data || data->empty()) return std::nullopt;
  format->samples = *data;
  return format;
}

std::int64_t ClipPlayMilliseconds(std::string_view clip) {
  const std::uint64_t data_size = Le(clip, 40, 4);
  const std::uint64_t byte_rate = Le(clip, 28, 4);
  if (byte_rate == 0) return 0;
  return static_cast<std::int64_t>((data_size * 1000 + byte_rate - 1) / byte_rate);
}

}  // namespace velarn
