// Figures of the speech engine component (msc.dll + speex.dll, loaded from a scratch copy
// with dlopen as the program does):
//   - 1,000 Chinese characters at speed 50: real-time factor, and the ratio of its time to
//     espeak-ng's own synthesis of the same text (run in a child process: espeak-ng is one
//     instance per process);
//   - QTTSTextPut of a 91-byte chunk to its first audio piece;
//   - a chunk served from the cache, QTTSTextPut to the last piece.
// Each figure is the median of several runs; the espeak-ng runs alternate with the engine's,
// and the ratio is the median of the pairs. Usage: engine_bench [runs]
#include <dlfcn.h>
#include <espeak-ng/speak_lib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "speechengine/msc.h"
#include "text/Text.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

double Millis(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0.0 : values[values.size() / 2];
}

// 1,000 Han characters with a little punctuation, as UTF-8.
std::string ThousandCharacters() {
  const std::u8string phrase =
      u8"今天天气很好我们一起去公园散步吧这是一个测试句子用来检查语音合成的速度";
  std::string base(phrase.begin(), phrase.end());
  std::string text;
  int characters = 0;
  for (std::size_t i = 0; characters < 1000; i = (i + 3) % base.size(), ++characters) {
    text += base.substr(i, 3);
    if (characters % 17 == 16) text += "\xEF\xBC\x8C";  // ，
  }
  return text;
}

// A 91-byte GBK chunk, different for each `n`, so that nothing comes from the cache.
std::string Chunk(int n) {
  std::string text = velarn::Utf8ToGbk(
      "今天天气很好，我们一起去公园散步吧。这是一个测试句子，用来检查语音合成的速度和质量好");
  text += std::to_string(1000 + n).substr(1);  // 3 digits: 91 bytes in all
  return text;
}

int SamplesCallback(short*, int, espeak_EVENT*) { return 0; }

// espeak-ng alone on the same text with the same voice, in a child process started before the
// engine is loaded (espeak-ng is one instance per process). Each Run() is one synthesis, so
// that its runs and the engine's alternate and see the same load on the machine.
class EspeakAlone {
 public:
  explicit EspeakAlone(const std::string& utf8) {
    int requests[2];
    int replies[2];
    if (::pipe(requests) != 0 || ::pipe(replies) != 0) std::exit(1);
    child_ = ::fork();
    if (child_ == 0) {
      ::close(requests[1]);
      ::close(replies[0]);
      espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 100, nullptr, 0);
      espeak_SetSynthCallback(SamplesCallback);
      espeak_SetVoiceByName("cmn-latn-pinyin+f2");
      espeak_SetParameter(espeakRATE, 175, 0);
      espeak_SetParameter(espeakPITCH, 60, 0);
      char request = 0;
      while (::read(requests[0], &request, 1) == 1) {
        const auto start = Clock::now();
        espeak_Synth(utf8.c_str(), utf8.size() + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr,
                     nullptr);
        const double ms = Millis(Clock::now() - start);
        if (::write(replies[1], &ms, sizeof ms) != sizeof ms) break;
      }
      ::_exit(0);
    }
    ::close(requests[0]);
    ::close(replies[1]);
    request_ = requests[1];
    reply_ = replies[0];
  }
  ~EspeakAlone() {
    ::close(request_);  // the child's read ends, and so does the child
    ::close(reply_);
    int status = 0;
    ::waitpid(child_, &status, 0);
  }
  EspeakAlone(const EspeakAlone&) = delete;
  EspeakAlone& operator=(const EspeakAlone&) = delete;

  double Run() const {
    double ms = -1;
    const char request = 1;
    if (::write(request_, &request, 1) != 1 || ::read(reply_, &ms, sizeof ms) != sizeof ms)
      return -1;
    return ms;
  }

 private:
  pid_t child_ = -1;
  int request_ = -1;
  int reply_ = -1;
};

struct Engine {
  void* handle = nullptr;
  QTTSInitFn Init = nullptr;
  QTTSSessionBeginFn SessionBegin = nullptr;
  QTTSTextPutFn TextPut = nullptr;
  QTTSAudioGetFn AudioGet = nullptr;
  QTTSSessionEndFn SessionEnd = nullptr;
  QTTSFiniFn Fini = nullptr;

  explicit Engine(const fs::path& file) {
    handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
      std::fprintf(stderr, "dlopen %s: %s\n", file.c_str(), ::dlerror());
      std::exit(1);
    }
    Bind("QTTSInit", Init);
    Bind("QTTSSessionBegin", SessionBegin);
    Bind("QTTSTextPut", TextPut);
    Bind("QTTSAudioGet", AudioGet);
    Bind("QTTSSessionEnd", SessionEnd);
    Bind("QTTSFini", Fini);
  }
  ~Engine() { ::dlclose(handle); }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  template <typename Fn>
  void Bind(const char* name, Fn& out) {
    out = reinterpret_cast<Fn>(::dlsym(handle, name));
    if (out == nullptr) {
      std::fprintf(stderr, "msc.dll lacks %s\n", name);
      std::exit(1);
    }
  }

  // Puts the text; returns the time to the first piece and to the last, and the audio bytes.
  struct Timing {
    double first_ms = 0;
    double last_ms = 0;
    std::size_t bytes = 0;
  };
  Timing Speak(const char* session, const std::string& text) const {
    Timing timing;
    const auto start = Clock::now();
    TextPut(session, text.data(), static_cast<unsigned>(text.size()), "");
    int status = 0;
    while (status != MSC_TTS_STATUS_COMPLETE) {
      unsigned length = 0;
      int error = 0;
      const void* data = AudioGet(session, &length, &status, &error);
      if (error != 0) {
        std::fprintf(stderr, "synthesis error %d\n", error);
        std::exit(1);
      }
      if (data != nullptr && length > 0 && timing.bytes == 0)
        timing.first_ms = Millis(Clock::now() - start);
      timing.bytes += length;
    }
    timing.last_ms = Millis(Clock::now() - start);
    return timing;
  }
};

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const std::string thousand = ThousandCharacters();
  const EspeakAlone espeak_alone(thousand);

  std::string pattern = (fs::temp_directory_path() / "velarn-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return 1;
  const fs::path scratch = pattern;
  for (const char* name : {"msc.dll", "speex.dll"}) {
    fs::copy_file(fs::path(VELARN_ENGINE_BUILD_DIR) / name, scratch / name);
  }
  fs::current_path(scratch);
  const Engine engine(scratch / "msc.dll");
  const char* config =
      "server_url=tts.example.net:80/index.htm,appid=a3f1c7e2,timeout=10000,"
      "coding_libs=speex.dll,max_text_size=2048";
  if (engine.Init(config) != 0) {
    std::fprintf(stderr, "QTTSInit failed\n");
    return 1;
  }
  // Uncached figures first: without its directory the cache is skipped.
  fs::remove_all(scratch / MSC_ENGINE_CACHE_DIR);
  int error = 0;
  const std::string gbk_params =
      "aue=raw,auf=audio/"
      "L16;rate=16000,bgs=0,ent=intp65,pitch=70,speed=50,tte=GB2312,vcn=x_yiping,volume=50";
  const std::string session = engine.SessionBegin(gbk_params.c_str(), &error);
  const std::string gbk_thousand = velarn::Utf8ToGbk(thousand);

  std::vector<double> totals;
  std::vector<double> alone;
  std::vector<double> ratios;
  double audio_seconds = 0;
  for (int i = 0; i < runs; ++i) {
    alone.push_back(espeak_alone.Run());
    const auto timing = engine.Speak(session.c_str(), gbk_thousand);
    totals.push_back(timing.last_ms);
    ratios.push_back(totals.back() / alone.back());
    audio_seconds = static_cast<double>(timing.bytes) / 32000.0;
  }
  const double engine_ms = Median(totals);
  const double espeak_ms = Median(alone);

  std::vector<double> firsts;
  for (int i = 0; i < std::max(runs * 4, 20); ++i)
    firsts.push_back(engine.Speak(session.c_str(), Chunk(i)).first_ms);

  // Cached: a fresh start with its cache directory, the chunk put once to fill it.
  engine.SessionEnd(session.c_str(), "");
  engine.Fini();
  if (engine.Init(config) != 0) return 1;
  const std::string cached_session = engine.SessionBegin(gbk_params.c_str(), &error);
  engine.Speak(cached_session.c_str(), Chunk(0));
  std::vector<double> cached;
  double cached_seconds = 0;
  for (int i = 0; i < std::max(runs * 10, 50); ++i) {
    const auto timing = engine.Speak(cached_session.c_str(), Chunk(0));
    cached.push_back(timing.last_ms);
    cached_seconds = static_cast<double>(timing.bytes) / 32000.0;
  }
  engine.SessionEnd(cached_session.c_str(), "");
  engine.Fini();
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(scratch);

  std::printf("engine benchmark (medians of %d+ runs)\n", runs);
  std::printf(
      "  1000 characters, speed 50: %.1f s of audio in %.1f ms: %.0f x faster than real time (goal "
      ">= 100)\n",
      audio_seconds, engine_ms, audio_seconds * 1000.0 / engine_ms);
  std::printf(
      "  espeak-ng alone on the same text: %.1f ms; engine / espeak-ng = %.2f (goal <= 1.25)\n",
      espeak_ms, Median(ratios));
  std::printf("  91-byte chunk, QTTSTextPut to first audio piece: %.2f ms (goal < 30)\n",
              Median(firsts));
  std::printf(
      "  cached 91-byte chunk (%.1f s of audio), QTTSTextPut to last piece: %.3f ms (goal < 1)\n",
      cached_seconds, Median(cached));
  return 0;
}
