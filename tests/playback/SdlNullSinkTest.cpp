// The SDL sound output heard for real: a PulseAudio server of the test's own, with a null sink
// whose monitor parec records. Proves that clips are heard, overlap, and fall silent at once
// on StopSounds, and that every device stream is closed afterwards.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <sstream>
#include <thread>
#include <vector>

#include "playback/SdlSoundOutput.h"
#include "synth/ClipFormat.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/PrivateSoundServer.h"

extern char** environ;

namespace velarn {
namespace {

using test::ChildProcess;

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A child process, ended by its id when the object goes.

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// Tones whose periods fit a 20 ms window exactly, so that each is measured apart from the
// other. Two clips of one frequency would not do: where they overlap they add up or cancel out
// by the phase their start times happen to give, and the overlap can be silent.
constexpr int kToneA = 400;
constexpr int kToneB = 700;
constexpr std::size_t kWindow = kClipSampleRate / 50;  // 20 ms

// A clip of `seconds` of a tone of `hz` (amplitude 10000), or of silence when `hz` is 0.
ByteString ToneClip(double seconds, int hz) {
  ByteString audio;
  const int samples = static_cast<int>(seconds * kClipSampleRate);
  for (int i = 0; i < samples; ++i) {
    const auto v = static_cast<std::int16_t>(10000 * std::sin(2 * M_PI * hz * i / kClipSampleRate));
    audio.push_back(static_cast<char>(v & 0xFF));
    audio.push_back(static_cast<char>((v >> 8) & 0xFF));
  }
  return MakeClip(audio);
}

// The amplitude of the `hz` component of one window of samples.
double Amplitude(const std::vector<std::int16_t>& samples, std::size_t first, int hz) {
  double re = 0, im = 0;
  for (std::size_t i = 0; i < kWindow; ++i) {
    const double phase = 2 * M_PI * hz * static_cast<double>(i) / kClipSampleRate;
    re += samples[first + i] * std::cos(phase);
    im += samples[first + i] * std::sin(phase);
  }
  return 2 * std::hypot(re, im) / kWindow;
}

class SdlNullSinkTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = test::MakePrivateSoundServerDirectory();
    pulse_ = std::make_unique<ChildProcess>(std::vector<std::string>{
        "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
        "--load=module-native-protocol-unix",
        "--load=module-null-sink sink_name=nullsink rate=16000 channels=1"});
    ASSERT_TRUE(pulse_->Started()) << "pulseaudio is needed (tools/install-deps.sh)";
    ASSERT_TRUE(WaitFor([&] { return fs::exists(dir_ / "run/pulse/native"); }, 15s));
    recorder_ = std::make_unique<ChildProcess>(
        std::vector<std::string>{"parec", "-d", "nullsink.monitor", "--format=s16le",
                                 "--rate=16000", "--channels=1", "--raw"},
        (dir_ / "rec.raw").string());
    ASSERT_TRUE(recorder_->Started());
    output_ = std::make_unique<SdlSoundOutput>();
    ASSERT_TRUE(output_->AudioReady());
    // An idle null sink delays the first sound: warm it up with silence.
    output_->PlayClip(ToneClip(2.0, 0));
    std::this_thread::sleep_for(2500ms);
  }
  void TearDown() override {
    output_.reset();
    recorder_.reset();
    pulse_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::vector<std::int16_t> Recorded() const {
    std::ifstream file(dir_ / "rec.raw", std::ios::binary);
    std::ostringstream bytes;
    bytes << file.rdbuf();
    const std::string raw = bytes.str();
    std::vector<std::int16_t> samples(raw.size() / 2);
    for (std::size_t i = 0; i < samples.size(); ++i) {
      samples[i] = static_cast<std::int16_t>(static_cast<unsigned char>(raw[2 * i]) |
                                             (static_cast<unsigned char>(raw[2 * i + 1]) << 8));
    }
    return samples;
  }
  // Seconds recorded so far in which every tone of `hz` sounds (at a third of its amplitude
  // or more).
  double HeardSeconds(std::initializer_list<int> hz) const {
    const std::vector<std::int16_t> samples = Recorded();
    std::size_t windows = 0;
    for (std::size_t first = 0; first + kWindow <= samples.size(); first += kWindow) {
      bool all = true;
      for (int f : hz) all = all && Amplitude(samples, first, f) > 3300;
      if (all) ++windows;
    }
    return static_cast<double>(windows * kWindow) / kClipSampleRate;
  }

  fs::path dir_;
  std::unique_ptr<ChildProcess> pulse_;
  std::unique_ptr<ChildProcess> recorder_;
  std::unique_ptr<SdlSoundOutput> output_;
};

TEST_F(SdlNullSinkTest, ClipsAreHeardWholeAndOverlapAndTheirStreamsClose) {
  const auto first = std::chrono::steady_clock::now();
  output_->PlayClip(ToneClip(1.0, kToneA));
  std::this_thread::sleep_for(300ms);
  const std::chrono::duration<double> gap = std::chrono::steady_clock::now() - first;
  output_->PlayClip(ToneClip(1.0, kToneB));  // starts at once, beside the first
  EXPECT_GE(output_->OpenStreams(), 2u);
  ASSERT_TRUE(WaitFor([&] { return output_->OpenStreams() == 0; }, 10s));  // finished: closed
  // Closed only once heard to the end: each second of tone whole (the windows at its edges
  // may fall short), and both together for the rest of the first after the second began.
  EXPECT_GE(HeardSeconds({kToneA}), 0.94);
  EXPECT_GE(HeardSeconds({kToneB}), 0.94);
  EXPECT_GE(HeardSeconds({kToneA, kToneB}), 1.0 - gap.count() - 0.15) << gap.count() << " s apart";
  output_->PlayClip("RIFF garbage");  // malformed: nothing, and no stream
  EXPECT_EQ(output_->OpenStreams(), 0u);
}

TEST_F(SdlNullSinkTest, StopSoundsSilencesAtOnce) {
  output_->PlayClip(ToneClip(6.0, kToneA));
  ASSERT_TRUE(WaitFor([&] { return HeardSeconds({kToneA}) > 0.3; }, 10s));
  const auto before = std::chrono::steady_clock::now();
  output_->StopSounds();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);  // returns without closing
  std::this_thread::sleep_for(2s);
  // Of the 6 s tone, little more than what was heard before the stop reached the sink.
  EXPECT_LT(HeardSeconds({kToneA}), 2.5);
  EXPECT_TRUE(WaitFor([&] { return output_->OpenStreams() == 0; }, 10s));
}

}  // namespace
}  // namespace velarn
