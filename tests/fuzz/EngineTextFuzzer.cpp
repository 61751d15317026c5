// The text given to QTTSTextPut: decoded from either encoding to valid UTF-8 without zero
// bytes, then cut into pieces that cover it exactly, each within the limit.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "speechengine/Parsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velarn::speechengine;
  if (size == 0) return 0;
  // The first byte picks the encoding and the piece limit.
  const TextEncoding encoding = (data[0] & 1) != 0 ? TextEncoding::kUtf8 : TextEncoding::kGbk;
  const std::size_t limit = 1 + (data[0] >> 1);
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string utf8 = DecodeText(bytes, encoding);
  if (SanitizeUtf8(utf8) != utf8) std::abort();
  if (utf8.find('\0') != std::string::npos) std::abort();
  std::string joined;
  for (const std::string& piece : SplitPieces(utf8, limit)) {
    if (piece.empty() || piece.size() > std::max<std::size_t>(limit, 4)) std::abort();
    if (SanitizeUtf8(piece) != piece) std::abort();
    joined += piece;
  }
  if (joined != utf8) std::abort();
  return 0;
}
