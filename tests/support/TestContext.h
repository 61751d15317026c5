// A reader context over fakes, for tests of the window thread's handlers and views: a sound
// output that counts, an engine that has nothing to say, dialogs that answer as scripted.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/waits/Waits.h"
#include "engine/SpeechEngine.h"
#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "playback/SoundOutput.h"
#include "ui/Dialogs.h"

#if __has_include("engine/Session.h")
#include "engine/Session.h"
#else
namespace velarn {
class EngineSession {};
}  // namespace velarn
#endif

namespace velarn::testing {

class CountingSound final : public SoundOutput {
 public:
  void PlayClip(std::string_view) override { ++plays; }
  void StopSounds() override {
    ++stops;
    if (on_stop) on_stop();
  }
  std::atomic<int> plays{0};
  std::atomic<int> stops{0};
  std::function<void()> on_stop;  // set before the handlers run
};

class SilentEngine final : public SpeechEngine {
 public:
  std::int32_t Init(const Text&) override { return 0; }
  Text SessionBegin(const Text&, std::int32_t& error) override {
    error = 0;
    return "session";
  }
  std::int32_t TextPut(const Text&, std::string_view, const Text&) override { return 0; }
  EngineAudio AudioGet(const Text&) override { return {{}, 2, 0}; }
  std::int32_t SessionEnd(const Text&, const Text&) override { return 0; }
  std::int32_t Fini() override { return 0; }
};

class ScriptedDialogs final : public Dialogs {
 public:
  MessageAnswer ShowMessage(const Text& text, const Text&, MessageIcon,
                            MessageButtons buttons) override {
    std::lock_guard lock(mutex_);
    messages.push_back(text);
    return buttons == MessageButtons::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
  }
  std::optional<std::string> ShowFileDialog(const FileDialogSettings&) override {
    std::lock_guard lock(mutex_);
    if (files.empty()) return std::nullopt;
    std::string file = files.front();
    files.pop_front();
    return file;
  }
  std::vector<Text> messages;
  std::deque<std::string> files;

 private:
  std::mutex mutex_;
};

struct TestContext {
  ReaderState state;
  Waits waits{state};
  CountingSound sound;
  SilentEngine engine;
  ScriptedDialogs dialogs;
  EngineSession session;
  ReaderContext context{state, waits, sound, engine, dialogs, session};
};

}  // namespace velarn::testing
