#include "files/TextImport.h"

#include <fstream>
#include <iterator>

namespace velarn {
namespace {

bool StartsWith(std::string_view data, unsigned char a, unsigned char b) {
  return data.size() >= 2 && static_cast<unsigned char>(data[0]) == a &&
         static_cast<unsigned char>(data[1]) == b;
}

// A UTF-16 code unit that ordinary text is made of: printable ASCII and its white space,
// Latin-1 letters, general and CJK punctuation, kana, CJK ideographs, full-width forms.
bool IsTextUnit(std::uint16_t u) {
  if (u == 0x09 || u == 0x0A || u == 0x0D) return true;
  if (u >= 0x20 && u <= 0x7E) return true;
  if (u >= 0xA0 && u <= 0xFF) return true;
  if (u >= 0x2000 && u <= 0x206F) return true;  // general punctuation
  if (u >= 0x3000 && u <= 0x30FF) return true;  // CJK punctuation, kana
  if (u >= 0x3400 && u <= 0x4DBF) return true;  // CJK extension A
  if (u >= 0x4E00 && u <= 0x9FFF) return true;  // CJK ideographs
  if (u >= 0xFF00 && u <= 0xFFEF) return true;  // full-width forms
  return false;
}

// The share of text units when `data` is read as UTF-16 in one byte order; 0 when it holds a
// unit that no text holds (an unpaired surrogate, a control character, a noncharacter).
double TextShare(std::string_view data, bool big_endian) {
  const std::size_t units = data.size() / 2;
  std::size_t text = 0;
  for (std::size_t i = 0; i < units; ++i) {
    const auto lo = static_cast<unsigned char>(data[2 * i + (big_endian ? 1 : 0)]);
    const auto hi = static_cast<unsigned char>(data[2 * i + (big_endian ? 0 : 1)]);
    const auto u = static_cast<std::uint16_t>(hi << 8 | lo);
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < units) {  // a surrogate pair: one character
      const auto lo2 = static_cast<unsigned char>(data[2 * (i + 1) + (big_endian ? 1 : 0)]);
      const auto hi2 = static_cast<unsigned char>(data[2 * (i + 1) + (big_endian ? 0 : 1)]);
      const auto u2 = static_cast<std::uint16_t>(hi2 << 8 | lo2);
      if (u2 < 0xDC00 || u2 > 0xDFFF) return 0;
      text += 2;
      ++i;
      continue;
    }
    const bool lone_surrogate = u >= 0xD800 && u <= 0xDFFF;
    const bool control = u < 0x20 && !IsTextUnit(u);
    const bool noncharacter = u == 0xFFFE || u == 0xFFFF;
    if (lone_surrogate || control || noncharacter) return 0;
    if (IsTextUnit(u)) ++text;
  }
  return static_cast<double>(text) / static_cast<double>(units);
}

}  // namespace

ByteString ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  ByteString data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return {};
  return data;
}

bool LooksLikeUtf8(std::string_view data) {
  if (data.empty()) return false;
  const auto* p = reinterpret_cast<const unsigned char*>(data.data());
  const std::size_t n = data.size();
  auto cont = [&](std::size_t i, unsigned char lo = 0x80, unsigned char hi = 0xBF) {
    return i < n && p[i] >= lo && p[i] <= hi;
  };
  for (std::size_t i = 0; i < n;) {
    const unsigned char x = p[i];
    if (x < 0x80) {
      ++i;
    } else if (x >= 0xC2 && x <= 0xDF) {
      if (!cont(i + 1)) return false;
      i += 2;
    } else if (x >= 0xE0 && x <= 0xEF) {
      // E0 needs A0..BF (no overlongs), ED needs 80..9F (no surrogates).
      const unsigned char lo = x == 0xE0 ? 0xA0 : 0x80;
      const unsigned char hi = x == 0xED ? 0x9F : 0xBF;
      if (!cont(i + 1, lo, hi) || !cont(i + 2)) return false;
      i += 3;
    } else if (x >= 0xF0 && x <= 0xF4) {
      // F0 needs 90..BF (no overlongs), F4 needs 80..8F (nothing above U+10FFFF).
      const unsigned char lo = x == 0xF0 ? 0x90 : 0x80;
      const unsigned char hi = x == 0xF4 ? 0x8F : 0xBF;
      if (!cont(i + 1, lo, hi) || !cont(i + 2) || !cont(i + 3)) return false;
      i += 4;
    } else {
      return false;  // 80..C1 and F5..FF never start a character
    }
  }
  return true;
}

std::optional<FileEncoding> LooksLikeUtf16(std::string_view data) {
  if (data.size() < 2 || data.size() % 2 != 0) return std::nullopt;
  bool seven_bit = true;
  std::size_t zero_even = 0;
  std::size_t zero_odd = 0;
  for (std::size_t i = 0; i < data.size(); ++i) {
    const auto b = static_cast<unsigned char>(data[i]);
    if (b >= 0x80) seven_bit = false;
    if (b == 0) ++(i % 2 == 0 ? zero_even : zero_odd);
  }
  const std::size_t units = data.size() / 2;
  // 7-bit data is ASCII text unless every other byte is zero: ASCII-range UTF-16. Reading
  // pairs of ASCII letters as ideographs is the classic misdetection this refuses.
  if (seven_bit && zero_even != units && zero_odd != units) return std::nullopt;
  constexpr double kClearly = 0.95;
  const double le = TextShare(data, false);
  const double be = TextShare(data, true);
  if (le >= kClearly && le >= be) return EncodingUtf16Le;
  if (be >= kClearly) return EncodingUtf16Be;
  return std::nullopt;
}

FileEncoding DetectEncoding(std::string_view data) {
  if (StartsWith(data, 0xEF, 0xBB)) {
    if (data.size() > 2 && static_cast<unsigned char>(data[2]) == 0xBF) return EncodingUtf8;
  } else if (StartsWith(data, 0xFF, 0xFE)) {
    return EncodingUtf16Le;
  } else if (StartsWith(data, 0xFE, 0xFF)) {
    return EncodingUtf16Be;
  }
  if (const auto utf16 = LooksLikeUtf16(data)) return *utf16;
  if (LooksLikeUtf8(data)) return EncodingUtf8;
  return EncodingAnsi;
}

FileEncoding DetectFileEncoding(const std::string& path) {
  return DetectEncoding(ReadWholeFile(path));
}

Text Utf8ToGbkText(std::string_view data) { return BytesToText(Utf8ToGbk(data)); }

std::optional<Text> LoadTextFile(const std::string& path) {
  const ByteString data = ReadWholeFile(path);
  switch (DetectEncoding(data)) {
    case EncodingUtf8: return Utf8ToGbkText(data);
    case EncodingAnsi: return BytesToText(data);
    default: return std::nullopt;
  }
}

}  // namespace velarn
