// Measures how long the GUI thread's event loop goes without dispatching: a fast timer notes
// every gap between its ticks well beyond its interval. The load tests and the benchmarks set
// VELARN_STALL_LOG to a file, and each such gap is appended to it as one line
// "<wall clock in ms since the epoch> <gap in ms>", so that a script can pick the gaps of the
// moments it cares about. Nested event loops (the waits) dispatch timers too, so a handler that
// waits is no stall; one that computes is.
#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>
#include <cstdio>
#include <memory>
#include <string>

namespace velarn {

class StallMonitor final : public QObject {
 public:
  // On the GUI thread. Gaps of at least `report_ms` are written to `path` (created afresh).
  explicit StallMonitor(const std::string& path, int report_ms = 20);

  // The longest gap seen so far.
  qint64 LongestMilliseconds() const { return longest_ms_; }

 private:
  void Tick();

  struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
  };
  std::unique_ptr<std::FILE, FileCloser> log_;
  QTimer timer_;
  QElapsedTimer since_tick_;
  int report_ms_;
  qint64 longest_ms_ = 0;
};

}  // namespace velarn
