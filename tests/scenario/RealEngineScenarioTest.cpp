// Whole readings on the headless view with the real engine component, started as the program
// starts it, and a recording sound output. The test thread is the window thread; the user's
// clicks and copies go through the view, so the real handlers run.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "engine/Session.h"
#include "playback/PlaybackWorker.h"
#include "resources/WindowDefinition.h"
#include "synth/ClipFormat.h"
#include "synth/SynthWorker.h"
#include "tests/support/RealEngineRig.h"
#include "ui/HeadlessView.h"

namespace velarn {
namespace {

using namespace std::chrono_literals;

const Text kNi = "\xC4\xE3";     // 你
const Text kHao = "\xBA\xC3";    // 好
const Text kShi = "\xCA\xC0";    // 世
const Text kJie = "\xBD\xE7";    // 界
const Text kComma = "\xA3\xAC";  // ，

// A chunk of exactly 91 bytes that speaks one character: sent at its last space.
Text ShortChunk(const Text& han) { return han + Text(89, ' '); }

// `count` short chunks of 91 bytes, each of its own character and letter.
Text ShortChunks(std::size_t count) {
  const Text han[] = {kNi, kHao, kShi, kJie};
  Text text;
  for (std::size_t i = 0; i < count; ++i) text += han[i % 4] + Text(1, static_cast<char>('a' + i % 26)) + Text(88, ' ');
  return text;
}

class RealEngineScenarioTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::DeployedEngine::Shared().ready()) << test::DeployedEngine::Shared().failure();
  }
  void StartWorkers() {
    player_.emplace(rig_.context);
    synth_.emplace(rig_.context);
  }
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 30s) {
    return view_.RunUntil(done, timeout);
  }
  void Idle(std::chrono::milliseconds time) { view_.RunUntil([] { return false; }, time); }
  // The user clicks Play (or Stop) and the click has been handled.
  void ClickPlay() {
    const auto version = rig_.state.Version();
    view_.ClickPlay();
    RunUntil([&] { return rig_.state.Version() != version; }, 10s);
  }
  // What was put, played and left, for a failure message.
  std::string Describe() const {
    std::string out = "puts:";
    for (const Text& text : PutTexts()) out += " " + GbkToUtf8(text.substr(0, 3));
    out += "\nplayed at (ms after the first), with the selection:";
    const auto played = Played();
    const auto selections = rig_.sound.Selections();
    for (std::size_t i = 0; i < played.size(); ++i) {
      out += " " + std::to_string((played[i].started - played[0].started) / 1ms) + " {" +
             std::to_string(selections[i].start) + "," + std::to_string(selections[i].length) + "}";
    }
    rig_.state.Read([&](const SharedFields& f) {
      out += "\nTextBox.tag [" + f.text_box_tag + "] PlayButton.tag [" + f.play_button_tag +
             "] HoldPlayback " + std::to_string(f.hold_playback) + " queued " +
             std::to_string(f.clip_queue.size());
    });
    return out;
  }
  std::vector<PlayedClip> Played() const { return rig_.sound.recording.Played(); }
  std::vector<Text> PutTexts() const {
    std::vector<Text> texts;
    for (const auto& put : rig_.engine.Puts()) texts.push_back(put.text);
    return texts;
  }

  test::RealEngineRig rig_;
  HeadlessView view_{rig_.context};
  // Declared last: stopped and joined first.
  std::optional<PlaybackWorker> player_;
  std::optional<SynthWorker> synth_;
};

TEST_F(RealEngineScenarioTest, ClipsPlayInQueueOrderWithTheirTextsSelected) {
  const std::vector<Text> chunks = {ShortChunk(kNi), ShortChunk(kHao), ShortChunk(kShi), kJie};
  Text text;
  for (const Text& chunk : chunks) text += chunk;
  rig_.state.SetTextBoxText(text);
  StartWorkers();
  ClickPlay();
  ASSERT_TRUE(RunUntil([&] { return Played().size() == 4 && rig_.state.HoldPlayback() == 1; }));

  const auto puts = rig_.engine.Puts();
  const auto played = Played();
  const auto selections = rig_.sound.Selections();
  ASSERT_EQ(puts.size(), 4u);
  std::int64_t offset = 0;
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(puts[i].text, chunks[i]);
    EXPECT_GT(puts[i].audio.size(), 1000u);  // the engine spoke it
    EXPECT_EQ(played[i].clip, MakeClip(puts[i].audio));
    EXPECT_EQ(selections[i], (Selection{offset, static_cast<std::int64_t>(chunks[i].size())}));
    offset += static_cast<std::int64_t>(chunks[i].size());
    if (i > 0) {
      EXPECT_GE(played[i].started - played[i - 1].started,
                std::chrono::milliseconds(ClipWaitMilliseconds(played[i - 1].clip)) - 2ms);
    }
  }
  EXPECT_EQ(rig_.engine.Begins().size(), 1u);
  ASSERT_TRUE(RunUntil([&] { return rig_.state.TextBoxTag() == "Y"; }));
  rig_.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.play_caption, window::kCaptionPlay);
    EXPECT_EQ(f.play_button_tag, "");
    EXPECT_TRUE(f.clip_queue.empty());
  });
  EXPECT_TRUE(rig_.dialogs.Messages().empty());
}

TEST_F(RealEngineScenarioTest, StopDuringAClipThenPlayReplaysItAndGoesOn) {
  Text long_chunk;  // 45 characters and a comma: several seconds of speech
  for (int i = 0; i < 45; ++i) long_chunk += i % 2 ? kHao : kNi;
  long_chunk += kComma;
  const std::vector<Text> chunks = {long_chunk, ShortChunk(kShi), kJie};
  rig_.state.SetTextBoxText(long_chunk + ShortChunk(kShi) + kJie);
  StartWorkers();
  ClickPlay();
  ASSERT_TRUE(RunUntil([&] { return Played().size() == 1 && rig_.state.ClipPlaying() == 1; }));
  ASSERT_GT(ClipSeconds(Played()[0].clip), 1);

  ClickPlay();  // Stop
  EXPECT_GE(rig_.sound.recording.Stops(), 1u);
  ASSERT_TRUE(RunUntil([&] { return rig_.state.ClipPlaying() == 0; }, 10s));
  Idle(700ms);
  EXPECT_EQ(Played().size(), 1u);  // holding: nothing else starts
  rig_.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.play_caption, window::kCaptionPlay);
    EXPECT_EQ(f.play_button_tag, " ");
    EXPECT_EQ(f.hold_playback, 1);
  });

  ClickPlay();  // Play: the cut clip again from its start, then the rest of the text
  ASSERT_TRUE(RunUntil([&] { return Played().size() == 4 && rig_.state.HoldPlayback() == 1; }, 60s));
  const auto played = Played();
  const auto selections = rig_.sound.Selections();
  const auto puts = rig_.engine.Puts();
  EXPECT_EQ(PutTexts(), chunks);  // the paused run lost and repeated nothing
  EXPECT_EQ(played[1].clip, played[0].clip);
  EXPECT_EQ(selections[1], selections[0]);
  EXPECT_EQ(selections[0], (Selection{0, static_cast<std::int64_t>(long_chunk.size())}));
  EXPECT_GE(played[2].started - played[1].started,
            std::chrono::milliseconds(ClipWaitMilliseconds(played[1].clip)) - 2ms);  // heard whole
  ASSERT_EQ(puts.size(), 3u);
  EXPECT_EQ(played[2].clip, MakeClip(puts[1].audio));
  EXPECT_EQ(played[3].clip, MakeClip(puts[2].audio));
  EXPECT_EQ(selections[3], (Selection{static_cast<std::int64_t>(long_chunk.size() + 91), 2}));
}

TEST_F(RealEngineScenarioTest, ACopyDuringARunEndsItAndReadsTheNewTextFromItsBeginning) {
  rig_.state.SetTextBoxText(ShortChunks(20));
  StartWorkers();
  ClickPlay();
  // The queue is over its limit, so the run is still going.
  ASSERT_TRUE(RunUntil([&] { return rig_.engine.PutCount() >= 11 && Played().size() >= 1; }));
  ASSERT_EQ(rig_.state.TextBoxTag(), "N");

  // Another program copies a text: reset, and a new request at once.
  const std::vector<Text> fresh = {ShortChunk(kJie), kShi + kNi};
  const std::size_t puts_before = rig_.engine.PutCount();
  const std::size_t played_before = Played().size();
  view_.Copy(fresh[0] + fresh[1]);
  ASSERT_TRUE(RunUntil([&] {
    const auto puts = rig_.engine.Puts();
    const auto played = Played();
    return !puts.empty() && puts.back().text == fresh[1] && !played.empty() &&
           played.back().clip == MakeClip(puts.back().audio) && rig_.state.HoldPlayback() == 1;
  })) << Describe();

  // After the copy, only the new text, whole and in order, was put and played.
  const auto texts = PutTexts();
  const std::vector<Text> after(texts.begin() + static_cast<std::ptrdiff_t>(puts_before), texts.end());
  const auto first_new = std::find(after.begin(), after.end(), fresh[0]);
  ASSERT_NE(first_new, after.end());
  EXPECT_EQ(std::vector<Text>(first_new, after.end()), fresh);
  // Before it at most what the old run had in hand when the reset came.
  EXPECT_LE(first_new - after.begin(), 1);
  const auto played = Played();
  const auto selections = rig_.sound.Selections();
  const auto puts = rig_.engine.Puts();
  ASSERT_GE(played.size(), 2u);
  const std::size_t first_played = played.size() - 2;
  EXPECT_EQ(played[first_played].clip, MakeClip(puts[puts.size() - 2].audio)) << Describe();
  EXPECT_EQ(selections[first_played], (Selection{0, 91}));
  EXPECT_EQ(selections[first_played + 1], (Selection{91, 4}));
  // Of the old text, at most the clip that was starting when the copy came.
  EXPECT_LE(first_played, played_before + 1);
  ASSERT_TRUE(RunUntil([&] { return rig_.state.TextBoxTag() == "Y"; }));
  EXPECT_EQ(rig_.state.ClipCount(), 0u);
}

TEST_F(RealEngineScenarioTest, MoreThanTenQueuedClipsThrottleTheRun) {
  rig_.state.SetTextBoxText(ShortChunks(20));
  synth_.emplace(rig_.context);  // no player: nothing drains the queue
  ClickPlay();
  ASSERT_TRUE(RunUntil([&] { return rig_.state.ClipCount() == 11; }));
  // One character a second from now on: the next 91-byte chunk is far away.
  Idle(2500ms);
  EXPECT_EQ(rig_.state.ClipCount(), 11u);
  EXPECT_EQ(rig_.engine.PutCount(), 11u);
  EXPECT_EQ(rig_.state.TextBoxTag(), "N");  // the run goes on, slowly
}

TEST_F(RealEngineScenarioTest, AVoiceChangeGivesTheNewVoiceInTheNextSession) {
  Text long_chunk;
  for (int i = 0; i < 45; ++i) long_chunk += kNi;
  long_chunk += kComma;
  rig_.state.SetTextBoxText(long_chunk + ShortChunks(6));
  StartWorkers();
  ClickPlay();
  ASSERT_TRUE(RunUntil([&] { return rig_.state.ClipPlaying() == 1 && rig_.state.ClipCount() >= 1; }));
  ASSERT_NE(rig_.engine.Begins().back().find(",vcn=x_yiping,"), Text::npos);

  rig_.state.Update([](SharedFields& f) { f.voice_index = 2; });
  OnVoiceSelected(rig_.context);

  EXPECT_NE(rig_.engine.Begins().back().find(",vcn=x_binge,"), Text::npos);
  rig_.state.Read([](const SharedFields& f) {
    EXPECT_TRUE(f.clip_queue.empty());
    EXPECT_EQ(f.hold_playback, 1);
    EXPECT_TRUE(f.play_enabled);
    EXPECT_TRUE(f.save_enabled);
    EXPECT_EQ(f.play_button_tag, "");
    EXPECT_NE(f.text_box_tag, "N");  // "" now, or "Y" once the abandoned run has ended
  });
  // Reading does not resume by itself.
  const std::size_t played = Played().size();
  Idle(1500ms);
  EXPECT_EQ(Played().size(), played);
  EXPECT_EQ(rig_.state.ClipCount(), 0u);

  // The next reading (the caption still says Stop: a copied text starts it) speaks with the
  // new voice.
  const std::size_t begins = rig_.engine.Begins().size();
  const std::size_t puts = rig_.engine.PutCount();
  view_.Copy(long_chunk + kJie);
  ASSERT_TRUE(RunUntil([&] { return Played().size() > played && rig_.engine.PutCount() > puts; }));
  const auto all_begins = rig_.engine.Begins();
  ASSERT_GT(all_begins.size(), begins);
  EXPECT_NE(all_begins.back().find(",vcn=x_binge,"), Text::npos);
  const auto spoken = rig_.engine.Puts();
  EXPECT_EQ(spoken[puts].text, long_chunk);
  EXPECT_GT(spoken[puts].audio.size(), 1000u);
  EXPECT_NE(spoken[puts].audio, spoken[0].audio);  // the same text in another voice
  EXPECT_EQ(Played()[played].clip, MakeClip(spoken[puts].audio));
  EXPECT_TRUE(rig_.dialogs.Messages().empty());
}

// SpeedBox: the text as typed, what it holds after its change handler, and the engine speaks
// with it (the parameter string carries the kept text unchanged).
TEST_F(RealEngineScenarioTest, SpeedBoxValuesAreKeptOrReplacedAndTheEngineStillSpeaks) {
  const struct {
    Text typed;
    Text kept;
  } cases[] = {
      {"101", "99"}, {"-1", "99"}, {"100", "100"}, {"0", "0"}, {"", ""},
      {"\xA3\xB9\xA3\xB5", "\xA3\xB9\xA3\xB5"},  // ９５
  };
  rig_.state.SetTextBoxText(kNi + kHao);
  for (const auto& c : cases) {
    SCOPED_TRACE(GbkToUtf8(c.typed));
    rig_.state.Update([&](SharedFields& f) { f.speed_box_text = c.typed; });
    OnSpeedBoxChanged(rig_.context);
    EXPECT_EQ(rig_.state.Read([](const SharedFields& f) { return f.speed_box_text; }), c.kept);
    EXPECT_NE(rig_.engine.Begins().back().find(",speed=" + c.kept + ",tte="), Text::npos);
    EXPECT_EQ(rig_.session.Error(), 0);

    // A reading run restarts the session with the same text and gets speech for it.
    rig_.state.ResetReading();
    rig_.state.SetTextBoxTag("N");
    SynthesisRun(rig_.context);
    EXPECT_EQ(rig_.engine.Begins().back(), rig_.session.Params());
    rig_.state.Read([](const SharedFields& f) {
      ASSERT_EQ(f.clip_queue.size(), 1u);
      EXPECT_GT(f.clip_queue[0].clip.size(), kClipHeaderSize + 1000);
    });
  }
  EXPECT_TRUE(rig_.dialogs.Messages().empty());
}

}  // namespace
}  // namespace velarn
