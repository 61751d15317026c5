#include "ui/HeadlessView.h"

#include "playback/PlayControl.h"

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

HeadlessView::HeadlessView(ReaderState& state, Waits& waits)
    : state_(state), window_thread_(std::this_thread::get_id()) {
  waits.AttachWindowThread(pump_);
  focus_applied_ = state_.ViewSnapshot().focus_requests;
  state_.SetListener([this] { OnStateChanged(); });
}

HeadlessView::HeadlessView(ReaderContext& context) : HeadlessView(context.state, context.waits) {
  context_ = &context;
}

HeadlessView::~HeadlessView() { state_.SetListener({}); }

bool HeadlessView::RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  pump_.DispatchUntil(std::chrono::steady_clock::now() + timeout, done);
  return done();
}

void HeadlessView::OnStateChanged() {
  pump_.Wake();
  if (context_ == nullptr) return;
  if (std::this_thread::get_id() == window_thread_) {
    // A focus change happens inside the request, as it does on a real window: the lost-focus
    // handler of the control that had it runs before the requester goes on.
    ApplyFocusRequests();
  } else if (state_.ViewSnapshot().focus_requests != focus_applied_) {
    pump_.Post([this] { ApplyFocusRequests(); });
  }
}

void HeadlessView::ApplyFocusRequests() {
  const std::uint64_t requests = state_.ViewSnapshot().focus_requests;
  if (requests == focus_applied_.exchange(requests)) return;
  SetFocus(FocusTarget::kTextBox);
}

void HeadlessView::SetFocus(FocusTarget target) {
  const FocusTarget lost = focused_;
  if (lost == target) return;
  focused_ = target;
  if (lost == FocusTarget::kTextBox) OnTextBoxLostFocus(*context_);
  if (lost == FocusTarget::kPlayButton) OnPlayButtonLostFocus(*context_);
}

void HeadlessView::ClickPlay() {
  pump_.Post([this] {
    if (!state_.ViewSnapshot().play_enabled) return;
    SetFocus(FocusTarget::kPlayButton);
    // As on a real button, a press whose button lost the focus again before the release is
    // no click: while reading, TextBox takes the focus back, the PlayButton's lost-focus
    // handler stops the reading, and the click must not resume it.
    if (focused_ != FocusTarget::kPlayButton) return;
    TogglePlay(*context_);
  });
}

void HeadlessView::Type(Text text) {
  pump_.Post([this, text = std::move(text)]() mutable {
    SetFocus(FocusTarget::kTextBox);
    WriteTextBox(*context_, std::move(text));
  });
}

void HeadlessView::MoveFocus(FocusTarget target) {
  pump_.Post([this, target] { SetFocus(target); });
}

void HeadlessView::Copy(Text text) {
  pump_.Post([this, text = std::move(text)] { OnClipboardChanged(*context_, text); });
}

}  // namespace velarn
