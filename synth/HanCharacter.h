// The Han test of segmentation: is a GBK piece made only of CJK unified ideographs
// U+4E00..U+9FA5?
#pragma once

#include <string_view>

namespace velarn {

// The Unicode code point of the double-byte GBK character lead+trail, or 0 when the pair is
// not a GBK character. A table built once; no allocation per call.
char32_t GbkCodePoint(unsigned char lead, unsigned char trail);

// False when the piece holds fewer than two bytes besides spaces; otherwise true exactly when
// every character of the piece, spaces included, is one of U+4E00..U+9FA5.
bool IsHanCharacter(std::string_view piece);

}  // namespace velarn
