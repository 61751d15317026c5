#include "app/waits/Waits.h"

namespace velarn {
namespace {

using Milliseconds = std::chrono::milliseconds;

std::int64_t MillisecondsPerUnit(std::int32_t unit) {
  switch (unit) {
    case kWaitSeconds: return 1000;
    case kWaitMinutes: return 60'000;
    case kWaitHours: return 3'600'000;
    default: return 1;
  }
}

}  // namespace

std::uint32_t Waits::SteadyTicks() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<Milliseconds>(now).count());
}

Waits::Waits(const StateWatch& watch, TickSource ticks) : watch_(watch), ticks_(std::move(ticks)) {}

void Waits::AttachWindowThread(EventPump& pump) {
  window_pump_ = &pump;
  window_thread_ = std::this_thread::get_id();
}

bool Waits::OnWindowThread() const {
  return window_pump_ != nullptr && std::this_thread::get_id() == window_thread_;
}

void Waits::WaitUntil(SteadyTime deadline, const std::function<bool()>& done) {
  if (OnWindowThread()) {
    window_pump_->DispatchUntil(deadline, done);
    return;
  }
  if (!done) {
    std::this_thread::sleep_until(deadline);
    return;
  }
  for (;;) {
    const std::uint64_t version = watch_.Version();  // before the test: no change is missed
    if (done() || std::chrono::steady_clock::now() >= deadline) return;
    watch_.WaitForChange(version, deadline);
  }
}

void Waits::PumpedWait(std::int32_t amount, std::int32_t unit) {
  if (amount <= 0) return;
  const Milliseconds length(static_cast<std::int64_t>(amount) * MillisecondsPerUnit(unit));
  WaitUntil(std::chrono::steady_clock::now() + length, {});
}

void Waits::ProcessEvents() {
  if (OnWindowThread()) window_pump_->DispatchPending();
}

void Waits::PollingDelay(std::int32_t milliseconds, const std::function<bool()>& cut_short) {
  if (milliseconds <= 0) return;
  const std::uint32_t deadline = ticks_() + static_cast<std::uint32_t>(milliseconds);
  for (;;) {
    ProcessEvents();
    ProcessEvents();
    const std::uint32_t now = ticks_();
    if (now > deadline) return;
    if (cut_short && cut_short()) return;
    // Block until the first tick past the deadline instead of polling.
    const Milliseconds rest(static_cast<std::int64_t>(deadline - now) + 1);
    WaitUntil(std::chrono::steady_clock::now() + rest, cut_short);
  }
}

void Waits::OneSecondStep() {
  const std::uint64_t version = watch_.Version();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  if (OnWindowThread()) {
    window_pump_->DispatchUntil(deadline, [&] { return watch_.Version() != version; });
    window_pump_->DispatchPending();
  } else {
    watch_.WaitForChange(version, deadline);
  }
}

}  // namespace velarn
