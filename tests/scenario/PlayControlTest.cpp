// The play control and the clipboard capture, driven through the headless view as a user
// would. A test thread stands in for the player where a scenario needs ClipPlaying.
#include "playback/PlayControl.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "resources/WindowDefinition.h"
#include "tests/support/ReaderRig.h"
#include "ui/HeadlessView.h"

namespace velarn {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const Text kHello = "\xC4\xE3\xBA\xC3\xA3\xAC\xCA\xC0\xBD\xE7";  // 你好，世界
const Text kOther = "\xD0\xC2\xB5\xC4\xCE\xC4\xB1\xBE";          // 新的文本
constexpr milliseconds kBound(5000);

// Sees, from another thread, a state that may exist only inside a handler's nested wait,
// where the test's own wait on the window thread cannot test it. Then runs `then`.
class Watcher {
 public:
  Watcher(const ReaderState& state, std::function<bool(const SharedFields&)> seen,
          std::function<void()> then = {})
      : thread_([&state, seen = std::move(seen), then = std::move(then), this] {
          const auto deadline = Clock::now() + kBound;
          for (;;) {
            const std::uint64_t version = state.Version();
            if (state.Read(seen)) {
              saw_ = true;
              break;
            }
            if (!state.WaitForChange(version, deadline) && Clock::now() >= deadline) break;
          }
          if (then) then();
        }) {}
  ~Watcher() {
    if (thread_.joinable()) thread_.join();
  }
  bool Saw() {
    thread_.join();
    thread_ = std::thread();
    return saw_;
  }

 private:
  std::atomic<bool> saw_{false};
  std::thread thread_;
};

class PlayControlTest : public ::testing::Test {
 protected:
  // Reading is on: the caption is "停 止", a run is requested and two clips wait.
  void SetReading(std::int32_t clip_playing) {
    t_.state.Update([&](SharedFields& f) {
      f.text_box_text = kHello;
      f.play_caption = window::kCaptionStop;
      f.text_box_tag = kTagRequested;
      f.clip_queue = {{"clip1", "t1"}, {"clip2", "t2"}};
      f.clip_playing = clip_playing;
    });
  }
  bool Until(const std::function<bool(const SharedFields&)>& done) {
    return view_.RunUntil([&] { return t_.state.Read(done); }, kBound);
  }

  test::ReaderRig t_;
  HeadlessView view_{t_.context};
};

TEST_F(PlayControlTest, CopyWhileIdleShowsTheTextAndRequestsItsReading) {
  t_.state.SetHoldPlayback(1);
  view_.MoveFocus(FocusTarget::kSpeedBox);
  view_.Copy(kHello);
  ASSERT_TRUE(Until([](const SharedFields& f) { return f.text_box_tag == kTagRequested; }));
  t_.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.text_box_text, kHello);
    EXPECT_EQ(f.text_box_selection, (Selection{-1, 0}));
    EXPECT_EQ(f.play_caption, window::kCaptionStop);
    EXPECT_EQ(f.hold_playback, 0);
    EXPECT_EQ(f.play_button_tag, "");
  });
  EXPECT_EQ(t_.sound.recording.Stops(), 0u);
  EXPECT_EQ(view_.Focused(), FocusTarget::kTextBox);
}

TEST_F(PlayControlTest, CopyDuringReadingStopsWaitsForTheCutClipThenReadsTheNewText) {
  SetReading(1);
  // The window thread waits with both buttons off while the player still counts the cut clip.
  Watcher buttons_off(
      t_.state,
      [](const SharedFields& f) {
        return f.sound_stops == 1 && f.clip_playing == 1 && !f.play_enabled && !f.save_enabled;
      },
      [this] { t_.state.SetClipPlaying(0); });
  view_.Copy(kOther);
  ASSERT_TRUE(Until([](const SharedFields& f) {
    return f.text_box_text == kOther && f.text_box_tag == kTagRequested && f.play_caption == window::kCaptionStop &&
           f.play_enabled;
  }));
  EXPECT_TRUE(buttons_off.Saw());
  EXPECT_EQ(t_.sound.recording.Stops(), 1u);
  t_.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.text_box_text, kOther);
    EXPECT_TRUE(f.clip_queue.empty());
    EXPECT_EQ(f.play_button_tag, "");
    EXPECT_EQ(f.hold_playback, 0);
    EXPECT_TRUE(f.save_enabled);
  });
}

TEST_F(PlayControlTest, TheWriteReturnsOnlyAfterTheStopAndTheReset) {
  SetReading(1);
  Watcher player(
      t_.state, [](const SharedFields& f) { return f.sound_stops == 1; },
      [this] {
        std::this_thread::sleep_for(milliseconds(200));
        t_.state.SetClipPlaying(0);
      });
  bool written = false;
  view_.Pump().Post([&] {
    WriteTextBox(t_.context, kOther);
    written = true;
    t_.state.Read([](const SharedFields& f) {
      EXPECT_EQ(f.clip_playing, 0);
      EXPECT_TRUE(f.clip_queue.empty());
      EXPECT_EQ(f.text_box_tag, "");
      EXPECT_EQ(f.play_caption, window::kCaptionPlay);
      EXPECT_EQ(f.hold_playback, 1);
    });
  });
  ASSERT_TRUE(view_.RunUntil([&] { return written; }, kBound));
}

TEST_F(PlayControlTest, CopyWithoutTextLeavesTextBoxAndReadingAlone) {
  SetReading(1);
  const SharedFields before = t_.state.Read([](const SharedFields& f) { return f; });
  view_.Copy("");
  view_.Pump().DispatchPending();
  t_.state.Read([&](const SharedFields& f) {
    EXPECT_EQ(f.text_box_text, before.text_box_text);
    EXPECT_EQ(f.text_box_serial, before.text_box_serial);
    EXPECT_EQ(f.play_caption, before.play_caption);
    EXPECT_EQ(f.text_box_tag, before.text_box_tag);
    EXPECT_EQ(f.clip_queue.size(), 2u);
  });
  EXPECT_EQ(t_.sound.recording.Stops(), 0u);
}

TEST_F(PlayControlTest, CopyingTheSameTextAgainRestartsItsReading) {
  t_.state.Update([](SharedFields& f) {
    f.text_box_text = kHello;
    f.text_box_tag = kTagDone;
    f.clip_queue = {{"clip2", "t2"}};
    f.hold_playback = 1;
  });
  view_.Copy(kHello);
  ASSERT_TRUE(Until([](const SharedFields& f) { return f.play_caption == window::kCaptionStop; }));
  t_.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.text_box_tag, kTagRequested);
    EXPECT_TRUE(f.clip_queue.empty());
    EXPECT_EQ(f.hold_playback, 0);
  });
}

TEST_F(PlayControlTest, PlayWithAnEmptyTextShowsStopForASecondAndChangesNothingElse) {
  t_.state.Update([](SharedFields& f) {
    f.text_box_text.clear();
    f.hold_playback = 1;
  });
  Watcher stop_shown(t_.state,
                     [](const SharedFields& f) { return f.play_caption == window::kCaptionStop; });
  const auto start = Clock::now();
  view_.ClickPlay();
  ASSERT_TRUE(view_.RunUntil([&] { return Clock::now() - start > milliseconds(100); }, kBound));
  ASSERT_TRUE(Until([](const SharedFields& f) { return f.play_caption == window::kCaptionPlay; }));
  EXPECT_GE(Clock::now() - start, milliseconds(900));
  EXPECT_TRUE(stop_shown.Saw());
  t_.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.text_box_tag, "");
    EXPECT_EQ(f.hold_playback, 1);
  });
}

// Play from "播 放" with a text: which of resume, new request and caption-only it is.
struct StartCase {
  const char* name;
  std::string_view play_tag;
  std::string_view text_tag;
  std::size_t queued;
  std::string_view want_text_tag;
  std::int32_t want_hold;
};

class StartBranchTest : public PlayControlTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(StartBranchTest, DecidesByTheMarkersAndTheQueue) {
  const StartCase& c = GetParam();
  t_.state.Update([&](SharedFields& f) {
    f.text_box_text = kHello;
    f.play_button_tag = c.play_tag;
    f.text_box_tag = c.text_tag;
    f.clip_queue.assign(c.queued, QueuedClip{"clip", "t"});
    f.hold_playback = 1;
  });
  view_.ClickPlay();
  ASSERT_TRUE(Until([](const SharedFields& f) { return f.play_caption == window::kCaptionStop; }));
  view_.Pump().DispatchPending();
  t_.state.Read([&](const SharedFields& f) {
    EXPECT_EQ(f.text_box_tag, c.want_text_tag);
    EXPECT_EQ(f.hold_playback, c.want_hold);
    EXPECT_EQ(f.play_button_tag, c.play_tag);  // the player clears it when it resumes
    EXPECT_EQ(f.clip_queue.size(), c.queued);
  });
  EXPECT_EQ(view_.Focused(), FocusTarget::kTextBox);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartBranchTest,
    ::testing::Values(StartCase{"Fresh", "", "", 0, "N", 0},
                      StartCase{"FreshWithStaleClips", "", "", 2, "N", 0},
                      StartCase{"ReadToTheEnd", "", "Y", 0, "N", 0},
                      StartCase{"ClipsQueuedDuringRun", "", "N", 1, "N", 1},
                      StartCase{"ClipsQueuedAfterRun", "", "Y", 2, "Y", 1},
                      StartCase{"ResumeAfterStop", " ", "Y", 1, "Y", 0},
                      StartCase{"ResumeWithEmptyQueue", " ", "N", 0, "N", 0}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return info.param.name; });

TEST_F(PlayControlTest, StopWhileAClipSoundsCutsItAndDisablesTheButtonsForItsTime) {
  SetReading(1);
  bool kept_for_resume = false;
  Watcher stopped(
      t_.state,
      [&](const SharedFields& f) {
        kept_for_resume = f.play_button_tag == kTagSet && f.hold_playback == 1 &&
                          f.clip_queue.size() == 2 && f.sound_stops == 1;
        return f.play_caption == window::kCaptionPlay && !f.play_enabled && !f.save_enabled;
      },
      [this] { t_.state.SetClipPlaying(0); });
  view_.MoveFocus(FocusTarget::kPlayButton);  // TextBox takes it back; the PlayButton stops
  ASSERT_TRUE(Until([](const SharedFields& f) {
    return f.clip_playing == 0 && f.play_enabled && f.save_enabled;
  }));
  EXPECT_TRUE(stopped.Saw());
  EXPECT_TRUE(kept_for_resume);
  EXPECT_EQ(t_.sound.recording.Stops(), 1u);
  EXPECT_EQ(t_.state.PlayCaption(), window::kCaptionPlay);
  EXPECT_EQ(view_.Focused(), FocusTarget::kTextBox);
}

TEST_F(PlayControlTest, ClickingStopWhileReadingStopsAndDoesNotResume) {
  SetReading(0);
  view_.ClickPlay();
  ASSERT_TRUE(Until([](const SharedFields& f) {
    return f.play_caption == window::kCaptionPlay && f.play_enabled;
  }));
  view_.Pump().DispatchPending();
  t_.state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.play_caption, window::kCaptionPlay);
    EXPECT_EQ(f.hold_playback, 1);
    EXPECT_EQ(f.play_button_tag, kTagSet);
  });
  EXPECT_EQ(t_.sound.recording.Stops(), 1u);
  EXPECT_EQ(view_.Focused(), FocusTarget::kTextBox);
}

TEST_F(PlayControlTest, TypingDuringReadingStopsAndTheNextPlayReadsTheEditedText) {
  SetReading(0);
  view_.Type(kOther);
  ASSERT_TRUE(Until([](const SharedFields& f) {
    return f.play_caption == window::kCaptionPlay && f.text_box_tag == kTagNone;
  }));
  t_.state.Read([](const SharedFields& f) {
    EXPECT_TRUE(f.clip_queue.empty());
    EXPECT_EQ(f.hold_playback, 1);
    EXPECT_EQ(f.play_button_tag, "");
  });
  EXPECT_EQ(t_.sound.recording.Stops(), 1u);
  view_.ClickPlay();
  ASSERT_TRUE(Until([](const SharedFields& f) { return f.text_box_tag == kTagRequested; }));
  EXPECT_EQ(t_.state.HoldPlayback(), 0);
  EXPECT_EQ(t_.state.TextBoxText(), kOther);
}

TEST_F(PlayControlTest, TheFocusStaysInTextBoxOnlyWhileReading) {
  view_.MoveFocus(FocusTarget::kSpeedBox);
  view_.Pump().DispatchPending();
  EXPECT_EQ(view_.Focused(), FocusTarget::kSpeedBox);

  view_.MoveFocus(FocusTarget::kTextBox);
  SetReading(0);
  view_.MoveFocus(FocusTarget::kSpeedBox);
  view_.Pump().DispatchPending();
  EXPECT_EQ(view_.Focused(), FocusTarget::kTextBox);
  EXPECT_EQ(t_.state.PlayCaption(), window::kCaptionStop);  // SpeedBox took nothing but focus
  EXPECT_EQ(t_.sound.recording.Stops(), 0u);
}

TEST_F(PlayControlTest, AFocusRequestFromAWorkerReachesTextBox) {
  view_.MoveFocus(FocusTarget::kOther);
  view_.Pump().DispatchPending();
  std::thread worker([&] { t_.state.RequestTextBoxFocus(); });
  worker.join();
  ASSERT_TRUE(view_.RunUntil([&] { return view_.Focused() == FocusTarget::kTextBox; }, kBound));
}

}  // namespace
}  // namespace velarn
