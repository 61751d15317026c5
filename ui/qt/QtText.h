// GBK text of the model <-> QString of the widgets, and GBK byte offsets <-> QString positions.
// The conversions give the same result as going through UTF-8 with the text helpers (GbkToUtf8,
// Utf8ToGbk), but walk tables built once from iconv: a 10 MB text converts in a few tens of
// milliseconds instead of a third of a second, on the window thread.
#pragma once

#include <QString>
#include <cstdint>

#include "text/Text.h"

namespace velarn {

// Each byte that does not start a valid GBK character becomes U+FFFD.
QString ToQString(std::string_view gbk);
// Each character GBK cannot hold (and each lone surrogate) becomes "?".
Text FromQString(const QString& text);

// The positions GBK `text` takes in the text box: the length ToQString(text) would have,
// except that the editor keeps a CR LF pair as one line break. `after_cr` tells that the byte
// before `text` was a CR, so that a LF it starts with completes that pair. Counted without
// building the QString.
qsizetype TextBoxLength(std::string_view gbk, bool after_cr = false);

// The text-box position of byte `offset` of GBK `text` (clamped to its length).
inline qsizetype TextBoxPosition(std::string_view text, std::int64_t offset) {
  if (offset <= 0) return 0;
  const auto bytes = std::min<std::size_t>(static_cast<std::size_t>(offset), text.size());
  return TextBoxLength(text.substr(0, bytes));
}

}  // namespace velarn
