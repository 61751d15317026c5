#include "ui/qt/QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

namespace velarn {

void QtEventPump::DispatchPending() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtEventPump::DispatchUntil(SteadyTime deadline, const std::function<bool()>& done) {
  using std::chrono::steady_clock;
  QEventLoop loop;
  QTimer timer;  // wakes the loop at the deadline
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  for (;;) {
    if (done && done()) return;
    const auto now = steady_clock::now();
    if (now >= deadline) return;
    const auto rest = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    timer.start(static_cast<int>(std::min<std::int64_t>(rest.count(), 1 << 30)));
    loop.processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
  }
}

}  // namespace velarn
