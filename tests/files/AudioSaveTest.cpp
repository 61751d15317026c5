// The save's audio store and the file it writes: spilling to disk, the header, and every way
// the write can fail without leaving a half-written file under the chosen name.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "files/AudioSave.h"
#include "resources/WindowDefinition.h"
#include "synth/ClipFormat.h"
#include "synth/SynthWorker.h"
#include "tests/support/ReaderRig.h"

namespace velarn {
namespace {

namespace fs = std::filesystem;

class ScratchDir {
 public:
  ScratchDir() {
    char pattern[] = "/tmp/velarn-audio-save-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchDir() { fs::remove_all(path_); }
  std::string operator/(const char* name) const { return (path_ / name).string(); }
  std::string str() const { return path_.string(); }
  std::size_t Entries() const {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(path_), fs::directory_iterator()));
  }

 private:
  fs::path path_;
};

ByteString ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << file.rdbuf();
  return bytes.str();
}

TEST(SaveAudioTest, SpillsPastTheThresholdAndKeepsEveryByteInOrder) {
  ScratchDir spill;
  SaveAudio audio(spill.str(), 100);
  ByteString expected;
  for (int i = 0; i < 50; ++i) {
    const ByteString piece(7 + i, static_cast<char>('a' + i % 26));
    ASSERT_TRUE(audio.Append(piece));
    expected += piece;
  }
  EXPECT_TRUE(audio.Spilled());
  EXPECT_EQ(spill.Entries(), 0u);  // the spill file has no name: nothing to clean up
  EXPECT_EQ(audio.Size(), expected.size());
  ScratchDir out;
  ASSERT_TRUE(WriteClipFile(out / "speech.mp3", audio));
  EXPECT_EQ(ReadFile(out / "speech.mp3"), MakeClip(expected));
  EXPECT_EQ(out.Entries(), 1u);  // no temporary file left beside it
}

TEST(SaveAudioTest, WithoutADirectoryEverythingStaysInMemory) {
  SaveAudio audio("", 10);
  ASSERT_TRUE(audio.Append(ByteString(100, 'x')));
  EXPECT_FALSE(audio.Spilled());
  EXPECT_EQ(audio.Size(), 100u);
}

TEST(WriteClipFileTest, FailuresLeaveNothingUnderTheChosenName) {
  ScratchDir out;
  SaveAudio audio("");
  audio.Append(ByteString(10000, 'x'));
  // A folder that does not exist.
  EXPECT_FALSE(WriteClipFile(out / "missing/speech.mp3", audio));
  // Too long for one header.
  SaveAudio too_long("", kSaveSpillThreshold, 100);
  too_long.Append(ByteString(101, 'x'));
  EXPECT_FALSE(WriteClipFile(out / "long.mp3", too_long));
  EXPECT_EQ(out.Entries(), 0u);

  // The disk fills up during the write: an earlier file of that name stays as it was.
  { std::ofstream(out / "full.mp3") << "earlier"; }
  struct rlimit old_limit {};
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit small = old_limit;
  small.rlim_cur = 4096;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  setrlimit(RLIMIT_FSIZE, &small);
  const bool written = WriteClipFile(out / "full.mp3", audio);
  setrlimit(RLIMIT_FSIZE, &old_limit);
  std::signal(SIGXFSZ, old_handler);
  EXPECT_FALSE(written);
  EXPECT_EQ(ReadFile(out / "full.mp3"), "earlier");
  EXPECT_EQ(out.Entries(), 1u);
}

class SaveRunReportTest : public testing::Test {
 protected:
  // A whole save run on the worker, answered with `path`.
  void Save(const Text& text, const std::string& path) {
    rig.SetText(text);
    rig.dialogs.Answer(path);
    rig.state.SetListener([&] {
      const Text caption = rig.state.Read([](const SharedFields& f) { return f.save_caption; });
      std::lock_guard lock(mutex);
      if (captions.empty() || captions.back() != caption) captions.push_back(caption);
    });
    rig.state.Update([](SharedFields& f) {
      f.play_enabled = false;
      f.save_button_tag = " ";
      f.text_box_tag = "N";
    });
    SynthWorker worker(rig.context);
    ASSERT_TRUE(test::Eventually([&] {
      return rig.state.Read([](const SharedFields& f) {
        return f.save_button_tag.empty() && f.play_enabled && f.text_box_tag == "Y";
      });
    }));
  }

  test::ReaderRig rig;
  std::mutex mutex;
  std::vector<Text> captions;
};

TEST_F(SaveRunReportTest, SaveButtonShowsTheProgressThenItsCaption) {
  ScratchDir out;
  Text text;
  for (int i = 0; i < 20; ++i) text += Text(91, static_cast<char>('a' + i));
  Save(text, out / "speech.mp3");
  std::lock_guard lock(mutex);
  ASSERT_GE(captions.size(), 3u);
  const Text saving = Text(window::kSavingCaption) + " ";
  EXPECT_NE(std::find(captions.begin(), captions.end(), saving + "5%"), captions.end());
  EXPECT_NE(std::find(captions.begin(), captions.end(), saving + "50%"), captions.end());
  EXPECT_EQ(captions.back(), window::kSaveCaption);
  EXPECT_TRUE(rig.dialogs.Messages().empty());
  ByteString audio;
  for (int i = 0; i < 20; ++i) audio += rig.engine.script().audio_for(Text(91, static_cast<char>('a' + i)));
  EXPECT_EQ(ReadFile(out / "speech.mp3"), MakeClip(audio));
}

TEST_F(SaveRunReportTest, AFailedWriteIsReported) {
  ScratchDir out;
  Save(Text(200, 'a'), out / "no/such/folder/speech.mp3");
  const std::vector<Text> messages = rig.dialogs.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].substr(0, kAudioWriteFailedMessage.size()), kAudioWriteFailedMessage);
  EXPECT_EQ(out.Entries(), 0u);
  EXPECT_EQ(rig.state.Read([](const SharedFields& f) { return f.save_caption; }), window::kSaveCaption);
}

}  // namespace
}  // namespace velarn
