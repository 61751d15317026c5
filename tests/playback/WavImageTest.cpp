// The WAV walker of PlayClip, the player's clip wait and HighlightChunk.
#include <gtest/gtest.h>

#include "playback/PlaybackWorker.h"
#include "playback/WavImage.h"
#include "synth/ClipFormat.h"
#include "tests/support/ReaderRig.h"

namespace velarn {
namespace {

ByteString Le32(std::uint32_t v) {
  ByteString out;
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  return out;
}

ByteString Chunk(std::string_view id, std::string_view body, std::uint32_t size) {
  return ByteString(id) + Le32(size) + ByteString(body);
}

ByteString Riff(const ByteString& chunks, std::uint32_t riff_size) {
  return "RIFF" + Le32(riff_size) + "WAVE" + chunks;
}

const ByteString kFmt = MakeClip("").substr(12, 24);  // "fmt " chunk of the clip format

TEST(WavImageTest, WalksChunks) {
  struct Case {
    const char* name;
    ByteString image;
    std::optional<std::size_t> samples;  // nothing: not playable
  };
  const ByteString list = Chunk("LIST", "abc", 3) + ByteString(1, '\0');  // odd size, padded
  const Case cases[] = {
      {"clip", MakeClip("abcd"), 4},
      {"empty data", MakeClip(""), std::nullopt},
      {"too short", MakeClip("abcd").substr(0, 35), std::nullopt},
      {"no RIFF", "RIFX" + MakeClip("abcd").substr(4), std::nullopt},
      {"no WAVE", MakeClip("abcd").replace(8, 4, "AVI "), std::nullopt},
      {"no fmt", Riff(Chunk("data", "abcd", 4) + Chunk("junk", "xxxxxxxxxxxxxxxxxxxxxxxx", 24), 60),
       std::nullopt},
      {"no data", Riff(kFmt + Chunk("junk", "abcd", 4), 48), std::nullopt},
      {"padded chunk first", Riff(list + kFmt + Chunk("data", "ab", 2), 4 + 12 + 24 + 10), 2},
      {"data before fmt", Riff(Chunk("data", "ab", 2) + kFmt, 4 + 10 + 24), 2},
      {"data claims more than held", Riff(kFmt + Chunk("data", "abc", 1000), 1036), 3},
      {"riff size ends the walk", Riff(kFmt + Chunk("data", "ab", 2), 4 + 24), std::nullopt},
      {"short fmt", Riff(Chunk("fmt ", "12345678", 8) + Chunk("data", "ab", 2), 4 + 16 + 10),
       std::nullopt},
      {"chunk size past the end", Riff(Chunk("junk", "", 0xFFFFFFF0u) + kFmt, 0xFFFFFFFFu),
       std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::optional<WavImage> image = ParseWavImage(c.image);
    ASSERT_EQ(image.has_value(), c.samples.has_value());
    if (!image) continue;
    EXPECT_EQ(image->samples.size(), *c.samples);
    EXPECT_EQ(image->format_tag, 1);
    EXPECT_EQ(image->channels, 1);
    EXPECT_EQ(image->sample_rate, 16000u);
    EXPECT_EQ(image->bits_per_sample, 16);
  }
}

TEST(ClipWaitTest, WholeSecondsPlusHalfRaisedToThePlayingTime) {
  const std::pair<std::size_t, std::int32_t> cases[] = {
      {0, 500}, {16000, 500}, {20000, 625}, {64000, 2500}, {118400, 3700}, {320000, 10500}, {32001, 1500}};
  for (const auto& [size, wait] : cases) {
    EXPECT_EQ(ClipWaitMilliseconds(MakeClip(ByteString(size, '\0'))), wait) << size;
  }
  EXPECT_EQ(ClipWaitMilliseconds(""), 500);  // the empty clip of a resume before any take
}

TEST(HighlightChunkTest, SelectsTheFirstOccurrenceAtACharacterBoundary) {
  test::ReaderRig rig;
  // "\xB0\xA1" is one character: the "\xA1\xB0" inside the first two is no match.
  rig.SetText("\xB0\xA1\xB0\xA1\xB0 x \xA1\xB0 x");
  HighlightChunk(rig.context, "\xA1\xB0");
  rig.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.text_box_selection, (Selection{8, 2}));
    EXPECT_EQ(f.focus_requests, 1u);
  });
  HighlightChunk(rig.context, "x");
  EXPECT_EQ(rig.state.Read([](const SharedFields& f) { return f.text_box_selection; }),
            (Selection{6, 1}));
  HighlightChunk(rig.context, "gone");  // not in the text: selection and focus left alone
  rig.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.text_box_selection, (Selection{6, 1}));
    EXPECT_EQ(f.focus_requests, 2u);
  });
}

}  // namespace
}  // namespace velarn
