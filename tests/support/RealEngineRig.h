// The real engine component for whole readings: the built msc.dll and speex.dll deployed into
// a scratch engine directory and started through the program's own PrepareEngine, once per
// test program (the engine runs one espeak-ng per process). Each test then makes a reader
// context over it, with the engine wrapped in a decorator that records what it is given and
// what it delivers, and a recording sound output.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "engine/LoadedEngine.h"
#include "engine/PrepareEngine.h"
#include "engine/Session.h"
#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "tests/engine/RecordingDialogs.h"
#include "tests/engine/ScratchDirectory.h"
#include "tests/support/ReaderRig.h"

namespace velarn::test {

// The engine as deployed at start-up; the current directory becomes the scratch program
// directory, where the engine keeps its cache.
class DeployedEngine {
 public:
  static DeployedEngine& Shared() {
    static DeployedEngine engine;
    return engine;
  }

  SpeechEngine& engine() { return engine_; }
  // True when PrepareEngine succeeded; `failure` says why not.
  bool ready() const { return ready_; }
  const std::string& failure() const { return failure_; }

  DeployedEngine(const DeployedEngine&) = delete;
  DeployedEngine& operator=(const DeployedEngine&) = delete;
  ~DeployedEngine() {
    if (ready_) engine_.Fini();  // stops the engine's threads before its files go
    std::error_code ignored;
    std::filesystem::current_path(saved_cwd_, ignored);
  }

 private:
  DeployedEngine() {
    const std::string msc = testing::ReadFile(BUILT_MSC_PATH);
    const std::string speex = testing::ReadFile(BUILT_SPEEX_PATH);
    std::filesystem::create_directories(scratch_ / "program");
    std::filesystem::create_directories(scratch_ / "tmp");
    saved_cwd_ = std::filesystem::current_path();
    std::filesystem::current_path(scratch_ / "program");
    // The engine is local: no probe leaves the machine, the first host "answers".
    EngineStartup startup{dialogs_, engine_, CarriedFiles{msc, speex}, scratch_ / "program",
                          scratch_ / "tmp", [](const std::string&, int) { return 1; }};
    ready_ = !msc.empty() && !speex.empty() && PrepareEngine(startup) && engine_.FullyBound();
    if (!ready_) failure_ = "engine start-up failed, init result " + std::to_string(startup.init_result);
  }

  testing::ScratchDirectory scratch_;
  std::filesystem::path saved_cwd_;
  testing::RecordingDialogs dialogs_;
  LoadedEngine engine_{ReportAndExit(dialogs_)};
  bool ready_ = false;
  std::string failure_;
};

// Passes every call on, recording the session parameters, the texts put and the audio
// delivered for each of them. Thread-safe.
class RecordingEngine final : public SpeechEngine {
 public:
  explicit RecordingEngine(SpeechEngine& engine) : engine_(engine) {}

  std::int32_t Init(const Text& config) override { return engine_.Init(config); }
  Text SessionBegin(const Text& params, std::int32_t& error) override {
    Text id = engine_.SessionBegin(params, error);
    std::lock_guard lock(mutex_);
    begins_.push_back(params);
    return id;
  }
  std::int32_t TextPut(const Text& session, std::string_view text, const Text& params) override {
    {
      std::lock_guard lock(mutex_);
      puts_.push_back({Text(text), {}});
    }
    return engine_.TextPut(session, text, params);
  }
  EngineAudio AudioGet(const Text& session) override {
    EngineAudio audio = engine_.AudioGet(session);
    std::lock_guard lock(mutex_);
    if (!puts_.empty()) puts_.back().audio += audio.data;
    return audio;
  }
  std::int32_t SessionEnd(const Text& session, const Text& hints) override {
    return engine_.SessionEnd(session, hints);
  }
  std::int32_t Fini() override { return engine_.Fini(); }

  struct Put {
    Text text;
    ByteString audio;  // all that AudioGet delivered after it
  };
  std::vector<Text> Begins() const { std::lock_guard l(mutex_); return begins_; }
  std::vector<Put> Puts() const { std::lock_guard l(mutex_); return puts_; }
  std::size_t PutCount() const { std::lock_guard l(mutex_); return puts_.size(); }

 private:
  SpeechEngine& engine_;
  mutable std::mutex mutex_;
  std::vector<Text> begins_;
  std::vector<Put> puts_;
};

// A reader context over the deployed engine.
struct RealEngineRig {
  ReaderState state;
  Waits waits{state};
  ScenarioSound sound{state};
  RecordingEngine engine{DeployedEngine::Shared().engine()};
  ScriptedDialogs dialogs;
  EngineSession session;
  ReaderContext context{state, waits, sound, engine, dialogs, session};
};

}  // namespace velarn::test
