#include "synth/ClipFormat.h"

#include <gtest/gtest.h>

namespace velarn {
namespace {

std::uint32_t Le32(const ByteString& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t(static_cast<unsigned char>(s[at + i])) << (8 * i);
  return v;
}

TEST(MakeClipTest, WritesTheFixedHeader) {
  const ByteString clip = MakeClip(ByteString(64000, '\x01'));
  ASSERT_EQ(clip.size(), 44u + 64000u);
  EXPECT_EQ(clip.substr(0, 4), "RIFF");
  EXPECT_EQ(clip.substr(4, 4), ByteString("\x24\xFA\x00\x00", 4));
  EXPECT_EQ(clip.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(clip.substr(16, 20),
            ByteString("\x10\0\0\0\x01\0\x01\0\x80\x3E\0\0\x00\x7D\0\0\x02\0\x10\0", 20));
  EXPECT_EQ(clip.substr(36, 4), "data");
  EXPECT_EQ(clip.substr(40, 4), ByteString("\x00\xFA\x00\x00", 4));
  EXPECT_EQ(clip[44], '\x01');
}

TEST(MakeClipTest, EmptyAndOddAudio) {
  const ByteString empty = MakeClip("");
  EXPECT_EQ(empty.size(), 44u);
  EXPECT_EQ(Le32(empty, 4), 36u);
  EXPECT_EQ(Le32(empty, 40), 0u);
  const ByteString odd = MakeClip("abc");
  EXPECT_EQ(Le32(odd, 40), 3u);
  EXPECT_EQ(odd.substr(44), "abc");
}

ByteString WithFields(std::uint32_t rate, std::uint32_t data) {
  ByteString clip = MakeClip("");
  for (int i = 0; i < 4; ++i) {
    clip[28 + i] = static_cast<char>((rate >> (8 * i)) & 0xFF);
    clip[40 + i] = static_cast<char>((data >> (8 * i)) & 0xFF);
  }
  return clip;
}

struct SecondsCase {
  ByteString clip;
  std::int32_t seconds;
};

class ClipSecondsTest : public testing::TestWithParam<SecondsCase> {};

TEST_P(ClipSecondsTest, FromHeaderOnly) { EXPECT_EQ(ClipSeconds(GetParam().clip), GetParam().seconds); }

INSTANTIATE_TEST_SUITE_P(
    Cases, ClipSecondsTest,
    testing::Values(
        SecondsCase{MakeClip(""), 0}, SecondsCase{MakeClip(ByteString(20000, 0)), 0},
        SecondsCase{MakeClip(ByteString(64000, 0)), 2},
        SecondsCase{MakeClip(ByteString(118400, 0)), 3},
        SecondsCase{MakeClip(ByteString(31999, 0)), 0},
        SecondsCase{MakeClip(ByteString(32000, 0)), 1},
        SecondsCase{MakeClip(ByteString(320000, 0)), 10},
        // Empty, and too short for the byte rate: R = 0.
        SecondsCase{"", 0}, SecondsCase{MakeClip("").substr(0, 28), 0},
        // Ends inside the data size: its missing high bytes count as zero (0x7D00 / 1).
        SecondsCase{WithFields(1, 0x12347D00).substr(0, 42), 0x7D00},
        // Ends inside the byte rate: rate 0x00 (just its low byte, here 0) gives 0.
        SecondsCase{WithFields(0x7D00, 64000).substr(0, 29), 0},
        // The data size is read from the header whatever the real audio length.
        SecondsCase{WithFields(32000, 96000), 3},
        SecondsCase{WithFields(7, 0xFFFFFFFFu), 613566756}));

TEST(WholeSecondsTest, CorrectsAlmostIntegersFirst) {
  EXPECT_EQ(WholeSeconds(2.9999999999995), 3);
  EXPECT_EQ(WholeSeconds(2.999999999998), 2);
  EXPECT_EQ(WholeSeconds(3.7), 3);
  EXPECT_EQ(WholeSeconds(0.0), 0);
  EXPECT_EQ(WholeSeconds(5e12), INT32_MAX);
}

}  // namespace
}  // namespace velarn
