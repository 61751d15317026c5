// The session parameter string (QTTSSessionBegin) and the level reading of SpeedBox text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "speechengine/Parsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velarn::speechengine;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ParamsResult result = ParseSessionParams(text);
  if (result.params.has_value() == !result.error.empty()) std::abort();
  if (result.params) {
    for (const int level : {result.params->speed, result.params->pitch, result.params->volume}) {
      if (level < 0 || level > 100) std::abort();
    }
    if (result.params->sample_rate != 8000 && result.params->sample_rate != 16000) std::abort();
  }
  const int level = ReadLevel(text);
  if (level < 0 || level > 100) std::abort();
  return 0;
}
