#include "speechengine/ConversionStage.h"

#include <utility>

namespace velarn::speechengine {

ConversionStage::ConversionStage() : thread_([this] { Loop(); }) {}

ConversionStage::~ConversionStage() {
  {
    const std::lock_guard lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void ConversionStage::Post(std::function<void()> task) {
  {
    const std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  changed_.notify_all();
}

void ConversionStage::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [&] { return tasks_.empty() && !running_task_; });
}

void ConversionStage::Loop() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [&] { return stop_ || !tasks_.empty(); });
    if (tasks_.empty()) return;  // stopping, and nothing left to run
    std::function<void()> task = std::move(tasks_.front());
    tasks_.pop_front();
    running_task_ = true;
    lock.unlock();
    task();
    lock.lock();
    running_task_ = false;
    if (tasks_.empty()) changed_.notify_all();
  }
}

}  // namespace velarn::speechengine
