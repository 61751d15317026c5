// The headless view: the window thread without a display. Tests drive the very same handlers
// through it; events are tasks posted to the thread that attached it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/waits/Waits.h"
#include "playback/ReaderContext.h"
#include "playback/ReaderState.h"

namespace velarn {

class HeadlessEventPump final : public EventPump {
 public:
  // From any thread: queues `task` for the window thread.
  void Post(std::function<void()> task);
  // From any thread: makes a waiting DispatchUntil test its condition again.
  void Wake();

  void DispatchPending() override;
  void DispatchUntil(SteadyTime deadline, const std::function<bool()>& done) override;

 private:
  bool RunOne();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  std::uint64_t wakes_ = 0;
};

// The controls that can hold the keyboard focus, as far as the handlers care.
enum class FocusTarget { kTextBox, kPlayButton, kSpeedBox, kOther };

// Owns the window thread's pump, attaches it to the waits and listens to the state.
class HeadlessView {
 public:
  // Call on the thread that plays the window thread.
  HeadlessView(ReaderState& state, Waits& waits);
  // The same, and the user's actions below run the play control's handlers of `context`.
  explicit HeadlessView(ReaderContext& context);
  ~HeadlessView();
  HeadlessView(const HeadlessView&) = delete;
  HeadlessView& operator=(const HeadlessView&) = delete;

  HeadlessEventPump& Pump() { return pump_; }
  // Runs window events until `done` holds or `timeout` passes; true when it held.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

  // The user, from any thread; each action is a window event, so it may run inside a wait of
  // another handler, as a real click would. They need the context constructor.
  // A click on the PlayButton: it takes the focus, then TogglePlay runs, unless the focus left
  // it again before the release; nothing when it is disabled.
  void ClickPlay();
  // The user edits TextBox so that it holds `text`.
  void Type(Text text);
  // The user moves the keyboard focus (a click or Tab); the lost-focus handlers run.
  void MoveFocus(FocusTarget target);
  // Another program copies `text` ("" for a copy that carries no text).
  void Copy(Text text);

  // Window thread only: the control that has the keyboard focus.
  FocusTarget Focused() const { return focused_; }

 private:
  void OnStateChanged();
  void ApplyFocusRequests();
  void SetFocus(FocusTarget target);

  ReaderState& state_;
  ReaderContext* context_ = nullptr;
  HeadlessEventPump pump_;
  std::thread::id window_thread_;
  FocusTarget focused_ = FocusTarget::kTextBox;  // window thread only
  std::atomic<std::uint64_t> focus_applied_{0};
};

}  // namespace velarn
