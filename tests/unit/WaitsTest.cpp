#include "app/waits/Waits.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "playback/ReaderState.h"
#include "ui/HeadlessView.h"

namespace velarn {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<milliseconds>(Clock::now() - start);
}

TEST(WaitsTest, OneSecondStepOnAWorkerLastsASecondWhenNothingChanges) {
  ReaderState state;
  Waits waits(state);
  const auto start = Clock::now();
  waits.OneSecondStep();
  EXPECT_GE(Since(start), milliseconds(990));
  EXPECT_LT(Since(start), milliseconds(1500));
}

TEST(WaitsTest, OneSecondStepOnAWorkerEndsEarlyOnAChange) {
  ReaderState state;
  Waits waits(state);
  std::thread writer([&] {
    std::this_thread::sleep_for(milliseconds(100));
    state.SetTextBoxTag(kTagRequested);
  });
  const auto start = Clock::now();
  waits.OneSecondStep();
  EXPECT_LT(Since(start), milliseconds(900));
  writer.join();
}

TEST(WaitsTest, PumpedWaitOnTheWindowThreadRunsPostedHandlersAndLastsItsTime) {
  ReaderState state;
  Waits waits(state);
  HeadlessView view(state, waits);
  std::atomic<bool> stop{false};
  std::atomic<int> posted{0};
  std::atomic<int> ran{0};
  // Events keep coming during the whole wait.
  std::thread poster([&] {
    while (!stop) {
      view.Pump().Post([&] { ++ran; });
      ++posted;
      std::this_thread::sleep_for(milliseconds(20));
    }
  });
  const auto start = Clock::now();
  waits.PumpedWait(1000, kWaitMilliseconds);
  const auto took = Since(start);
  stop = true;
  poster.join();
  EXPECT_GE(took, milliseconds(990));
  EXPECT_LT(took, milliseconds(1500));
  EXPECT_GT(ran, 20);
  waits.ProcessEvents();
  EXPECT_EQ(ran, posted);
}

TEST(WaitsTest, HandlersNestInsideEachOthersWaits) {
  ReaderState state;
  Waits waits(state);
  HeadlessView view(state, waits);
  std::vector<int> order;
  view.Pump().Post([&] {
    order.push_back(1);
    view.Pump().Post([&] { order.push_back(2); });
    waits.PumpedWait(50, kWaitMilliseconds);  // the inner handler runs inside this wait
    order.push_back(3);
  });
  waits.ProcessEvents();
  EXPECT_EQ(order, (std::vector<int>{1, 2, 3}));
}

TEST(WaitsTest, OneSecondStepOnTheWindowThreadEndsOnAStateChange) {
  ReaderState state;
  Waits waits(state);
  HeadlessView view(state, waits);
  std::thread writer([&] {
    std::this_thread::sleep_for(milliseconds(100));
    state.SetClipPlaying(0);
  });
  const auto start = Clock::now();
  waits.OneSecondStep();
  EXPECT_LT(Since(start), milliseconds(900));
  writer.join();
}

TEST(WaitsTest, PumpedWaitUnitsAndNonPositiveAmounts) {
  ReaderState state;
  Waits waits(state);
  auto start = Clock::now();
  waits.PumpedWait(0, kWaitHours);
  waits.PumpedWait(-5, kWaitSeconds);
  EXPECT_LT(Since(start), milliseconds(50));
  start = Clock::now();
  waits.PumpedWait(1, kWaitSeconds);
  EXPECT_GE(Since(start), milliseconds(990));
}

TEST(WaitsTest, PollingDelayReturnsAtOnceForZeroNegativeAndWrappedDeadlines) {
  ReaderState state;
  std::uint32_t tick = 0xFFFFFF00u;
  Waits waits(state, [&] { return tick; });
  HeadlessView view(state, waits);
  bool dispatched = false;
  view.Pump().Post([&] { dispatched = true; });
  const auto start = Clock::now();
  waits.PollingDelay(0);
  waits.PollingDelay(-100);
  EXPECT_FALSE(dispatched);  // nothing dispatched either
  waits.PollingDelay(0x200);  // deadline wraps past 2^32: the first check already ends it
  EXPECT_LT(Since(start), milliseconds(50));
}

TEST(WaitsTest, PollingDelayReturnsOnceTheTickPassesTheDeadline) {
  ReaderState state;
  Waits waits(state);
  const auto start = Clock::now();
  waits.PollingDelay(500);
  EXPECT_GT(Since(start), milliseconds(499));
  EXPECT_LT(Since(start), milliseconds(800));
}

TEST(WaitsTest, PollingDelayCutShortByItsCondition) {
  ReaderState state;
  Waits waits(state);
  std::thread writer([&] {
    std::this_thread::sleep_for(milliseconds(100));
    state.SetClipPlaying(0);
  });
  state.SetClipPlaying(1);
  const auto start = Clock::now();
  waits.PollingDelay(10'000, [&] { return state.ClipPlaying() == 0; });
  EXPECT_LT(Since(start), milliseconds(2000));
  writer.join();
}

}  // namespace
}  // namespace velarn
