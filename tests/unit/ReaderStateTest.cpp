#include "playback/ReaderState.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "resources/WindowDefinition.h"

namespace velarn {
namespace {

TEST(ReaderStateTest, StartsWithTheWindowDefinition) {
  ReaderState state;
  state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.text_box_text, window::kTextBoxInitial);
    EXPECT_EQ(f.play_caption, window::kCaptionPlay);
    EXPECT_EQ(f.save_caption, window::kSaveCaption);
    EXPECT_EQ(f.speed_box_text, "99");
    ASSERT_EQ(f.voice_rows.size(), 4u);
    EXPECT_EQ(f.voice_rows[2], window::kVoiceRows[2]);
    EXPECT_EQ(f.voice_index, 0);
    EXPECT_EQ(f.text_box_tag, "");
    EXPECT_EQ(f.play_button_tag, "");
    EXPECT_EQ(f.save_button_tag, "");
    EXPECT_TRUE(f.play_enabled);
    EXPECT_TRUE(f.save_enabled);
    EXPECT_TRUE(f.clip_queue.empty());
    EXPECT_EQ(f.hold_playback, 0);
    EXPECT_EQ(f.clip_playing, 0);
    EXPECT_TRUE(f.current_clip.empty());
    EXPECT_TRUE(f.audio_buffer.empty());
  });
}

TEST(ReaderStateTest, TakeHeadAndResetKeepTheCurrentClip) {
  ReaderState state;
  EXPECT_FALSE(state.TakeHead());  // nothing queued: nothing changes
  state.AppendClip("c1", "t1");
  state.AppendClip("c2", "t2");
  ASSERT_TRUE(state.TakeHead());
  state.SetTextBoxTag(kTagRequested);
  state.SetPlayButtonTag(kTagSet);
  state.SetHoldPlayback(1);
  state.ResetReading();
  state.Read([](const SharedFields& f) {
    EXPECT_EQ(f.current_clip, "c1");
    EXPECT_EQ(f.current_clip_text, "t1");
    EXPECT_TRUE(f.clip_queue.empty());
    EXPECT_EQ(f.text_box_tag, "");
    EXPECT_EQ(f.play_button_tag, "");
    EXPECT_EQ(f.hold_playback, 1);  // left alone
  });
  state.ResetReading();  // on empty queues
  EXPECT_EQ(state.ClipCount(), 0u);
}

TEST(ReaderStateTest, ResetGenerationEndsARunEvenWhenARequestFollows) {
  ReaderState state;
  state.SetTextBoxTag(kTagRequested);
  const std::uint64_t run = state.ResetGeneration();
  EXPECT_FALSE(state.RunAbandoned(run));
  // A clipboard capture: reset, then at once a new request.
  state.ResetReading();
  state.SetTextBoxTag(kTagRequested);
  EXPECT_TRUE(state.RunAbandoned(run));
  state.FinishRun(run);  // the old run's end must not overwrite the new request
  EXPECT_EQ(state.TextBoxTag(), "N");
  const std::uint64_t next = state.ResetGeneration();
  EXPECT_FALSE(state.RunAbandoned(next));
  state.FinishRun(next);
  EXPECT_EQ(state.TextBoxTag(), "Y");
}

TEST(ReaderStateTest, AbandonedRunWithoutNewRequestStillEndsWithY) {
  ReaderState state;
  state.SetTextBoxTag(kTagRequested);
  const std::uint64_t run = state.ResetGeneration();
  state.ResetReading();
  EXPECT_TRUE(state.RunAbandoned(run));
  state.FinishRun(run);
  EXPECT_EQ(state.TextBoxTag(), "Y");
  state.SetTextBoxTag("x");  // any other marker text counts as a reset
  EXPECT_TRUE(state.RunAbandoned(state.ResetGeneration()));
}

// Three threads at once: the synthesis worker appends, the player takes, the window thread
// resets. Every clip taken must come with its own text, and the queue's pairs never split.
TEST(ReaderStateTest, AppendTakeAndResetFromThreeThreads) {
  ReaderState state;
  std::atomic<bool> stop{false};
  std::atomic<int> taken{0};
  std::atomic<int> mismatched{0};

  std::thread synth([&] {
    for (int i = 0; i < 20000; ++i) state.AppendClip("clip" + std::to_string(i), "text" + std::to_string(i));
    stop = true;
  });
  std::thread player([&] {
    while (!stop || state.ClipCount() > 0) {
      if (state.TakeHead()) {
        ++taken;
        state.Read([&](const SharedFields& f) {
          if (f.current_clip.substr(4) != f.current_clip_text.substr(4)) ++mismatched;
        });
      }
    }
  });
  std::thread window([&] {
    while (!stop) {
      state.ResetReading();
      state.Read([&](const SharedFields& f) {
        for (const QueuedClip& q : f.clip_queue) {
          if (q.clip.substr(4) != q.text.substr(4)) ++mismatched;
        }
      });
      std::this_thread::yield();
    }
  });
  synth.join();
  player.join();
  window.join();
  EXPECT_EQ(mismatched, 0);
  EXPECT_GT(taken, 0);
  EXPECT_EQ(state.ClipCount(), 0u);
}

TEST(ReaderStateTest, WaitForChangeWakesOnAnUpdateFromAnotherThread) {
  ReaderState state;
  const std::uint64_t version = state.Version();
  std::thread writer([&] { state.SetHoldPlayback(1); });
  EXPECT_TRUE(state.WaitForChange(version, std::chrono::steady_clock::now() + std::chrono::seconds(10)));
  writer.join();
  const std::uint64_t now = state.Version();
  EXPECT_FALSE(state.WaitForChange(now, std::chrono::steady_clock::now() + std::chrono::milliseconds(20)));
}

TEST(ReaderStateTest, ListenerIsToldOfEveryChange) {
  ReaderState state;
  int calls = 0;
  state.SetListener([&] { ++calls; });
  state.SetTextBoxText("abc");
  state.AppendClip("c", "t");
  state.ResetReading();
  EXPECT_EQ(calls, 3);
  EXPECT_EQ(state.ViewSnapshot().text_box_serial, 1u);
}

}  // namespace
}  // namespace velarn
