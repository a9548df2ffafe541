// The hand-over between the window's Wake/Stop and the worker's wait.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/cthread.h"

namespace {

using namespace std::chrono_literals;

// Waits up to a few seconds for `done`, so that a lost wake-up fails the
// test instead of hanging it.
template <typename Predicate>
bool WaitUntil(Predicate done) {
  auto deadline = std::chrono::steady_clock::now() + 5s;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(100us);
  }
  return true;
}

// Counts the requests it is handed; each can be held open until released.
class CountingThread : public CThread {
 public:
  ~CountingThread() override { Stop(); }

  std::atomic<int> runs{0};
  std::atomic<bool> inside{false};
  std::atomic<bool> holdRequests{false};

  void Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    holdRequests = false;
    released_.notify_all();
  }

 protected:
  void Run() override {
    while (WaitForRequest()) {
      inside = true;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        released_.wait(lock, [this] { return !holdRequests; });
      }
      ++runs;
      inside = false;
    }
  }

 private:
  std::mutex mutex_;
  std::condition_variable released_;
};

TEST(CThreadTest, EachWakeRunsOneRequestAndStopRunsNone) {
  CountingThread worker;
  worker.Start();
  for (int i = 1; i <= 3; ++i) {
    worker.Wake();
    ASSERT_TRUE(WaitUntil([&] { return worker.runs == i; }));
  }
  std::this_thread::sleep_for(20ms);
  worker.Stop();
  EXPECT_EQ(worker.runs, 3);  // neither idle time nor Stop's wake-up re-runs
}

TEST(CThreadTest, WakeBeforeTheWorkerWaitsIsNotLost) {
  CountingThread worker;
  worker.Wake();  // before the thread even exists
  worker.Start();
  EXPECT_TRUE(WaitUntil([&] { return worker.runs == 1; }));
  worker.Stop();
  EXPECT_EQ(worker.runs, 1);
}

TEST(CThreadTest, NoWakeOrStopIsLostAcrossManyOrderings) {
  for (int i = 0; i < 2000; ++i) {
    CountingThread worker;
    worker.Start();
    if (i % 2 == 0) {
      worker.Wake();
      ASSERT_TRUE(WaitUntil([&] { return worker.runs == 1; })) << "lost wake-up, round " << i;
    }
    worker.Stop();  // returns only when the worker saw it
    ASSERT_EQ(worker.runs, i % 2 == 0 ? 1 : 0) << "round " << i;
  }
}

TEST(CThreadTest, StopWhileBusyWaitsForTheRunningRequest) {
  CountingThread worker;
  worker.holdRequests = true;
  worker.Start();
  worker.Wake();
  ASSERT_TRUE(WaitUntil([&] { return worker.inside.load(); }));
  std::atomic<bool> stopped{false};
  std::thread window([&] {
    worker.Stop();
    stopped = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(stopped);
  worker.Release();
  window.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(worker.runs, 1);
}

TEST(CThreadTest, StopWithoutStartAndTwiceReturns) {
  CountingThread never;
  never.Stop();
  CountingThread twice;
  twice.Start();
  twice.Stop();
  twice.Stop();  // neither hangs nor crashes
}

}  // namespace
