#include "ui/HeadlessView.h"

namespace velarn {

void HeadlessEventPump::Post(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_all();
}

void HeadlessEventPump::Wake() {
  {
    std::lock_guard lock(mutex_);
    ++wakes_;
  }
  wake_.notify_all();
}

bool HeadlessEventPump::RunOne() {
  std::function<void()> task;
  {
    std::lock_guard lock(mutex_);
    if (tasks_.empty()) return false;
    task = std::move(tasks_.front());
    tasks_.pop_front();
  }
  task();  // may itself wait and dispatch, nested
  return true;
}

void HeadlessEventPump::DispatchPending() {
  while (RunOne()) {
  }
}

void HeadlessEventPump::DispatchUntil(SteadyTime deadline, const std::function<bool()>& done) {
  for (;;) {
    std::uint64_t seen;
    {
      std::lock_guard lock(mutex_);
      seen = wakes_;  // before testing `done`, so that no wake in between is missed
    }
    if (done && done()) return;
    if (RunOne()) continue;
    std::unique_lock lock(mutex_);
    if (!wake_.wait_until(lock, deadline, [&] { return !tasks_.empty() || wakes_ != seen; })) {
      return;  // deadline passed with nothing to do
    }
  }
}

HeadlessView::HeadlessView(ReaderState& state, Waits& waits) : state_(state) {
  waits.AttachWindowThread(pump_);
  state_.SetListener([this] { pump_.Wake(); });
}

HeadlessView::~HeadlessView() { state_.SetListener({}); }

bool HeadlessView::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  pump_.DispatchUntil(std::chrono::steady_clock::now() + timeout, done);
  return done();
}

}  // namespace velarn
