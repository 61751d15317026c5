// The sound server goes away in the middle of a reading: the real SDL output, a PulseAudio of
// the test's own killed while a clip sounds. The player must go on with its timing (nothing it
// calls may block on the lost server), and once a server is back a later clip is heard again.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>
#include <vector>

#include "playback/PlaybackWorker.h"
#include "playback/SdlSoundOutput.h"
#include "resources/WindowDefinition.h"
#include "synth/ClipFormat.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateSoundServer.h"
#include "synth/SynthWorker.h"
#include "tests/support/ReaderRig.h"
#include "ui/HeadlessView.h"

extern char** environ;

namespace velarn {
namespace {

using test::ChildProcess;

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// A child process, killed by its id when the object goes or on Kill().

// The real output, with the time of every clip the player started.
class TimedSound final : public SoundOutput {
 public:
  void PlayClip(std::string_view clip) override {
    {
      std::lock_guard lock(mutex_);
      starts_.push_back(Clock::now());
    }
    sdl.PlayClip(clip);
  }
  void StopSounds() override { sdl.StopSounds(); }
  std::vector<Clock::time_point> Starts() const {
    std::lock_guard lock(mutex_);
    return starts_;
  }
  SdlSoundOutput sdl;

 private:
  mutable std::mutex mutex_;
  std::vector<Clock::time_point> starts_;
};

// One second of a 440 Hz tone for every chunk.
ByteString Tone(const Text&) {
  ByteString audio;
  for (std::uint32_t i = 0; i < kClipSampleRate; ++i) {
    const auto v = static_cast<std::int16_t>(10000 * std::sin(2 * M_PI * 440 * i / kClipSampleRate));
    audio.push_back(static_cast<char>(v & 0xFF));
    audio.push_back(static_cast<char>((v >> 8) & 0xFF));
  }
  return audio;
}

class SoundServerLossTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakePrivateSoundServerDirectory();
    StartServer();
  }
  void TearDown() override {
    synth_.reset();
    player_.reset();
    recorder_.reset();
    pulse_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  void StartServer() {
    fs::remove(dir_ / "run/pulse/native");
    pulse_.emplace(std::vector<std::string>{
        "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
        "--load=module-native-protocol-unix",
        "--load=module-null-sink sink_name=nullsink rate=16000 channels=1"});
    ASSERT_TRUE(pulse_->Started()) << "pulseaudio is needed (tools/install-deps.sh)";
    ASSERT_TRUE(test::Eventually([&] { return fs::exists(dir_ / "run/pulse/native"); }, 15s));
    recorder_.emplace(std::vector<std::string>{"parec", "-d", "nullsink.monitor", "--format=s16le",
                                               "--rate=16000", "--channels=1", "--raw"},
                      (dir_ / "rec.raw").string());
    ASSERT_TRUE(recorder_->Started());
  }
  void KillServer() {
    recorder_.reset();
    pulse_->Kill(SIGKILL);
  }
  // Seconds of loud samples recorded so far, over every server's recording.
  double LoudSeconds() const {
    std::ifstream file(dir_ / "rec.raw", std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const std::string raw = bytes.str();
    std::size_t loud = 0;
    for (std::size_t i = 0; i + 1 < raw.size(); i += 2) {
      const auto v = static_cast<std::int16_t>(static_cast<unsigned char>(raw[i]) |
                                               (static_cast<unsigned char>(raw[i + 1]) << 8));
      if (std::abs(v) > 3000) ++loud;
    }
    return static_cast<double>(loud) / kClipSampleRate;
  }
  static Text Chunks(int count, char first) {
    Text text;
    for (int i = 0; i < count; ++i) text += Text(91, static_cast<char>(first + i));
    return text;
  }

  fs::path dir_;
  std::optional<ChildProcess> pulse_;
  std::optional<ChildProcess> recorder_;
  test::ReaderRig rig_;
  TimedSound sound_;
  ReaderContext context_{rig_.state, rig_.waits, sound_, rig_.engine, rig_.dialogs, rig_.session};
  HeadlessView view_{context_};
  std::optional<PlaybackWorker> player_;
  std::optional<SynthWorker> synth_;
};

TEST_F(SoundServerLossTest, ReadingGoesOnSilentlyAndSoundComesBackWithTheServer) {
  ASSERT_TRUE(sound_.sdl.AudioReady());
  rig_.engine.script().audio_for = Tone;
  player_.emplace(context_);
  synth_.emplace(context_);

  // Two seconds of silence first: an idle null sink delays its first sound.
  sound_.sdl.PlayClip(MakeClip(ByteString(4 * kClipSampleRate, '\0')));
  std::this_thread::sleep_for(2500ms);
  view_.Copy(Chunks(6, 'a'));
  ASSERT_TRUE(view_.RunUntil([&] { return LoudSeconds() > 0.3; }, 20s)) << "nothing heard";
  KillServer();
  const std::size_t at_kill = sound_.Starts().size();

  // The rest of the text is read at its pace, one clip every 1.5 s, without a sound.
  ASSERT_TRUE(view_.RunUntil(
      [&] { return sound_.Starts().size() == 6 && rig_.state.PlayCaption() == window::kCaptionPlay; },
      40s))
      << sound_.Starts().size() << " clips started";
  const auto starts = sound_.Starts();
  for (std::size_t i = std::max<std::size_t>(at_kill, 1); i < starts.size(); ++i) {
    const auto gap = starts[i] - starts[i - 1];
    EXPECT_GE(gap, 1400ms) << "clip " << i << " overlapped the one before";
    EXPECT_LT(gap, 6s) << "clip " << i << " waited on the lost server";
  }

  // A server again (the same socket path): the next copy is heard.
  StartServer();
  const double heard_before = LoudSeconds();
  sound_.sdl.PlayClip(MakeClip(ByteString(4 * kClipSampleRate, '\0')));
  std::this_thread::sleep_for(2500ms);
  view_.Copy(Chunks(3, 'p'));
  EXPECT_TRUE(view_.RunUntil([&] { return LoudSeconds() > heard_before + 0.3; }, 20s))
      << "no sound after the server came back";
  ASSERT_TRUE(view_.RunUntil([&] { return rig_.state.PlayCaption() == window::kCaptionPlay; }, 30s));
  EXPECT_TRUE(test::Eventually([&] { return sound_.sdl.OpenStreams() == 0; }, 10s));
}

}  // namespace
}  // namespace velarn
