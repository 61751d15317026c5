// Segmentation driven through SynthesisRun: the chunks the engine is given.
#include <gtest/gtest.h>

#include <numeric>

#include "synth/HanCharacter.h"
#include "synth/SynthWorker.h"
#include "tests/support/ReaderRig.h"

namespace velarn {
namespace {

const Text kHan = "\xC4\xE3";        // 你
const Text kComma = "\xA3\xAC";      // ，
const Text kFullStop = "\xA1\xA3";   // 。
const Text kBang = "\xA3\xA1";       // ！
const Text kIdeoSpace = "\xA1\xA1";  // the ideographic space

Text Repeat(const Text& piece, int times) {
  Text text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

struct SegmentationCase {
  const char* name;
  Text text;
  std::vector<std::size_t> chunk_sizes;
  friend void PrintTo(const SegmentationCase& c, std::ostream* os) { *os << c.name; }
};

class SegmentationTest : public testing::TestWithParam<SegmentationCase> {};

TEST_P(SegmentationTest, GivesTheEngineTheseChunks) {
  const SegmentationCase& c = GetParam();
  test::ReaderRig rig;
  rig.SetText(c.text);
  rig.StartReading();
  SynthesisRun(rig.context);

  const std::vector<Text> puts = rig.engine.Puts();
  std::vector<std::size_t> sizes;
  for (const Text& put : puts) sizes.push_back(put.size());
  EXPECT_EQ(sizes, c.chunk_sizes);
  // Nothing lost, nothing repeated, and every chunk queued with its text.
  EXPECT_EQ(std::accumulate(puts.begin(), puts.end(), Text()), c.text);
  rig.state.Read([&](const SharedFields& f) {
    ASSERT_EQ(f.clip_queue.size(), puts.size());
    for (std::size_t i = 0; i < puts.size(); ++i) EXPECT_EQ(f.clip_queue[i].text, puts[i]);
    EXPECT_EQ(f.text_box_tag, "Y");
  });
}

INSTANTIATE_TEST_SUITE_P(
    Chunks, SegmentationTest,
    testing::Values(
        SegmentationCase{"Abc", "abc", {3}},
        SegmentationCase{"Ascii200", Text(200, 'a'), {91, 91, 18}},
        SegmentationCase{"Ascii91", Text(91, 'a'), {91}},
        SegmentationCase{"Ascii90", Text(90, 'a'), {90}},
        SegmentationCase{"Han50ThenComma", Repeat(kHan, 50) + kComma + "abc", {102, 3}},
        SegmentationCase{"Han45ThenLetter", Repeat(kHan, 45) + "xyz", {91, 2}},
        SegmentationCase{"Han100ThenFullStop", Repeat(kHan, 100) + kFullStop, {202}},
        SegmentationCase{"Bytes88ThenComma", Text(88, 'a') + kComma + "xyz", {91, 2}},
        SegmentationCase{"Bytes89ThenComma", Text(89, 'a') + kComma + "xyz", {91, 3}},
        SegmentationCase{"LeadByteLast", Text(90, 'a') + "\xB0", {91}},
        SegmentationCase{"LeadByteLastShort", "ab\xB0", {3}},
        // The space is a single byte under the threshold, the ideograph never ends a chunk, the
        // full-width "!" does; the ideographic space is not Han either.
        SegmentationCase{"SpaceAndFullWidth",
                         Repeat(kHan, 44) + " " + kHan + kBang + "ok" + Repeat(kHan, 44) +
                             kIdeoSpace + "z",
                         {93, 92, 1}}),
    [](const testing::TestParamInfo<SegmentationCase>& info) { return info.param.name; });

TEST(SynthesisRunTest, EmptyTextSendsNothingAndEnds) {
  test::ReaderRig rig;
  rig.SetText("");
  rig.StartReading();
  SynthesisRun(rig.context);
  EXPECT_TRUE(rig.engine.Puts().empty());
  EXPECT_EQ(rig.state.TextBoxTag(), "Y");
  EXPECT_EQ(rig.engine.Begins().size(), 1u);  // the session still restarts first
}

TEST(HanCharacterTest, TestsTheCodePointRange) {
  struct Case {
    Text piece;
    bool han;
  };
  const Case cases[] = {
      {"\xD2\xBB", true},           // 一 U+4E00, first of the range
      {"\xFD\x9B", true},           // 龥 U+9FA5, last of the range
      {"\x81\x40", true},           // 丂 U+4E02, in the GBK extension rows
      {"\xD2\xBB\xC4\xE3", true},   // two ideographs
      {kComma, false},              // full-width punctuation
      {kFullStop, false},
      {"\xA3\xC1", false},          // full-width A
      {kIdeoSpace, false},
      {"\xA9\x96", false},          // 〇 U+3007: outside the range
      {"\xA9\x55", false},          // ︰ U+FE30
      {"\xB0", false},              // a lone lead byte
      {"\xB0 ", false},             // fewer than two bytes besides spaces
      {" \xD2\xBB", false},         // a space is no ideograph
      {"ab", false},
      {"\x81\x30", false},          // not a two-byte GBK character
      {"", false},
  };
  for (const Case& c : cases) EXPECT_EQ(IsHanCharacter(c.piece), c.han) << testing::PrintToString(c.piece);
}

}  // namespace
}  // namespace velarn
