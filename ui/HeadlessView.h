// The headless view: the window thread without a display. Tests drive the very same handlers
// through it; events are tasks posted to the thread that attached it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "app/waits/Waits.h"
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

// Owns the window thread's pump, attaches it to the waits and listens to the state.
class HeadlessView {
 public:
  // Call on the thread that plays the window thread.
  HeadlessView(ReaderState& state, Waits& waits);
  ~HeadlessView();
  HeadlessView(const HeadlessView&) = delete;
  HeadlessView& operator=(const HeadlessView&) = delete;

  HeadlessEventPump& Pump() { return pump_; }
  // Runs window events until `done` holds or `timeout` passes; true when it held.
  bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

 private:
  ReaderState& state_;
  HeadlessEventPump pump_;
};

}  // namespace velarn
