// The engine's configuration string (QTTSInit): any bytes give a config or a reason.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "speechengine/Parsing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace velarn::speechengine;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const ConfigResult result = ParseEngineConfig(text);
  if (result.config.has_value() == !result.error.empty()) std::abort();
  if (result.config) {
    if (result.config->appid.empty() || result.config->coding_libs.empty()) std::abort();
    if (result.config->coding_libs.find('/') != std::string_view::npos) std::abort();
    if (result.config->max_text_size == 0) std::abort();
    if (!result.config->server_url.empty() && !IsServerUrl(result.config->server_url)) std::abort();
  }
  return 0;
}
