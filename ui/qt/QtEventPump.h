// The GUI thread's event dispatch for the waits: a nested event loop that blocks until the
// next event, with a timer for the deadline.
#pragma once

#include "app/waits/Waits.h"

namespace velarn {

class QtEventPump final : public EventPump {
 public:
  void DispatchPending() override;
  // `done` is tested after every batch of events; a change of the shared state made by a
  // worker arrives as the view's queued refresh, so it is tested after that too.
  void DispatchUntil(SteadyTime deadline, const std::function<bool()>& done) override;
};

}  // namespace velarn
