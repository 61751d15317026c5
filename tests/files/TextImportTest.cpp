#include "files/TextImport.h"

#include <gtest/gtest.h>

#include "tests/TestData.h"

namespace velarn {
namespace {

struct DetectCase {
  const char* file;
  FileEncoding encoding;
};

void PrintTo(const DetectCase& c, std::ostream* os) { *os << c.file; }

class DetectFileEncodingTest : public testing::TestWithParam<DetectCase> {};

TEST_P(DetectFileEncodingTest, TellsTheEncodingFromTheBytes) {
  EXPECT_EQ(DetectFileEncoding(TestDataPath("import/") + GetParam().file), GetParam().encoding);
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, DetectFileEncodingTest,
    testing::Values(DetectCase{"utf8_bom.txt", EncodingUtf8},
                    DetectCase{"utf8_plain.txt", EncodingUtf8},
                    DetectCase{"utf8_emoji.txt", EncodingUtf8},
                    DetectCase{"utf8_u0800.txt", EncodingUtf8},
                    DetectCase{"gbk_prose.txt", EncodingAnsi},
                    // Pairs C2..DF + 80..BF are well-formed UTF-8 too: taken as UTF-8.
                    DetectCase{"gbk_like_utf8.txt", EncodingUtf8},
                    // C1 never starts a UTF-8 character: GBK.
                    DetectCase{"gbk_c1_pair.txt", EncodingAnsi},
                    DetectCase{"ef_bb.txt", EncodingAnsi},
                    DetectCase{"utf16le_bom.txt", EncodingUtf16Le},
                    DetectCase{"utf16be_bom.txt", EncodingUtf16Be},
                    DetectCase{"utf16le_ascii.txt", EncodingUtf16Le},
                    DetectCase{"utf16be_ascii.txt", EncodingUtf16Be},
                    DetectCase{"utf16le_cjk.txt", EncodingUtf16Le},
                    DetectCase{"utf16be_cjk.txt", EncodingUtf16Be},
                    DetectCase{"bush.txt", EncodingUtf8},
                    DetectCase{"empty.txt", EncodingAnsi},
                    DetectCase{"zero_byte.txt", EncodingUtf8},
                    DetectCase{"lf_only.txt", EncodingUtf8},
                    DetectCase{"no_such_file.txt", EncodingAnsi}));

struct Utf8Case {
  const char* bytes;
  bool well_formed;
};

class LooksLikeUtf8Test : public testing::TestWithParam<Utf8Case> {};

TEST_P(LooksLikeUtf8Test, FollowsTheUnicodeTable) {
  EXPECT_EQ(LooksLikeUtf8(GetParam().bytes), GetParam().well_formed) << GetParam().bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LooksLikeUtf8Test,
    testing::Values(Utf8Case{"", false}, Utf8Case{"plain ascii", true},
                    Utf8Case{"\xE4\xB8\xAD", true},          // 中
                    Utf8Case{"\xE0\xA4\x80", true},          // U+0900: E0 lead accepted
                    Utf8Case{"\xF0\x9F\x98\x80", true},      // emoji: F0 lead accepted
                    Utf8Case{"\xF4\x8F\xBF\xBF", true},      // U+10FFFF
                    Utf8Case{"a\x81" "b", false},            // stray continuation byte
                    Utf8Case{"\xC0\xAF", false},             // overlong "/"
                    Utf8Case{"\xE0\x80\xAF", false},         // overlong
                    Utf8Case{"\xED\xA0\x80", false},         // surrogate D800
                    Utf8Case{"\xF4\x90\x80\x80", false},     // above U+10FFFF
                    Utf8Case{"\xF5\x80\x80\x80", false},
                    Utf8Case{"\xE4\xB8", false},             // cut off at the end
                    Utf8Case{"\xD6\xD0\xCE\xC4", false}));   // GBK 中文

TEST(LoadTextFileTest, LoadsWhatEachEncodingGives) {
  const std::string dir = TestDataPath("import/");
  EXPECT_EQ(LoadTextFile(dir + "utf8_plain.txt"), LoadTextFile(dir + "gbk_prose.txt"));
  // The mark is converted with the rest: GBK has no U+FEFF, so it becomes "?".
  EXPECT_EQ(LoadTextFile(dir + "utf8_bom.txt"), "?" + *LoadTextFile(dir + "gbk_prose.txt"));
  EXPECT_EQ(LoadTextFile(dir + "utf8_emoji.txt"), Text("\xD0\xA6\xD2\xBB\xD0\xA6 ? \xBA\xC3\n"));
  EXPECT_EQ(LoadTextFile(dir + "zero_byte.txt"), Text("ab\xD6\xD0"));
  EXPECT_EQ(LoadTextFile(dir + "lf_only.txt"), Text("line one\nline two\n"));
  EXPECT_EQ(LoadTextFile(dir + "ef_bb.txt"), Text("\xEF\xBB"));
  EXPECT_EQ(LoadTextFile(dir + "empty.txt"), Text());
  EXPECT_EQ(LoadTextFile(dir + "utf16le_bom.txt"), std::nullopt);
  EXPECT_EQ(LoadTextFile(dir + "utf16be_cjk.txt"), std::nullopt);
}

}  // namespace
}  // namespace velarn
