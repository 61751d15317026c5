// The window's text conversions against the UTF-8 path of the text helpers, which they replace
// for speed: every GBK byte pair, every UTF-16 unit, and the malformed cases.
#include "ui/qt/QtText.h"

#include <gtest/gtest.h>

#include <QTextDocument>

namespace velarn {
namespace {

QString ThroughUtf8(std::string_view gbk) { return QString::fromUtf8(GbkToUtf8(gbk)); }
// The positions the text takes in the editor, which keeps a CR LF pair as one line break.
qsizetype EditorLength(std::string_view gbk) {
  QTextDocument document;
  document.setPlainText(ThroughUtf8(gbk));
  return document.characterCount() - 1;  // without the closing paragraph separator
}
Text ThroughUtf8(const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  return Utf8ToGbk(std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

TEST(QtText, DecodesEveryBytePairAsTheUtf8PathDoes) {
  // Each pair after a new line, so that a pair GBK rejects leaves its second byte to start
  // the next character, as it would in a real text.
  Text all;
  for (int lead = 0; lead < 256; ++lead) {
    for (int trail = 0; trail < 256; ++trail) {
      all += static_cast<char>(lead);
      all += static_cast<char>(trail);
      all += '\n';
    }
  }
  const QString expected = ThroughUtf8(all);
  EXPECT_EQ(ToQString(all), expected);
  EXPECT_EQ(TextBoxLength(all), EditorLength(all));

  for (std::string_view gbk : {std::string_view(""), std::string_view("\xC4\xE3\xBA\xC3"),
                               std::string_view("ab\xC4"), std::string_view("\xC4"),
                               std::string_view("\x80\xFF\xC4\x7F"),
                               std::string_view("\xC4\xE3\0\xBA\xC3", 5)}) {
    SCOPED_TRACE(testing::PrintToString(gbk));
    EXPECT_EQ(ToQString(gbk), ThroughUtf8(gbk));
    EXPECT_EQ(TextBoxLength(gbk), EditorLength(gbk));
  }
}

TEST(QtText, PositionsMatchTheEditorsForTheConvertedPrefix) {
  for (const std::string_view gbk :
       {std::string_view("\xC4\xE3\xBA\xC3, world\x80\xC4\xE3\xFF\xCA\xC0\xBD\xE7"),
        std::string_view("a\r\n\r\nb\rc\n\rd\r\n\xC4\xE3\r")}) {
    for (std::int64_t offset = -1; offset <= std::ssize(gbk) + 2; ++offset) {
      const std::size_t bytes = std::clamp<std::int64_t>(offset, 0, std::ssize(gbk));
      EXPECT_EQ(TextBoxPosition(gbk, offset), EditorLength(gbk.substr(0, bytes))) << offset;
    }
  }
  // Counted in two pieces split between CR and LF, as the chunks may be.
  EXPECT_EQ(TextBoxLength("ab\r") + TextBoxLength("\ncd", true), EditorLength("ab\r\ncd"));
}

TEST(QtText, EncodesEveryUnitAsTheUtf8PathDoes) {
  QString all;
  for (int unit = 0; unit < 0x10000; ++unit) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    all += QChar(static_cast<char16_t>(unit));
  }
  EXPECT_EQ(FromQString(all), ThroughUtf8(all));

  // Surrogates: a pair (beyond what GBK holds), lone ones, a reversed pair, one at the end.
  for (const QString& text :
       {QString::fromUtf16(u"a\U0001F600b"), QString::fromUtf16(u"\xD83D" u"x"),
        QString::fromUtf16(u"\xDE00\xD83D"), QString::fromUtf16(u"\x4F60\xD83D")}) {
    SCOPED_TRACE(text.toStdString());
    EXPECT_EQ(FromQString(text), ThroughUtf8(text));
  }
}

}  // namespace
}  // namespace velarn
