// Everything a handler or worker needs, with scripted parts: the shared state, its waits, a
// recording sound output that also notes TextBox's selection at each clip, a scripted engine
// and scripted dialogs.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "engine/Session.h"
#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"
#include "playback/RecordingSoundOutput.h"
#include "tests/support/ScriptedEngine.h"
#include "ui/Dialogs.h"

namespace velarn::test {

class ScriptedDialogs final : public Dialogs {
 public:
  MessageAnswer ShowMessage(const Text& text, const Text&, MessageIcon, MessageButtons) override {
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
    return MessageAnswer::kOk;
  }
  std::optional<std::string> ShowFileDialog(const FileDialogSettings& settings) override {
    std::lock_guard lock(mutex_);
    dialogs_.push_back(settings);
    return answer_;
  }
  void Answer(std::optional<std::string> path) {
    std::lock_guard lock(mutex_);
    answer_ = std::move(path);
  }
  std::vector<Text> Messages() const { std::lock_guard l(mutex_); return messages_; }
  std::vector<FileDialogSettings> FileDialogs() const { std::lock_guard l(mutex_); return dialogs_; }

 private:
  mutable std::mutex mutex_;
  std::vector<Text> messages_;
  std::vector<FileDialogSettings> dialogs_;
  std::optional<std::string> answer_;
};

// Records each clip with the selection TextBox had when it started.
class ScenarioSound final : public SoundOutput {
 public:
  explicit ScenarioSound(const ReaderState& state) : state_(state) {}
  void PlayClip(std::string_view clip) override {
    const Selection selection = state_.Read([](const SharedFields& f) { return f.text_box_selection; });
    {
      std::lock_guard lock(mutex_);
      selections_.push_back(selection);
    }
    recording.PlayClip(clip);
  }
  void StopSounds() override { recording.StopSounds(); }
  std::vector<Selection> Selections() const { std::lock_guard l(mutex_); return selections_; }

  RecordingSoundOutput recording;

 private:
  const ReaderState& state_;
  mutable std::mutex mutex_;
  std::vector<Selection> selections_;
};

struct ReaderRig {
  ReaderState state;
  Waits waits{state};
  ScenarioSound sound{state};
  ScriptedEngine engine;
  ScriptedDialogs dialogs;
  EngineSession session;
  ReaderContext context{state, waits, sound, engine, dialogs, session};

  void SetText(Text text) { state.SetTextBoxText(std::move(text)); }
  // What TogglePlay's start branch does for a new request.
  void StartReading() {
    state.Update([](SharedFields& f) {
      f.play_caption = "\xCD\xA3 \xD6\xB9";  // 停 止
      f.hold_playback = 0;
      f.text_box_tag = "N";
    });
  }
};

// Polls `done` (every 5 ms) until it holds or `timeout` passes; for threads other than the
// window thread's view.
inline bool Eventually(const std::function<bool()>& done,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace velarn::test
