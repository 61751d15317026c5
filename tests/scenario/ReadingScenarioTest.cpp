// Whole readings on the headless view: both workers, the scripted engine and the recording
// sound output. The test thread is the window thread.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "engine/Session.h"
#include "playback/PlaybackWorker.h"
#include "playback/StopSounds.h"
#include "resources/WindowDefinition.h"
#include "synth/ClipFormat.h"
#include "synth/SynthWorker.h"
#include "tests/support/ReaderRig.h"
#include "ui/HeadlessView.h"

namespace velarn {
namespace {

using namespace std::chrono_literals;

class ReadingScenarioTest : public testing::Test {
 protected:
  // The chunk texts of `count` chunks of 91 letters: "aaa...", "bbb...", ...
  static Text Chunks(int count) {
    Text text;
    for (int i = 0; i < count; ++i) text += Text(91, static_cast<char>('a' + i));
    return text;
  }
  void StartWorkers() {
    player_.emplace(rig_.context);
    synth_.emplace(rig_.context);
  }
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 20s) {
    return view_.RunUntil(done, timeout);
  }
  // TogglePlay's stop branch, without the caption.
  void Stop() {
    rig_.state.SetPlayButtonTag(" ");
    StopSounds(rig_.context);
    rig_.state.SetHoldPlayback(1);
  }
  std::size_t Played() const { return rig_.sound.recording.PlayCount(); }

  test::ReaderRig rig_;
  HeadlessView view_{rig_.state, rig_.waits};
  // Declared last: stopped and joined first.
  std::optional<PlaybackWorker> player_;
  std::optional<SynthWorker> synth_;
};

TEST_F(ReadingScenarioTest, ClipsPlayInQueueOrderWithTheirTextsSelected) {
  const Text text = Chunks(3) + "end";
  rig_.SetText(text);
  rig_.StartReading();
  StartWorkers();
  ASSERT_TRUE(RunUntil([&] { return Played() == 4 && rig_.state.HoldPlayback() == 1; }));

  const auto played = rig_.sound.recording.Played();
  const auto selections = rig_.sound.Selections();
  const std::vector<Text> chunks = {Text(91, 'a'), Text(91, 'b'), Text(91, 'c'), "end"};
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    EXPECT_EQ(played[i].clip, MakeClip(rig_.engine.script().audio_for(chunks[i]))) << i;
    EXPECT_EQ(selections[i], (Selection{static_cast<std::int64_t>(91 * i),
                                        static_cast<std::int64_t>(chunks[i].size())}));
    // Short clips get their whole seconds plus half a second before the next one starts.
    if (i > 0) {
      EXPECT_GE(played[i].started - played[i - 1].started, 499ms);
    }
  }
  // Read to the end: the caption shows Play again and the player holds.
  rig_.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.play_caption, window::kCaptionPlay);
    EXPECT_EQ(f.text_box_tag, "Y");
    EXPECT_EQ(f.play_button_tag, "");
  });
}

TEST_F(ReadingScenarioTest, AChunkSynthesisedAfterTheClipBeforeItEndedIsStillRead) {
  // The second chunk's audio comes a second and a half after the first clip began, long after
  // that clip's 500 ms: the queue is empty meanwhile, but the reading is not over.
  rig_.engine.script().audio_for = [](const Text& t) {
    if (t[0] == 'b') std::this_thread::sleep_for(1500ms);
    return ByteString(3200, '\1');
  };
  rig_.SetText(Chunks(2));
  rig_.StartReading();
  StartWorkers();
  ASSERT_TRUE(RunUntil([&] { return Played() == 2 && rig_.state.HoldPlayback() == 1; }));
  EXPECT_EQ(rig_.sound.Selections()[1], (Selection{91, 91}));
  rig_.state.Read([](const SharedFields& f) {
    EXPECT_TRUE(f.clip_queue.empty());
    EXPECT_EQ(f.play_caption, window::kCaptionPlay);
    EXPECT_EQ(f.text_box_tag, "Y");
  });
}

TEST_F(ReadingScenarioTest, StopCutsTheClipAndPlayReplaysItThenGoesOn) {
  // The first chunk speaks for 6 s; the others are short.
  rig_.engine.script().audio_for = [](const Text& t) {
    return ByteString(t[0] == 'a' ? 192000 : 3200, '\1');
  };
  rig_.SetText(Chunks(3));
  rig_.StartReading();
  StartWorkers();
  ASSERT_TRUE(RunUntil([&] { return rig_.state.ClipPlaying() == 1; }));

  Stop();
  // The wait for the cut clip ends at once, not after the rest of its 6.5 s.
  const auto stopped = std::chrono::steady_clock::now();
  ASSERT_TRUE(RunUntil([&] { return rig_.state.ClipPlaying() == 0; }, 10s));
  EXPECT_LT(std::chrono::steady_clock::now() - stopped, 4s);
  EXPECT_GE(rig_.sound.recording.Stops(), 1u);
  RunUntil([] { return false; }, 300ms);
  EXPECT_EQ(Played(), 1u);  // holding: nothing else starts
  EXPECT_EQ(rig_.state.PlayButtonTag(), " ");

  // Play (TogglePlay's resume branch): the cut clip again from its start, then the queue.
  rig_.state.SetHoldPlayback(0);
  ASSERT_TRUE(RunUntil([&] { return Played() == 4; }));
  const auto played = rig_.sound.recording.Played();
  EXPECT_EQ(played[1].clip, played[0].clip);
  EXPECT_GE(played[2].started - played[1].started, 6500ms);  // the replay was heard whole
  EXPECT_EQ(played[2].clip, MakeClip(ByteString(3200, '\1')));
  const auto selections = rig_.sound.Selections();
  EXPECT_EQ(selections[1], (Selection{0, 91}));
  EXPECT_EQ(selections[3], (Selection{182, 91}));
}

TEST_F(ReadingScenarioTest, ResetDuringARunStartsTheNewTextFromItsBeginning) {
  rig_.SetText(Chunks(20));
  rig_.state.SetHoldPlayback(1);
  rig_.StartReading();
  synth_.emplace(rig_.context);  // no player: the queue fills up to the throttle
  ASSERT_TRUE(RunUntil([&] { return rig_.engine.PutCount() >= 3; }));

  // What a clipboard capture does: the text changes (reset) and a new request follows at once.
  const Text fresh = "xyz" + Text(91, 'q');
  rig_.SetText(fresh);
  rig_.state.ResetReading();
  rig_.StartReading();
  ASSERT_TRUE(RunUntil([&] {
    const auto puts = rig_.engine.Puts();
    return !puts.empty() && puts.back() == "qqq";
  }));
  const auto puts = rig_.engine.Puts();
  const auto first_new = std::find(puts.begin(), puts.end(), "xyz" + Text(88, 'q'));
  ASSERT_NE(first_new, puts.end());
  EXPECT_EQ(puts.end() - first_new, 2);  // the new text whole, and nothing of the old after it
  ASSERT_TRUE(RunUntil([&] { return rig_.state.TextBoxTag() == "Y"; }));
  rig_.state.Read([&](const SharedFields& f) {
    ASSERT_EQ(f.clip_queue.size(), 2u);
    EXPECT_EQ(f.clip_queue[0].text, "xyz" + Text(88, 'q'));
  });
}

TEST_F(ReadingScenarioTest, MoreThanTenQueuedClipsThrottleTheRun) {
  rig_.SetText(Chunks(20));
  rig_.StartReading();
  synth_.emplace(rig_.context);  // no player
  ASSERT_TRUE(RunUntil([&] { return rig_.state.ClipCount() == 11; }));
  // One character per second from now on: the next 91-letter chunk is far away.
  RunUntil([] { return false; }, 2s);
  EXPECT_EQ(rig_.state.ClipCount(), 11u);
  EXPECT_EQ(rig_.engine.PutCount(), 11u);
}

TEST_F(ReadingScenarioTest, EmptyTextBoxResetsWithoutSpinning) {
  rig_.SetText("");
  rig_.state.AppendClip(MakeClip("ab"), "ab");
  rig_.state.SetTextBoxTag("N");
  player_.emplace(rig_.context);
  ASSERT_TRUE(RunUntil([&] { return rig_.state.ClipCount() == 0; }));
  const auto version = rig_.state.Version();
  RunUntil([] { return false; }, 1500ms);
  // A reset turn and then a one-second step: a handful of resets at most, not thousands.
  EXPECT_LT(rig_.state.Version() - version, 20u);
  EXPECT_EQ(Played(), 0u);
  EXPECT_EQ(rig_.state.TextBoxTag(), "");
}

TEST_F(ReadingScenarioTest, VoiceChangeStopsResetsAndRestartsTheSession) {
  rig_.engine.script().audio_for = [](const Text&) { return ByteString(320000, '\1'); };
  rig_.SetText(Chunks(6));
  rig_.StartReading();
  StartWorkers();
  ASSERT_TRUE(RunUntil([&] { return rig_.state.ClipPlaying() == 1 && rig_.state.ClipCount() >= 1; }));

  rig_.state.Update([](SharedFields& f) { f.voice_index = 2; });
  OnVoiceSelected(rig_.context);

  EXPECT_NE(rig_.session.Params().find(",vcn=x_binge,"), Text::npos);
  EXPECT_EQ(rig_.engine.Begins().back(), rig_.session.Params());
  rig_.state.Read([](const SharedFields& f) {
    EXPECT_TRUE(f.clip_queue.empty());
    EXPECT_EQ(f.hold_playback, 1);
    EXPECT_TRUE(f.play_enabled);
    EXPECT_TRUE(f.save_enabled);
    EXPECT_EQ(f.play_button_tag, "");
    EXPECT_NE(f.text_box_tag, "N");  // "" now, or "Y" once the abandoned run has ended
    EXPECT_EQ(f.clip_playing, 0);
  });
  // The abandoned run queues nothing more, and reading does not resume by itself.
  RunUntil([] { return false; }, 1500ms);
  EXPECT_EQ(rig_.state.ClipCount(), 0u);
  EXPECT_EQ(Played(), 1u);
}

}  // namespace
}  // namespace velarn
