#include "speechengine/tests/EngineTestSupport.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "text/Text.h"

namespace velarn::speechengine::testing {

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (fs::temp_directory_path() / "velarn-engine-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code error;
  fs::remove_all(path_, error);
}

void CopyBuiltLibraries(const fs::path& directory) {
  for (const char* name : {"msc.dll", "speex.dll"}) {
    fs::copy_file(fs::path(VELARN_ENGINE_BUILD_DIR) / name, directory / name,
                  fs::copy_options::overwrite_existing);
  }
}

EngineLibrary::EngineLibrary(const fs::path& file) {
  handle_ = ::dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    ADD_FAILURE() << "dlopen " << file << ": " << ::dlerror();
    return;
  }
  auto bind = [&](const char* name, auto& out) {
    out = reinterpret_cast<std::remove_reference_t<decltype(out)>>(::dlsym(handle_, name));
    if (out == nullptr) ADD_FAILURE() << "msc.dll lacks " << name;
  };
  bind("QTTSInit", Init);
  bind("QTTSSessionBegin", SessionBegin);
  bind("QTTSTextPut", TextPut);
  bind("QTTSAudioGet", AudioGet);
  bind("QTTSSessionEnd", SessionEnd);
  bind("QTTSFini", Fini);
}

EngineLibrary::~EngineLibrary() { Unload(); }

void EngineLibrary::Unload() {
  if (handle_ != nullptr) ::dlclose(handle_);
  handle_ = nullptr;
}

std::string Params(const std::string& voice, const std::string& speed, const std::string& extra) {
  return "aue=raw,auf=audio/L16;rate=16000,bgs=0,ent=intp65,pitch=70,speed=" + speed +
         ",tte=GB2312,vcn=" + voice + ",volume=50" + extra;
}

Speech Synthesize(const EngineLibrary& engine, const char* session, const std::string& text) {
  const int put = engine.TextPut(session, text.data(), static_cast<unsigned>(text.size()), "");
  if (put != MSC_SUCCESS) {
    Speech speech;
    speech.error = put;
    return speech;
  }
  return Collect(engine, session);
}

Speech Collect(const EngineLibrary& engine, const char* session) {
  Speech speech;
  // Far more calls than any test text needs; a missing status 2 ends the loop, not the test run.
  for (int call = 0; call < 20000; ++call) {
    unsigned length = 0;
    int status = 0;
    int error = 0;
    const void* data = engine.AudioGet(session, &length, &status, &error);
    speech.statuses.push_back(status);
    speech.lengths.push_back(length);
    if (error != 0) speech.error = error;
    if (data != nullptr) speech.pcm.append(static_cast<const char*>(data), length);
    if (status == MSC_TTS_STATUS_COMPLETE) break;
  }
  return speech;
}

std::string BeginSession(const EngineLibrary& engine, const std::string& params) {
  int error = -1;
  const char* id = engine.SessionBegin(params.c_str(), &error);
  EXPECT_EQ(error, MSC_SUCCESS) << params;
  EXPECT_NE(id, nullptr) << params;
  return id == nullptr ? std::string() : std::string(id);
}

namespace {

std::vector<float> Samples(const std::string& pcm) {
  std::vector<float> out(pcm.size() / 2);
  for (std::size_t i = 0; i < out.size(); ++i) {
    std::int16_t s = 0;
    std::memcpy(&s, pcm.data() + 2 * i, 2);
    out[i] = static_cast<float>(s) / 32768.0F;
  }
  return out;
}

}  // namespace

double Seconds(const std::string& pcm, int rate) {
  return static_cast<double>(pcm.size() / 2) / rate;
}

double Rms(const std::string& pcm) {
  const auto samples = Samples(pcm);
  double sum = 0;
  for (const float s : samples) sum += static_cast<double>(s) * s;
  return samples.empty() ? 0.0 : std::sqrt(sum / static_cast<double>(samples.size()));
}

double MedianPitchHz(const std::string& pcm, int rate) {
  const auto samples = Samples(pcm);
  const std::size_t frame = static_cast<std::size_t>(rate) * 40 / 1000;
  const std::size_t min_lag = static_cast<std::size_t>(rate / 500);
  const std::size_t max_lag = static_cast<std::size_t>(rate / 60);
  const double loudest = Rms(pcm);
  std::vector<double> pitches;
  for (std::size_t start = 0; start + frame + max_lag < samples.size(); start += frame) {
    double energy = 0;
    for (std::size_t i = 0; i < frame; ++i)
      energy += static_cast<double>(samples[start + i]) * samples[start + i];
    if (std::sqrt(energy / static_cast<double>(frame)) < loudest * 0.5)
      continue;  // unvoiced or quiet
    double best = 0;
    std::size_t best_lag = 0;
    for (std::size_t lag = min_lag; lag <= max_lag; ++lag) {
      double dot = 0;
      double norm = 0;
      for (std::size_t i = 0; i < frame; ++i) {
        dot += static_cast<double>(samples[start + i]) * samples[start + i + lag];
        norm += static_cast<double>(samples[start + i + lag]) * samples[start + i + lag];
      }
      const double r = norm > 0 ? dot / std::sqrt(energy * norm) : 0;
      if (r > best) {
        best = r;
        best_lag = lag;
      }
    }
    if (best > 0.6 && best_lag != 0)
      pitches.push_back(static_cast<double>(rate) / static_cast<double>(best_lag));
  }
  if (pitches.empty()) return 0;
  std::nth_element(pitches.begin(),
                   pitches.begin() + static_cast<std::ptrdiff_t>(pitches.size() / 2),
                   pitches.end());
  return pitches[pitches.size() / 2];
}

std::string GbkSentence() {
  return Utf8ToGbk("今天天气很好，我们一起去公园散步吧。这是一个测试句子，用来检查语音合成。");
}

std::string GbkLongText(std::size_t min_bytes) {
  std::string text;
  while (text.size() < min_bytes) text += GbkSentence();
  return text;
}

}  // namespace velarn::speechengine::testing
