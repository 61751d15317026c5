// The engine's parsers of outside bytes: the configuration string, the session parameter
// string and the texts put. Pure functions, kept apart so that tests and fuzzers link them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velarn::speechengine {

struct EngineConfig {
  std::string server_url;  // host:port/path, empty when not given
  std::string appid;
  std::int32_t timeout_ms = 10000;
  std::string coding_libs;  // a plain file name
  std::size_t max_text_size = 2048;
};

// The configuration string of QTTSInit, or the reason it is refused.
struct ConfigResult {
  std::optional<EngineConfig> config;
  std::string error;
};
ConfigResult ParseEngineConfig(std::string_view text);

// True for host:port/path with a non-empty host name or IPv4 address, port 1..65535.
bool IsServerUrl(std::string_view url);

enum class Voice { kYiping, kXiaoyuan, kBinge, kNannan };
enum class TextEncoding { kGbk, kUtf8 };

struct SessionParams {
  Voice voice = Voice::kYiping;
  int speed = 50;   // 0..100
  int pitch = 50;   // 0..100
  int volume = 50;  // 0..100
  int sample_rate = 16000;
  TextEncoding encoding = TextEncoding::kGbk;
};

struct ParamsResult {
  std::optional<SessionParams> params;
  std::string error;
};
// The parameter string of QTTSSessionBegin (GBK bytes, as the program builds it).
ParamsResult ParseSessionParams(std::string_view text);

// A 0..100 level as the program's integer reading gives it, clamped; 50 when the text holds
// no number.
int ReadLevel(std::string_view text);

// The text put, as valid UTF-8: invalid bytes become U+FFFD and zero bytes spaces (the
// synthesiser reads zero-terminated text).
std::string DecodeText(std::string_view bytes, TextEncoding encoding);

// Valid UTF-8 cut into pieces of at most `max_bytes` bytes (at least 4) at character
// boundaries, preferring a cut after punctuation or a space in the second half of a piece.
std::vector<std::string> SplitPieces(std::string_view utf8, std::size_t max_bytes);

// Any bytes made valid UTF-8: each invalid sequence becomes U+FFFD.
std::string SanitizeUtf8(std::string_view bytes);

}  // namespace velarn::speechengine
