// An engine that fails in the middle of a reading: both workers on the headless view, one chunk
// of five meeting a fault. The run must go on past it and end, a later copy must be read at
// once, and the window thread must never hang on it.
#include <gtest/gtest.h>

#include <map>
#include <mutex>
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

enum class Fault {
  kErrorAtOnce,      // AudioGet reports an error with its first answer and no audio
  kErrorAfterAudio,  // some audio, then an error before status 2
  kNoAudio,          // status 2 at once, nothing delivered
  kStalled,          // no answer ever: nothing, never status 2
  kPutRejected,      // TextPut fails; AudioGet then has nothing and never ends
};

// Audio is the text's bytes twice, as in ScriptedEngine; the chunk numbered `faulty` (from 0)
// meets `fault`.
class FaultyEngine final : public SpeechEngine {
 public:
  FaultyEngine(std::size_t faulty, Fault fault) : faulty_(faulty), fault_(fault) {}

  std::int32_t Init(const Text&) override { return 0; }
  Text SessionBegin(const Text&, std::int32_t& error) override {
    error = 0;
    return "s";
  }
  std::int32_t TextPut(const Text&, std::string_view text, const Text&) override {
    std::lock_guard lock(mutex_);
    current_ = puts_++;
    pending_.clear();
    for (char c : text) pending_.append(2, c);
    answers_ = 0;
    return current_ == faulty_ && fault_ == Fault::kPutRejected ? 10107 : 0;
  }
  EngineAudio AudioGet(const Text&) override {
    std::lock_guard lock(mutex_);
    EngineAudio audio;
    ++answers_;
    if (current_ != faulty_) {
      audio.data = std::exchange(pending_, {});
      audio.status = 2;
      return audio;
    }
    switch (fault_) {
      case Fault::kErrorAtOnce: audio.error = 10114; break;
      case Fault::kErrorAfterAudio:
        if (answers_ == 1) {
          audio.data = pending_.substr(0, 8);
          audio.status = 1;
        } else {
          audio.error = 10202;
        }
        break;
      case Fault::kNoAudio: audio.status = 2; break;
      case Fault::kStalled:
      case Fault::kPutRejected: break;
    }
    return audio;
  }
  std::int32_t SessionEnd(const Text&, const Text&) override { return 0; }
  std::int32_t Fini() override { return 0; }

  std::size_t Puts() const {
    std::lock_guard lock(mutex_);
    return puts_;
  }

 private:
  const std::size_t faulty_;
  const Fault fault_;
  mutable std::mutex mutex_;
  std::size_t puts_ = 0;
  std::size_t current_ = 0;
  int answers_ = 0;
  ByteString pending_;
};

struct FaultCase {
  const char* name;
  Fault fault;
  std::size_t faulty_clip_audio;  // bytes of audio in the faulty chunk's clip
  bool slow;  // the chunk takes the engine time-out, longer than the player needs for a clip
};

class EngineFaultTest : public testing::TestWithParam<FaultCase> {
 protected:
  static Text Chunk(int i) { return Text(91, static_cast<char>('a' + i)); }

  test::ReaderRig rig_;
  FaultyEngine engine_{2, GetParam().fault};
  ReaderContext context_{rig_.state, rig_.waits, rig_.sound, engine_, rig_.dialogs, rig_.session};
  HeadlessView view_{context_};
  std::optional<PlaybackWorker> player_;
  std::optional<SynthWorker> synth_;
};

TEST_P(EngineFaultTest, TheRunGoesOnPastTheFaultyChunkAndReadingEnds) {
  Text text;
  for (int i = 0; i < 5; ++i) text += Chunk(i);
  player_.emplace(context_);
  synth_.emplace(context_, SynthOptions{1500ms});  // a short engine time-out for the stalls
  view_.Copy(text);

  const auto played = [&] { return rig_.sound.recording.PlayCount(); };
  // The run sends every chunk and ends; the player ends the reading: no hang anywhere.
  ASSERT_TRUE(view_.RunUntil(
      [&] {
        return engine_.Puts() == 5 && rig_.state.TextBoxTag() == "Y" &&
               rig_.state.PlayCaption() == window::kCaptionPlay &&
               (GetParam().slow || played() == 5);
      },
      60s))
      << "played " << played() << " clips, " << engine_.Puts() << " chunks sent";

  // Every clip played is the right one; a quick fault leaves the reading whole, its chunk a
  // clip of what audio came. A slow one lets the queue run dry first, and the player ends the
  // reading there, as it does whenever the engine falls behind.
  const auto clips = rig_.sound.recording.Played();
  ASSERT_GE(clips.size(), 2u);
  for (std::size_t i = 0; i < clips.size(); ++i) {
    if (i == 2) {
      EXPECT_EQ(clips[i].clip.size(), 44u + GetParam().faulty_clip_audio);
      continue;
    }
    ByteString audio;
    for (char c : Chunk(static_cast<int>(i))) audio.append(2, c);
    EXPECT_EQ(clips[i].clip, MakeClip(audio)) << "clip " << i;
  }
  rig_.state.Read([](const SharedFields& f) { EXPECT_EQ(f.hold_playback, 1); });
  EXPECT_TRUE(rig_.dialogs.Messages().empty());
}

// A copy while the synthesis worker waits on a stalled engine: the new text is read at once
// (the reset is noticed within a step), not after the stall's time-out.
TEST_P(EngineFaultTest, ACopyDuringTheFaultReadsTheNewText) {
  Text text;
  for (int i = 0; i < 5; ++i) text += Chunk(i);
  player_.emplace(context_);
  synth_.emplace(context_, SynthOptions{30s});  // a stall would outlast the test's bound
  view_.Copy(text);
  ASSERT_TRUE(view_.RunUntil([&] { return engine_.Puts() >= 3; }, 30s));
  view_.Copy("new text");
  ASSERT_TRUE(view_.RunUntil(
      [&] {
        const auto clips = rig_.sound.recording.Played();
        return !clips.empty() && clips.back().clip == MakeClip("nneeww  tteexxtt");
      },
      25s));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, EngineFaultTest,
    testing::Values(FaultCase{"ErrorAtOnce", Fault::kErrorAtOnce, 0, false},
                    FaultCase{"ErrorAfterAudio", Fault::kErrorAfterAudio, 8, false},
                    FaultCase{"NoAudio", Fault::kNoAudio, 0, false},
                    FaultCase{"Stalled", Fault::kStalled, 0, true},
                    FaultCase{"PutRejected", Fault::kPutRejected, 0, true}),
    [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

}  // namespace
}  // namespace velarn
