// A thread that runs tasks in the order they were posted: the engine's conversion stage, so
// that resampling overlaps espeak-ng's synthesis instead of adding to it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace velarn::speechengine {

class ConversionStage {
 public:
  ConversionStage();
  ~ConversionStage();
  ConversionStage(const ConversionStage&) = delete;
  ConversionStage& operator=(const ConversionStage&) = delete;

  void Post(std::function<void()> task);
  // Returns once every task posted before has run.
  void Drain();

 private:
  void Loop();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::function<void()>> tasks_;
  bool running_task_ = false;
  bool stop_ = false;
  std::thread thread_;  // last: started once the rest exists
};

}  // namespace velarn::speechengine
