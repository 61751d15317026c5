#include "speechengine/Parsing.h"

#include <algorithm>
#include <charconv>
#include <utility>

#include "text/Text.h"

namespace velarn::speechengine {
namespace {

using Pair = std::pair<std::string_view, std::string_view>;

std::string_view TrimSpaces(std::string_view s) {
  auto space = [](char c) { return c == ' ' || c == '\t'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

// Comma-separated key=value pairs. `lenient`: a piece without "=" continues the value before
// it (a speed text may hold a comma); otherwise it makes the whole string malformed.
std::optional<std::vector<Pair>> SplitPairs(std::string_view text, bool lenient) {
  std::vector<Pair> pairs;
  const char* value_start = nullptr;
  std::size_t pos = 0;
  while (pos <= text.size()) {
    const std::size_t comma = std::min(text.find(',', pos), text.size());
    const std::string_view piece = text.substr(pos, comma - pos);
    const std::size_t eq = piece.find('=');
    if (eq != std::string_view::npos && !TrimSpaces(piece.substr(0, eq)).empty()) {
      value_start = piece.data() + eq + 1;
      pairs.emplace_back(TrimSpaces(piece.substr(0, eq)),
                         std::string_view(value_start, piece.size() - eq - 1));
    } else if (lenient && !pairs.empty()) {
      pairs.back().second = std::string_view(
          value_start, static_cast<std::size_t>(piece.data() + piece.size() - value_start));
    } else {
      return std::nullopt;
    }
    pos = comma + 1;
  }
  return pairs;
}

bool IsDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal integer in [low, high], digits only.
std::optional<std::int64_t> ReadBounded(std::string_view s, std::int64_t low, std::int64_t high) {
  if (!IsDigits(s) || s.size() > 12) return std::nullopt;
  std::int64_t value = 0;
  std::from_chars(s.data(), s.data() + s.size(), value);
  if (value < low || value > high) return std::nullopt;
  return value;
}

bool IsPlainFileName(std::string_view name) {
  return !name.empty() && name != "." && name != ".." &&
         name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [&](char x, char y) { return lower(x) == lower(y); });
}

void AppendReplacement(std::string& out) { out += "\xEF\xBF\xBD"; }

// Length of the valid UTF-8 sequence at the start of `s`, 0 when it is not one.
std::size_t ValidSequenceLength(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (s.size() < length) return 0;
  if (byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
  }
  return length;
}

// True when a cut right after this character reads naturally.
bool IsBreakCharacter(std::string_view ch) {
  static constexpr std::string_view kBreaks[] = {
      " ",
      "\t",
      "\n",
      "\r",
      ",",
      ".",
      "!",
      "?",
      ";",
      ":",
      "\xE3\x80\x81",  // 、
      "\xE3\x80\x82",  // 。
      "\xEF\xBC\x8C",  // ，
      "\xEF\xBC\x81",  // ！
      "\xEF\xBC\x9F",  // ？
      "\xEF\xBC\x9B",  // ；
      "\xEF\xBC\x9A",  // ：
      "\xE3\x80\x80",  // ideographic space
  };
  return std::find(std::begin(kBreaks), std::end(kBreaks), ch) != std::end(kBreaks);
}

std::size_t CharacterLength(std::string_view utf8, std::size_t pos) {
  std::size_t end = pos + 1;
  while (end < utf8.size() && (static_cast<unsigned char>(utf8[end]) & 0xC0) == 0x80) ++end;
  return end - pos;
}

}  // namespace

bool IsServerUrl(std::string_view url) {
  const std::size_t colon = url.find(':');
  if (colon == std::string_view::npos || colon == 0) return false;
  const std::string_view host = url.substr(0, colon);
  const bool host_ok = std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
           c == '-';
  });
  if (!host_ok || host.front() == '-' || host.front() == '.') return false;
  const std::size_t slash = url.find('/', colon);
  if (slash == std::string_view::npos) return false;
  if (!ReadBounded(url.substr(colon + 1, slash - colon - 1), 1, 65535)) return false;
  const std::string_view path = url.substr(slash);
  return std::all_of(path.begin(), path.end(),
                     [](char c) { return static_cast<unsigned char>(c) > 0x20 && c != 0x7F; });
}

ConfigResult ParseEngineConfig(std::string_view text) {
  const auto pairs = SplitPairs(text, false);
  if (!pairs) return {std::nullopt, "malformed key=value pair"};
  EngineConfig config;
  bool have_appid = false;
  bool have_codec = false;
  for (const auto& [key, value] : *pairs) {
    if (key == "server_url") {
      if (!IsServerUrl(value)) return {std::nullopt, "server_url is not host:port/path"};
      config.server_url = value;
    } else if (key == "appid") {
      if (value.empty()) return {std::nullopt, "appid is empty"};
      config.appid = value;
      have_appid = true;
    } else if (key == "timeout") {
      const auto ms = ReadBounded(value, 1, 3'600'000);
      if (!ms) return {std::nullopt, "timeout is not a number of milliseconds"};
      config.timeout_ms = static_cast<std::int32_t>(*ms);
    } else if (key == "coding_libs") {
      if (!IsPlainFileName(value)) return {std::nullopt, "coding_libs is not a file name"};
      config.coding_libs = value;
      have_codec = true;
    } else if (key == "max_text_size") {
      const auto size = ReadBounded(value, 1, 1 << 24);
      if (!size) return {std::nullopt, "max_text_size is not a positive size"};
      config.max_text_size = static_cast<std::size_t>(*size);
    }
  }
  if (!have_appid) return {std::nullopt, "appid is missing"};
  if (!have_codec) return {std::nullopt, "coding_libs is missing"};
  return {std::move(config), {}};
}

int ReadLevel(std::string_view text) {
  const Text folded = FoldFullWidth(text);
  std::size_t i = 0;
  while (i < folded.size() && (folded[i] == ' ' || (folded[i] >= '\t' && folded[i] <= '\r'))) ++i;
  if (i < folded.size() && (folded[i] == '+' || folded[i] == '-')) ++i;
  if (i >= folded.size() || folded[i] < '0' || folded[i] > '9') return 50;
  return static_cast<int>(std::clamp<std::int64_t>(ReadInteger(text), 0, 100));
}

ParamsResult ParseSessionParams(std::string_view text) {
  const auto pairs = SplitPairs(text, true);
  if (!pairs) return {std::nullopt, "malformed key=value pair"};
  SessionParams params;
  bool have_voice = false;
  for (const auto& [key, value] : *pairs) {
    if (key == "vcn") {
      static constexpr std::pair<std::string_view, Voice> kVoices[] = {
          {"x_yiping", Voice::kYiping},
          {"x_xiaoyuan", Voice::kXiaoyuan},
          {"x_binge", Voice::kBinge},
          {"x_nannan", Voice::kNannan},
      };
      const std::string_view name = value;
      const auto* found = std::find_if(std::begin(kVoices), std::end(kVoices),
                                       [&](const auto& entry) { return entry.first == name; });
      have_voice = found != std::end(kVoices);
      if (have_voice) params.voice = found->second;
    } else if (key == "speed") {
      params.speed = ReadLevel(value);
    } else if (key == "pitch") {
      params.pitch = ReadLevel(value);
    } else if (key == "volume") {
      params.volume = ReadLevel(value);
    } else if (key == "aue") {
      if (!EqualsNoCase(value, "raw")) return {std::nullopt, "aue must be raw"};
    } else if (key == "auf") {
      if (EqualsNoCase(value, "audio/L16;rate=16000")) {
        params.sample_rate = 16000;
      } else if (EqualsNoCase(value, "audio/L16;rate=8000")) {
        params.sample_rate = 8000;
      } else {
        return {std::nullopt, "auf must be audio/L16;rate=16000 or audio/L16;rate=8000"};
      }
    } else if (key == "tte") {
      if (EqualsNoCase(value, "GB2312") || EqualsNoCase(value, "GBK")) {
        params.encoding = TextEncoding::kGbk;
      } else if (EqualsNoCase(value, "UTF8") || EqualsNoCase(value, "UTF-8")) {
        params.encoding = TextEncoding::kUtf8;
      } else {
        return {std::nullopt, "tte must be GB2312, GBK or UTF8"};
      }
    }
  }
  if (!have_voice) return {std::nullopt, "vcn must be x_yiping, x_xiaoyuan, x_binge or x_nannan"};
  return {params, {}};
}

std::string SanitizeUtf8(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    const std::size_t length = ValidSequenceLength(bytes.substr(i));
    if (length == 0) {
      AppendReplacement(out);
      ++i;
    } else {
      out.append(bytes.substr(i, length));
      i += length;
    }
  }
  return out;
}

std::string DecodeText(std::string_view bytes, TextEncoding encoding) {
  std::string utf8 = encoding == TextEncoding::kUtf8 ? SanitizeUtf8(bytes) : GbkToUtf8(bytes);
  std::replace(utf8.begin(), utf8.end(), '\0', ' ');
  return utf8;
}

std::vector<std::string> SplitPieces(std::string_view utf8, std::size_t max_bytes) {
  max_bytes = std::max<std::size_t>(max_bytes, 4);
  std::vector<std::string> pieces;
  std::size_t start = 0;
  while (start < utf8.size()) {
    if (utf8.size() - start <= max_bytes) {
      pieces.emplace_back(utf8.substr(start));
      break;
    }
    std::size_t end = start;    // the last character boundary that fits
    std::size_t preferred = 0;  // the last boundary after a break character, in the second half
    for (std::size_t pos = start; pos < utf8.size();) {
      const std::size_t length = CharacterLength(utf8, pos);
      if (pos + length - start > max_bytes) break;
      pos += length;
      end = pos;
      if (pos - start >= max_bytes / 2 && IsBreakCharacter(utf8.substr(pos - length, length))) {
        preferred = pos;
      }
    }
    if (preferred != 0) end = preferred;
    // Only for bytes that are not UTF-8: a "character" longer than the limit still moves on.
    if (end == start) end = start + CharacterLength(utf8, start);
    pieces.emplace_back(utf8.substr(start, end - start));
    start = end;
  }
  return pieces;
}

}  // namespace velarn::speechengine
