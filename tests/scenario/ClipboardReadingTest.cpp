// The road of a copied text with both real workers on the headless view: the copy is read
// chunk by chunk, and a copy during reading cuts the old text off for the new one.
#include <gtest/gtest.h>

#include <optional>

#include "playback/PlaybackWorker.h"
#include "resources/WindowDefinition.h"
#include "synth/ClipFormat.h"
#include "synth/SynthWorker.h"
#include "tests/support/ReaderRig.h"
#include "ui/HeadlessView.h"

namespace velarn {
namespace {

using namespace std::chrono_literals;

// Chunks of 91 letters: "aaa...", "bbb...", ...
Text Chunks(char first, int count) {
  Text text;
  for (int i = 0; i < count; ++i) text += Text(91, static_cast<char>(first + i));
  return text;
}

class ClipboardReadingTest : public ::testing::Test {
 protected:
  void StartWorkers() {
    player_.emplace(rig_.context);
    synth_.emplace(rig_.context);
  }
  bool Until(const std::function<bool()>& done) { return view_.RunUntil(done, 30s); }
  std::size_t Played() const { return rig_.sound.recording.PlayCount(); }

  test::ReaderRig rig_;
  HeadlessView view_{rig_.context};
  std::optional<PlaybackWorker> player_;  // declared last: stopped and joined first
  std::optional<SynthWorker> synth_;
};

TEST_F(ClipboardReadingTest, ACopiedTextIsReadToItsEndWithEachChunkSelected) {
  StartWorkers();
  view_.Copy(Chunks('a', 2) + "end");
  ASSERT_TRUE(Until([&] {
    return Played() == 3 && rig_.state.PlayCaption() == window::kCaptionPlay;
  }));
  const auto played = rig_.sound.recording.Played();
  const std::vector<Text> chunks = {Text(91, 'a'), Text(91, 'b'), "end"};
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(played[i].clip, MakeClip(rig_.engine.script().audio_for(chunks[i]))) << i;
  }
  EXPECT_EQ(rig_.sound.Selections().back(), (Selection{182, 3}));
  EXPECT_EQ(view_.Focused(), FocusTarget::kTextBox);
}

TEST_F(ClipboardReadingTest, ACopyDuringReadingCutsTheOldTextAndReadsTheNewOne) {
  // Long clips (three seconds each), so that the copy lands in the middle of one.
  rig_.engine.script().audio_for = [](const Text& text) { return ByteString(96'000, text[0]); };
  StartWorkers();
  view_.Copy(Chunks('a', 4));
  ASSERT_TRUE(Until([&] { return Played() == 1 && rig_.state.ClipPlaying() == 1; }));
  view_.Copy(Chunks('x', 2));
  ASSERT_TRUE(Until([&] {
    return Played() >= 3 && rig_.state.PlayCaption() == window::kCaptionPlay;
  }));
  EXPECT_GE(rig_.sound.recording.Stops(), 1u);
  const auto played = rig_.sound.recording.Played();
  ASSERT_EQ(played.size(), 3u);  // a, then only the new text: x, y
  EXPECT_EQ(played[1].clip, MakeClip(ByteString(96'000, 'x')));
  EXPECT_EQ(played[2].clip, MakeClip(ByteString(96'000, 'y')));
  // The new text starts well before the cut clip's three seconds are over.
  EXPECT_LT(played[1].started - played[0].started, 2900ms);
}

}  // namespace
}  // namespace velarn
