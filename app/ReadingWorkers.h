// Step 6 of the created handler: the two reading workers, started once and running until the
// process ends.
#pragma once

#include <memory>

#include "playback/ReaderContext.h"

namespace velarn {

class ReadingWorkers {
 public:
  ReadingWorkers();
  ~ReadingWorkers();
  ReadingWorkers(const ReadingWorkers&) = delete;
  ReadingWorkers& operator=(const ReadingWorkers&) = delete;

  // Each starts its worker unless it runs already.
  void StartPlayer(ReaderContext& context);
  void StartSynth(ReaderContext& context);

 private:
  struct Threads;
  std::unique_ptr<Threads> threads_;
};

}  // namespace velarn
