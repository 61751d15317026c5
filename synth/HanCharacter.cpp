#include "synth/HanCharacter.h"

#include <iconv.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>

#include "text/Text.h"

namespace velarn {
namespace {

constexpr unsigned kLeadFirst = 0x81;
constexpr unsigned kLeadCount = 0xFE - kLeadFirst + 1;
constexpr unsigned kTrailFirst = 0x40;
constexpr unsigned kTrailCount = 0xFE - kTrailFirst + 1;

using CodePointTable = std::array<char16_t, kLeadCount * kTrailCount>;

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

// Every double-byte GBK character, converted once by the C library. GBK lies wholly in the
// basic multilingual plane, so 16 bits hold every code point.
CodePointTable BuildTable() {
  CodePointTable table{};
  const iconv_t raw = iconv_open("UTF-16LE", "GBK");
  if (raw == reinterpret_cast<iconv_t>(-1)) return table;  // no converter: nothing is Han
  const std::unique_ptr<void, IconvCloser> cd(raw);
  for (unsigned lead = 0; lead < kLeadCount; ++lead) {
    for (unsigned trail = 0; trail < kTrailCount; ++trail) {
      char in[2] = {static_cast<char>(kLeadFirst + lead), static_cast<char>(kTrailFirst + trail)};
      unsigned char out[4] = {};
      char* in_ptr = in;
      char* out_ptr = reinterpret_cast<char*>(out);
      std::size_t in_left = sizeof in;
      std::size_t out_left = sizeof out;
      iconv(raw, nullptr, nullptr, nullptr, nullptr);  // fresh state for every pair
      if (iconv(raw, &in_ptr, &in_left, &out_ptr, &out_left) == static_cast<std::size_t>(-1) ||
          in_left != 0 || out_left != 2) {
        continue;
      }
      table[lead * kTrailCount + trail] = static_cast<char16_t>(out[0] | (out[1] << 8));
    }
  }
  return table;
}

constexpr bool InHanRange(char32_t code_point) {
  return code_point >= 0x4E00 && code_point <= 0x9FA5;
}

}  // namespace

char32_t GbkCodePoint(unsigned char lead, unsigned char trail) {
  static const CodePointTable table = BuildTable();
  if (!IsLeadByte(lead) || trail < kTrailFirst || trail > 0xFE) return 0;
  return table[(lead - kLeadFirst) * kTrailCount + (trail - kTrailFirst)];
}

bool IsHanCharacter(std::string_view piece) {
  const auto spaces = std::count(piece.begin(), piece.end(), ' ');
  if (piece.size() - static_cast<std::size_t>(spaces) < 2) return false;
  for (std::size_t i = 0; i < piece.size(); i += 2) {
    const auto lead = static_cast<unsigned char>(piece[i]);
    if (!IsLeadByte(lead) || i + 1 >= piece.size()) return false;
    if (!InHanRange(GbkCodePoint(lead, static_cast<unsigned char>(piece[i + 1])))) return false;
  }
  return true;
}

}  // namespace velarn
