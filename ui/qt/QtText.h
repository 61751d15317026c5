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

// The length ToQString(text) would have, counted without building it.
qsizetype QStringLength(std::string_view gbk);

// The QString position of byte `offset` of GBK `text` (clamped to its length).
inline qsizetype QStringPosition(std::string_view text, std::int64_t offset) {
  if (offset <= 0) return 0;
  const auto bytes = std::min<std::size_t>(static_cast<std::size_t>(offset), text.size());
  return QStringLength(text.substr(0, bytes));
}

}  // namespace velarn
