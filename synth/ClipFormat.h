// The clip: a 44-byte RIFF/WAVE header (PCM, 16 kHz, 16-bit, mono) followed by raw audio.
#pragma once

#include <cstdint>
#include <string_view>

#include "text/Text.h"

namespace velarn {

constexpr std::size_t kClipHeaderSize = 44;
constexpr std::uint32_t kClipSampleRate = 16000;
constexpr std::uint32_t kClipByteRate = 32000;

// The header for audio.size() bytes followed by a copy of the audio. The audio is not
// inspected: an odd length is written unchanged.
ByteString MakeClip(std::string_view audio);

// Just the 44-byte header for `audio_size` bytes of audio; audio_size must fit 32 bits.
ByteString ClipHeader(std::uint32_t audio_size);

// The playing time in whole seconds, from the header's data size (offset 40) and byte rate
// (offset 28) only; missing bytes of a short string count as zero, a zero rate gives 0, and a
// quotient within 1e-12 below an integer counts as that integer.
std::int32_t ClipSeconds(std::string_view clip);

// The greatest integer not above q, after moving q to the next integer when its fraction is
// greater than 0.999999999999 (2.9999999999995 gives 3). Saturates at the 32-bit range.
std::int32_t WholeSeconds(double q);

}  // namespace velarn
