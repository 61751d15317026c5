// GBK text helpers. All text inside the program is GBK bytes in a std::string;
// conversion to and from UTF-8 happens only at the edges (view, clipboard, files, engine).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace velarn {

// A GBK (code page 936) byte string. Lengths and positions count bytes.
using Text = std::string;
// A counted sequence of bytes; may hold zero bytes.
using ByteString = std::string;

// True for the first byte of a double-byte GBK character (0x81..0xFE).
constexpr bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

// 1-based byte position of the first occurrence of `needle` in `haystack` that starts at a
// character boundary, or 0 when there is none. An empty needle is found at 1 in a non-empty
// haystack.
std::size_t FindText(std::string_view haystack, std::string_view needle);

// Replaces every occurrence of `from` (matched only at character boundaries, left to right,
// never overlapping) with `to`.
Text ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// UTF-8 to GBK; each character GBK cannot hold, and each malformed UTF-8 sequence, becomes "?".
Text Utf8ToGbk(std::string_view utf8);

// GBK to UTF-8; each byte that does not start a valid GBK character becomes U+FFFD.
std::string GbkToUtf8(std::string_view gbk);

// The bytes up to, not including, the first zero byte; no code-page conversion.
Text BytesToText(std::string_view bytes);

// Full-width forms of ASCII (A3 A1..A3 FE, the ideographic space A1 A1, A1 AB, A1 EE, A1 EF)
// replaced by their ASCII counterparts; everything else unchanged.
Text FoldFullWidth(std::string_view text);

// The integer reading of a text: full-width forms folded, leading white space skipped, one
// optional sign, then decimal digits up to the first other character. No number reads as 0;
// values beyond the 64-bit range saturate.
std::int64_t ReadInteger(std::string_view text);

}  // namespace velarn
