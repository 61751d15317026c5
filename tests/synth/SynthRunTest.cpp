// The synthesis worker's run control (pause, reset, engine faults) and its save runs.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "synth/ClipFormat.h"
#include "synth/SynthWorker.h"
#include "tests/support/ReaderRig.h"

namespace velarn {
namespace {

using test::Eventually;
namespace fs = std::filesystem;

ByteString ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

// The audio the scripted engine gives for `text`.
ByteString AudioOf(test::ReaderRig& rig, const Text& text) {
  return rig.engine.script().audio_for(text);
}

class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/velarn-save-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~TempDir() { fs::remove_all(path_); }
  fs::path operator/(const char* name) const { return path_ / name; }

 private:
  fs::path path_;
};

// What the SaveButton click does once confirmed.
void RequestSave(test::ReaderRig& rig) {
  rig.state.Update([](SharedFields& f) {
    f.play_enabled = false;
    f.audio_buffer.clear();
    f.save_button_tag = " ";
    f.text_box_tag = "N";
  });
}

bool SaveEnded(test::ReaderRig& rig) {
  return rig.state.Read([](const SharedFields& f) {
    return f.save_button_tag.empty() && f.play_enabled && f.text_box_tag == "Y";
  });
}

TEST(SynthRunTest, PauseKeepsThePlaceAndResetEndsTheRun) {
  test::ReaderRig rig;
  const Text text = Text(91, 'a') + Text(91, 'b') + Text(91, 'c') + Text(91, 'd');
  rig.SetText(text);
  rig.state.SetPlayButtonTag(" ");  // stopped: the run pauses after its first character
  rig.StartReading();
  SynthWorker worker(rig.context);
  ASSERT_TRUE(Eventually([&] { return rig.engine.AudioGets() == 0 && rig.engine.Begins().size() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(rig.engine.PutCount(), 0u);

  rig.state.SetPlayButtonTag("");  // resumed: goes on with the next character
  ASSERT_TRUE(Eventually([&] { return rig.engine.PutCount() == 4; }));
  EXPECT_EQ(rig.engine.Puts()[0], Text(91, 'a'));
  EXPECT_EQ(rig.engine.Puts()[3], Text(91, 'd'));
  ASSERT_TRUE(Eventually([&] { return rig.state.TextBoxTag() == "Y"; }));

  // A reset during a run: nothing more is sent, and the run ends with "Y".
  rig.state.ResetReading();
  rig.state.SetPlayButtonTag(" ");
  rig.StartReading();
  ASSERT_TRUE(Eventually([&] { return rig.engine.Begins().size() == 2; }));
  rig.state.ResetReading();  // also clears PlayButton.tag, ending the pause
  ASSERT_TRUE(Eventually([&] { return rig.state.TextBoxTag() == "Y"; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(rig.engine.PutCount(), 4u);
  EXPECT_EQ(rig.state.ClipCount(), 0u);  // the reset emptied the queue
}

TEST(SynthRunTest, FetchAudioEndsOnEngineErrorAndOnSilence) {
  {
    test::ReaderRig rig;
    rig.engine.script().audio_error = 7;  // fails at its first answer, never reaching status 2
    rig.engine.script().pieces = 5;
    rig.SetText("abc");
    rig.StartReading();
    SynthesisRun(rig.context);
    EXPECT_EQ(rig.engine.AudioGets(), 1u);
    ASSERT_EQ(rig.state.ClipCount(), 1u);  // what came before the error is kept
    rig.state.Read([](const SharedFields& f) { EXPECT_EQ(f.clip_queue[0].clip.size(), 44u + 2u); });
  }
  {
    test::ReaderRig rig;
    rig.engine.script().never_done = true;
    rig.SetText(Text(91, 'a') + "bc");
    rig.StartReading();
    SynthesisRun(rig.context, SynthOptions{std::chrono::milliseconds(300)});
    EXPECT_EQ(rig.engine.PutCount(), 2u);  // each chunk gave up after the time-out
    EXPECT_EQ(rig.state.ClipCount(), 2u);  // as empty clips
    EXPECT_EQ(rig.state.TextBoxTag(), "Y");
  }
}

TEST(SaveRunTest, WritesOneClipOfTheWholeTextInOrder) {
  TempDir dir;
  test::ReaderRig rig;
  const Text text = Text(91, 'a') + Text(91, 'b') + "tail";
  rig.SetText(text);
  rig.dialogs.Answer((dir / "speech.mp3").string());
  RequestSave(rig);
  SynthWorker worker(rig.context);
  ASSERT_TRUE(Eventually([&] { return SaveEnded(rig); }));

  const ByteString audio = AudioOf(rig, Text(91, 'a')) + AudioOf(rig, Text(91, 'b')) + AudioOf(rig, "tail");
  EXPECT_EQ(ReadFile(dir / "speech.mp3"), MakeClip(audio));
  EXPECT_EQ(rig.state.ClipCount(), 0u);  // nothing queued for the player
  rig.state.Read([](const SharedFields& f) { EXPECT_TRUE(f.audio_buffer.empty()); });
  const auto dialogs = rig.dialogs.FileDialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].kind, FileDialogKind::kSave);
  EXPECT_EQ(dialogs[0].filter, "\xD2\xF4\xC6\xB5\xCE\xC4\xBC\xFE\xA3\xA8*.mp3\xA3\xA9|*.mp3");
  EXPECT_EQ(dialogs[0].default_extension, ".mp3");
  EXPECT_FALSE(dialogs[0].initial_directory.empty());
}

TEST(SaveRunTest, OneChunkEmptyTextAndCancelAllEnd) {
  TempDir dir;
  {  // the whole text is one chunk that the loop never sends: sent at the end and saved
    test::ReaderRig rig;
    rig.SetText("abc");
    rig.dialogs.Answer((dir / "one.mp3").string());
    RequestSave(rig);
    SynthWorker worker(rig.context);
    ASSERT_TRUE(Eventually([&] { return SaveEnded(rig); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(rig.engine.PutCount(), 1u);  // not run again and again
    EXPECT_EQ(ReadFile(dir / "one.mp3"), MakeClip(AudioOf(rig, "abc")));
  }
  {  // an empty text: the request ends, nothing is sent, no dialog
    test::ReaderRig rig;
    rig.SetText("");
    RequestSave(rig);
    SynthWorker worker(rig.context);
    ASSERT_TRUE(Eventually([&] { return SaveEnded(rig); }));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(rig.engine.PutCount(), 0u);
    EXPECT_TRUE(rig.dialogs.FileDialogs().empty());
  }
  {  // a cancelled dialog writes nothing, also not into the file chosen before
    const fs::path earlier = dir / "earlier.txt";
    std::ofstream(earlier) << "keep me";
    test::ReaderRig rig;
    rig.SetText("abc");
    rig.dialogs.Answer(std::nullopt);
    RequestSave(rig);
    SynthWorker worker(rig.context);
    ASSERT_TRUE(Eventually([&] { return SaveEnded(rig); }));
    EXPECT_EQ(ReadFile(earlier), "keep me");
    rig.state.Read([](const SharedFields& f) { EXPECT_TRUE(f.audio_buffer.empty()); });
  }
}

TEST(SaveRunTest, SaveDuringReadingStartsAFreshRunOverTheWholeText) {
  TempDir dir;
  for (const bool paused : {true, false}) {
    SCOPED_TRACE(paused ? "paused" : "sending");
    test::ReaderRig rig;
    Text text;
    for (char c = 'a'; c < 'a' + 8; ++c) text += Text(91, c);
    rig.SetText(text);
    // The reading run is held: paused by a stop after its first character, or inside the
    // engine call for its second chunk.
    std::atomic<bool> release{false};
    rig.engine.script().audio_for = [&, base = rig.engine.script().audio_for](const Text& t) {
      if (!paused && t[0] == 'b') {
        while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      return base(t);
    };
    if (paused) rig.state.SetPlayButtonTag(" ");
    rig.StartReading();
    SynthWorker worker(rig.context);
    ASSERT_TRUE(Eventually([&] {
      return paused ? rig.engine.Begins().size() == 1 : rig.engine.PutCount() == 2;
    }));
    rig.dialogs.Answer((dir / "whole.mp3").string());
    RequestSave(rig);
    release = true;
    ASSERT_TRUE(Eventually([&] { return SaveEnded(rig); }));

    ByteString audio;
    for (char c = 'a'; c < 'a' + 8; ++c) audio += AudioOf(rig, Text(91, c));
    EXPECT_EQ(ReadFile(dir / "whole.mp3"), MakeClip(audio));
  }
}

}  // namespace
}  // namespace velarn
