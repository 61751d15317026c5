#include "text/Text.h"

#include <gtest/gtest.h>

namespace velarn {
namespace {

// 中 D6 D0, 文 CE C4, 「啊」B0 A1; "\xB0\x41" is a character whose trail byte is 'A'.
struct FindCase {
  const char* haystack;
  const char* needle;
  std::size_t position;
};

class FindTextTest : public testing::TestWithParam<FindCase> {};

TEST_P(FindTextTest, FindsOnlyAtCharacterBoundaries) {
  EXPECT_EQ(FindText(GetParam().haystack, GetParam().needle), GetParam().position);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTextTest,
    testing::Values(FindCase{"abc", "b", 2}, FindCase{"abc", "", 1}, FindCase{"", "", 0},
                    FindCase{"", "a", 0}, FindCase{"ab", "abc", 0},
                    // The trail byte 0x41 of B0 41 must not match "A".
                    FindCase{"\xB0\x41", "A", 0}, FindCase{"\xB0\x41" "A", "A", 3},
                    // D6 D0 CE C4: the pair D0 CE straddles two characters.
                    FindCase{"\xD6\xD0\xCE\xC4", "\xD0\xCE", 0},
                    FindCase{"\xD6\xD0\xCE\xC4", "\xCE\xC4", 3},
                    // An odd final lead byte is a character of its own.
                    FindCase{"a\xD6", "\xD6", 2}, FindCase{"ABC", "b", 0}));

TEST(ReplaceAllTest, StepsOverDoubleByteCharacters) {
  // B0 41 holds "A" as its trail byte: only the stand-alone A is replaced.
  EXPECT_EQ(ReplaceAll("\xB0\x41" "A\xB0\x41" "A", "A", "xy"), "\xB0\x41xy\xB0\x41xy");
  EXPECT_EQ(ReplaceAll("aaaa", "aa", "b"), "bb");
  EXPECT_EQ(ReplaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(ReplaceAll("abc\xD6", "c", "C"), "abC\xD6");  // odd final lead byte kept
  EXPECT_EQ(ReplaceAll("\xB8\xF9\xC4\xBF\xC2\xBC", "\xB8\xF9\xC4\xBF\xC2\xBC", "/tmp/x/"),
            "/tmp/x/");
}

TEST(ConversionTest, Utf8ToGbkSubstitutesWhatGbkCannotHold) {
  EXPECT_EQ(Utf8ToGbk("\xE4\xB8\xAD\xE6\x96\x87"), "\xD6\xD0\xCE\xC4");  // 中文
  EXPECT_EQ(Utf8ToGbk("a\xF0\x9F\x98\x80" "b"), "a?b");                 // emoji
  EXPECT_EQ(Utf8ToGbk("a\xFF" "b"), "a?b");                             // invalid byte
  EXPECT_EQ(Utf8ToGbk("a\xE4\xB8"), "a?");                              // cut-off sequence
  EXPECT_EQ(Utf8ToGbk("\xEF\xBC\x8C"), "\xA3\xAC");                     // ，
  EXPECT_EQ(Utf8ToGbk(std::string("a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Utf8ToGbk(""), "");
}

TEST(ConversionTest, GbkToUtf8RoundTripsAndMarksBadBytes) {
  EXPECT_EQ(GbkToUtf8("\xD6\xD0\xCE\xC4 ok"), "\xE4\xB8\xAD\xE6\x96\x87 ok");
  EXPECT_EQ(GbkToUtf8("a\xD6"), "a\xEF\xBF\xBD");  // odd final lead byte
  EXPECT_EQ(Utf8ToGbk(GbkToUtf8("\xA3\xB9\xA3\xB5")), "\xA3\xB9\xA3\xB5");
}

TEST(ConversionTest, BytesToTextStopsAtFirstZero) {
  EXPECT_EQ(BytesToText(std::string("ab\0cd", 5)), "ab");
  EXPECT_EQ(BytesToText("abc"), "abc");
  EXPECT_EQ(BytesToText(std::string("\0", 1)), "");
}

struct IntegerCase {
  const char* text;
  std::int64_t value;
};

class ReadIntegerTest : public testing::TestWithParam<IntegerCase> {};

TEST_P(ReadIntegerTest, ReadsLeadingNumber) {
  EXPECT_EQ(ReadInteger(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReadIntegerTest,
    testing::Values(IntegerCase{"99", 99}, IntegerCase{"", 0}, IntegerCase{"abc", 0},
                    IntegerCase{"50x", 50}, IntegerCase{"  -1", -1}, IntegerCase{"+7", 7},
                    IntegerCase{"101", 101}, IntegerCase{"\xA3\xB9\xA3\xB5", 95},  // ９５
                    IntegerCase{"\xA1\xA1\xA3\xAD\xA3\xB3", -3},                   // 　－３
                    IntegerCase{"- 5", 0}, IntegerCase{"99999999999999999999999", INT64_MAX},
                    IntegerCase{"-99999999999999999999999", -INT64_MAX}));

TEST(FoldFullWidthTest, FoldsOnlyTheListedForms) {
  EXPECT_EQ(FoldFullWidth("\xA3\xC1\xA1\xAB\xA1\xEE\xA1\xEF\xA1\xA1\xD6\xD0"), "A~** \xD6\xD0");
}

}  // namespace
}  // namespace velarn
