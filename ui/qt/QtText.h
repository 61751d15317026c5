// GBK text of the model <-> QString of the widgets, and GBK byte offsets <-> QString positions.
#pragma once

#include <QString>
#include <cstdint>

#include "text/Text.h"

namespace velarn {

inline QString ToQString(std::string_view gbk) { return QString::fromUtf8(GbkToUtf8(gbk)); }
inline Text FromQString(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return Utf8ToGbk(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

// The QString position of byte `offset` of GBK `text` (clamped to its length).
inline qsizetype QStringPosition(std::string_view text, std::int64_t offset) {
  if (offset <= 0) return 0;
  const auto bytes = std::min<std::size_t>(static_cast<std::size_t>(offset), text.size());
  return ToQString(text.substr(0, bytes)).size();
}

}  // namespace velarn
