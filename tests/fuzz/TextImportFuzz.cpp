// libFuzzer entry for opening text files: any bytes get an encoding, and the UTF-8 conversion
// never reads out of bounds and gives GBK without a zero byte.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "files/TextImport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const velarn::FileEncoding encoding = velarn::DetectEncoding(bytes);
  if (encoding < velarn::EncodingUtf8 || encoding > velarn::EncodingAnsi) std::abort();
  (void)velarn::LooksLikeUtf16(bytes);
  const velarn::Text text = velarn::Utf8ToGbkText(bytes);
  if (text.find('\0') != velarn::Text::npos) std::abort();
  return 0;
}
