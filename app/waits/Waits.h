// The waits every loop of the program is made of. On the window thread a wait runs the
// window's events (a nested event loop), so any handler can run inside it; on a worker thread
// it blocks in the kernel. Nothing spins.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <thread>

namespace velarn {

using SteadyTime = std::chrono::steady_clock::time_point;

// Something that changes and can be waited on: the shared window and reader state.
class StateWatch {
 public:
  virtual ~StateWatch() = default;
  // Grows with every change.
  virtual std::uint64_t Version() const = 0;
  // Blocks until Version() differs from `since` or `deadline` passes; true when it changed.
  virtual bool WaitForChange(std::uint64_t since, SteadyTime deadline) const = 0;
};

// The window thread's event dispatch, supplied by the view (Qt or headless).
class EventPump {
 public:
  virtual ~EventPump() = default;
  // Runs every event pending now (and those they post), then returns.
  virtual void DispatchPending() = 0;
  // Runs events as they arrive until `deadline`, or until `done` holds (tested after every
  // event and after every change of the shared state); blocks in the kernel in between.
  virtual void DispatchUntil(SteadyTime deadline, const std::function<bool()>& done) = 0;
};

enum WaitUnit : std::int32_t {
  kWaitMilliseconds = 0,
  kWaitSeconds = 1,
  kWaitMinutes = 2,
  kWaitHours = 3,
};

class Waits {
 public:
  // The system's millisecond tick count, wrapping at 2^32.
  using TickSource = std::function<std::uint32_t()>;
  static std::uint32_t SteadyTicks();

  explicit Waits(const StateWatch& watch, TickSource ticks = SteadyTicks);

  // Called once on the window thread: from then on its waits dispatch through `pump`.
  void AttachWindowThread(EventPump& pump);
  bool OnWindowThread() const;

  // Waits amount × unit (see WaitUnit); an amount of 0 or less returns at once. An unknown unit
  // counts as milliseconds.
  void PumpedWait(std::int32_t amount, std::int32_t unit);
  // Dispatches every pending window event; nothing on a worker thread.
  void ProcessEvents();
  // Returns at the first check at which the tick count, compared as an unsigned 32-bit number,
  // is greater than the deadline tick + milliseconds (mod 2^32): at once for 0 or less, or when
  // the deadline wraps. `cut_short`, when given, ends the delay early as soon as it holds.
  void PollingDelay(std::int32_t milliseconds, const std::function<bool()>& cut_short = {});
  // A PumpedWait of one second and ProcessEvents; ends early when the shared state changes,
  // since every caller tests its condition again after each step.
  void OneSecondStep();

 private:
  // Waits until `deadline` or until `done` holds, re-testing it on every change of the state.
  void WaitUntil(SteadyTime deadline, const std::function<bool()>& done);

  const StateWatch& watch_;
  TickSource ticks_;
  EventPump* window_pump_ = nullptr;
  std::thread::id window_thread_;
};

}  // namespace velarn
