#include "ui/qt/StallMonitor.h"

#include <QDateTime>

namespace velarn {
namespace {
constexpr int kTickMilliseconds = 5;
}

StallMonitor::StallMonitor(const std::string& path, int report_ms)
    : log_(std::fopen(path.c_str(), "w")), report_ms_(report_ms) {
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kTickMilliseconds);
  connect(&timer_, &QTimer::timeout, this, &StallMonitor::Tick);
  since_tick_.start();
  timer_.start();
}

void StallMonitor::Tick() {
  const qint64 gap = since_tick_.restart() - kTickMilliseconds;
  if (gap > longest_ms_) longest_ms_ = gap;
  if (gap < report_ms_ || !log_) return;
  std::fprintf(log_.get(), "%lld %lld\n",
               static_cast<long long>(QDateTime::currentMSecsSinceEpoch()),
               static_cast<long long>(gap));
  std::fflush(log_.get());
}

}  // namespace velarn
