#include "text/Text.h"

#include <iconv.h>

#include <cerrno>
#include <limits>
#include <stdexcept>

namespace velarn {
namespace {

// One iconv conversion descriptor, closed on scope exit.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  ~Iconv() { iconv_close(cd_); }

  // Converts `in`; at each byte sequence the target cannot take, appends `replacement`, skips
  // `skip(rest)` input bytes and goes on.
  template <typename Skip>
  std::string Convert(std::string_view in, std::string_view replacement, Skip skip) {
    std::string out;
    out.reserve(in.size() * 3 / 2 + 16);
    char* src = const_cast<char*>(in.data());
    std::size_t src_left = in.size();
    char buffer[4096];
    while (src_left > 0) {
      char* dst = buffer;
      std::size_t dst_left = sizeof buffer;
      const std::size_t rc = iconv(cd_, &src, &src_left, &dst, &dst_left);
      out.append(buffer, static_cast<std::size_t>(dst - buffer));
      if (rc != static_cast<std::size_t>(-1)) continue;
      if (errno == E2BIG) continue;
      // EILSEQ: an unconvertible or malformed sequence; EINVAL: cut off by the end.
      out.append(replacement);
      const std::size_t n = errno == EINVAL ? src_left : skip(std::string_view(src, src_left));
      src += n;
      src_left -= n;
      iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    }
    return out;
  }

 private:
  iconv_t cd_;
};

// Length of the UTF-8 sequence that starts `rest`, as far as its bytes are well formed
// (at least 1), so that one malformed or unmappable character is skipped as a whole.
std::size_t Utf8SequenceLength(std::string_view rest) {
  const auto lead = static_cast<unsigned char>(rest[0]);
  std::size_t want = 1;
  if (lead >= 0xC2 && lead <= 0xDF) want = 2;
  else if (lead >= 0xE0 && lead <= 0xEF) want = 3;
  else if (lead >= 0xF0 && lead <= 0xF4) want = 4;
  std::size_t n = 1;
  while (n < want && n < rest.size() && (static_cast<unsigned char>(rest[n]) & 0xC0) == 0x80) ++n;
  return n;
}

}  // namespace

std::size_t FindText(std::string_view haystack, std::string_view needle) {
  if (haystack.empty() || needle.size() > haystack.size()) return 0;
  for (std::size_t i = 0; i + needle.size() <= haystack.size();) {
    if (haystack.compare(i, needle.size(), needle) == 0) return i + 1;
    i += IsLeadByte(static_cast<unsigned char>(haystack[i])) ? 2 : 1;
  }
  return 0;
}

Text ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return Text(text);
  Text out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, from.size(), from) == 0) {
      out.append(to);
      i += from.size();
      continue;
    }
    const std::size_t step =
        IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size() ? 2 : 1;
    out.append(text.substr(i, step));
    i += step;
  }
  return out;
}

Text Utf8ToGbk(std::string_view utf8) {
  return Iconv("GBK", "UTF-8").Convert(utf8, "?", Utf8SequenceLength);
}

std::string GbkToUtf8(std::string_view gbk) {
  return Iconv("UTF-8", "GBK").Convert(gbk, "\xEF\xBF\xBD", [](std::string_view) {
    return std::size_t{1};
  });
}

Text BytesToText(std::string_view bytes) { return Text(bytes.substr(0, bytes.find('\0'))); }

Text FoldFullWidth(std::string_view text) {
  Text out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (IsLeadByte(lead) && i + 1 < text.size()) {
      const auto trail = static_cast<unsigned char>(text[i + 1]);
      if (lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
        out.push_back(static_cast<char>(trail & 0x7F));
      } else if (lead == 0xA1 && trail == 0xA1) {
        out.push_back(' ');
      } else if (lead == 0xA1 && trail == 0xAB) {
        out.push_back('~');
      } else if (lead == 0xA1 && (trail == 0xEE || trail == 0xEF)) {
        out.push_back('*');
      } else {
        out.append(text.substr(i, 2));
      }
      i += 2;
    } else {
      out.push_back(text[i]);
      ++i;
    }
  }
  return out;
}

std::int64_t ReadInteger(std::string_view text) {
  const Text folded = FoldFullWidth(text);
  std::size_t i = 0;
  auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (i < folded.size() && is_space(folded[i])) ++i;
  bool negative = false;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) negative = folded[i++] == '-';
  constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  std::int64_t value = 0;
  for (; i < folded.size() && folded[i] >= '0' && folded[i] <= '9'; ++i) {
    const int digit = folded[i] - '0';
    value = value > (kMax - digit) / 10 ? kMax : value * 10 + digit;
  }
  return negative ? -value : value;
}

}  // namespace velarn
