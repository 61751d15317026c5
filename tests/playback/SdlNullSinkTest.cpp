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
#include <sstream>
#include <thread>
#include <vector>

#include "playback/SdlSoundOutput.h"
#include "synth/ClipFormat.h"

extern char** environ;

namespace velarn {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// A child process, ended by its id when the object goes.
class Child {
 public:
  Child(std::vector<std::string> argv, const std::string& stdout_path = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!stdout_path.empty()) {
      posix_spawn_file_actions_addopen(&actions, 1, stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    }
    std::vector<char*> args;
    for (std::string& arg : argv) args.push_back(arg.data());
    args.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Child() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;
  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

// A clip of `seconds` of a 440 Hz tone (amplitude 10000), or of silence.
ByteString ToneClip(double seconds, bool silent = false) {
  ByteString audio;
  const int samples = static_cast<int>(seconds * kClipSampleRate);
  for (int i = 0; i < samples; ++i) {
    const auto v = silent ? 0 : static_cast<std::int16_t>(10000 * std::sin(2 * M_PI * 440 * i / kClipSampleRate));
    audio.push_back(static_cast<char>(v & 0xFF));
    audio.push_back(static_cast<char>((v >> 8) & 0xFF));
  }
  return MakeClip(audio);
}

class SdlNullSinkTest : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/velarn-pulse-XXXXXX";
    dir_ = mkdtemp(pattern);
    fs::create_directories(dir_ / "home");
    fs::create_directories(dir_ / "run");
    chmod((dir_ / "run").c_str(), 0700);
    setenv("HOME", (dir_ / "home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ / "run").c_str(), 1);
    setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    pulse_ = std::make_unique<Child>(std::vector<std::string>{
        "pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disable-shm=yes",
        "--load=module-native-protocol-unix",
        "--load=module-null-sink sink_name=nullsink rate=16000 channels=1"});
    ASSERT_TRUE(pulse_->Started()) << "pulseaudio is needed (tools/install-deps.sh)";
    ASSERT_TRUE(WaitFor([&] { return fs::exists(dir_ / "run/pulse/native"); }, 15s));
    recorder_ = std::make_unique<Child>(
        std::vector<std::string>{"parec", "-d", "nullsink.monitor", "--format=s16le",
                                 "--rate=16000", "--channels=1", "--raw"},
        (dir_ / "rec.raw").string());
    ASSERT_TRUE(recorder_->Started());
    output_ = std::make_unique<SdlSoundOutput>();
    ASSERT_TRUE(output_->AudioReady());
    // An idle null sink delays the first sound: warm it up with silence.
    output_->PlayClip(ToneClip(2.0, true));
    std::this_thread::sleep_for(2500ms);
  }
  void TearDown() override {
    output_.reset();
    recorder_.reset();
    pulse_.reset();
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  // Seconds of loud samples recorded so far.
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

  fs::path dir_;
  std::unique_ptr<Child> pulse_;
  std::unique_ptr<Child> recorder_;
  std::unique_ptr<SdlSoundOutput> output_;
};

TEST_F(SdlNullSinkTest, ClipsAreHeardAndOverlapAndTheirStreamsClose) {
  output_->PlayClip(ToneClip(1.0));
  std::this_thread::sleep_for(300ms);
  output_->PlayClip(ToneClip(1.0));  // starts at once, beside the first
  EXPECT_GE(output_->OpenStreams(), 2u);
  ASSERT_TRUE(WaitFor([&] { return LoudSeconds() > 0.3; }, 10s))
      << LoudSeconds() << " s heard, " << fs::file_size(dir_ / "rec.raw") << " bytes recorded";
  ASSERT_TRUE(WaitFor([&] { return output_->OpenStreams() == 0; }, 10s));  // finished: closed
  output_->PlayClip("RIFF garbage");  // malformed: nothing, and no stream
  EXPECT_EQ(output_->OpenStreams(), 0u);
}

TEST_F(SdlNullSinkTest, StopSoundsSilencesAtOnce) {
  output_->PlayClip(ToneClip(6.0));
  ASSERT_TRUE(WaitFor([&] { return LoudSeconds() > 0.3; }, 10s));
  const auto before = std::chrono::steady_clock::now();
  output_->StopSounds();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 1s);  // returns without closing
  std::this_thread::sleep_for(2s);
  // Of the 6 s tone, little more than what was heard before the stop reached the sink.
  EXPECT_LT(LoudSeconds(), 2.5);
  EXPECT_TRUE(WaitFor([&] { return output_->OpenStreams() == 0; }, 10s));
}

}  // namespace
}  // namespace velarn
