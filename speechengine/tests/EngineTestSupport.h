// Test helpers for the engine component: a scratch copy of the built libraries loaded with
// dlopen (as the program loads them), a whole-text synthesis loop and audio measurements.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "speechengine/msc.h"

namespace velarn::speechengine::testing {

// The program's configuration string.
inline constexpr const char* kConfig =
    "server_url=tts.example.net:80/index.htm,appid=a3f1c7e2,timeout=10000,coding_libs=speex.dll,"
    "max_text_size=2048";

// A fresh directory under the temporary directory, removed with the object.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Copies the built msc.dll and speex.dll into `directory`.
void CopyBuiltLibraries(const std::filesystem::path& directory);

// msc.dll loaded from a path, with its six entry points; unloaded with the object.
class EngineLibrary {
 public:
  explicit EngineLibrary(const std::filesystem::path& file);
  ~EngineLibrary();
  EngineLibrary(const EngineLibrary&) = delete;
  EngineLibrary& operator=(const EngineLibrary&) = delete;
  bool loaded() const { return handle_ != nullptr; }
  // Unloads now, whatever the engine is doing.
  void Unload();

  QTTSInitFn Init = nullptr;
  QTTSSessionBeginFn SessionBegin = nullptr;
  QTTSTextPutFn TextPut = nullptr;
  QTTSAudioGetFn AudioGet = nullptr;
  QTTSSessionEndFn SessionEnd = nullptr;
  QTTSFiniFn Fini = nullptr;

 private:
  void* handle_ = nullptr;
};

// The program's session parameters with the given voice and speed.
std::string Params(const std::string& voice, const std::string& speed = "50",
                   const std::string& extra = "");

struct Speech {
  std::string pcm;                // 16-bit mono samples
  std::vector<int> statuses;      // of every QTTSAudioGet call
  std::vector<unsigned> lengths;  // of every QTTSAudioGet call
  int error = 0;                  // the last error code seen
};

// Puts `text` and collects its audio until status 2 (a bounded number of calls).
Speech Synthesize(const EngineLibrary& engine, const char* session, const std::string& text);
// Collects the audio of the text put last until status 2.
Speech Collect(const EngineLibrary& engine, const char* session);

// A session id (the test fails when none opens).
std::string BeginSession(const EngineLibrary& engine, const std::string& params);

double Seconds(const std::string& pcm, int rate);
double Rms(const std::string& pcm);
// The median fundamental frequency of the voiced frames, by autocorrelation.
double MedianPitchHz(const std::string& pcm, int rate);

// Chinese test sentences, GBK.
std::string GbkSentence();  // about 91 bytes, one of the program's chunks
std::string GbkLongText(std::size_t min_bytes);

}  // namespace velarn::speechengine::testing
