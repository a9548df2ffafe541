// The dispatcher on its worker thread: requests, cancel at every stage and
// the window's shutdown, with an operation table of the test's own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "core/notice_queue.h"
#include "core/updater_controller.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/operation_worker.h"

namespace {

using namespace std::chrono_literals;

using wfbench::WaitUntil;

class OperationWorkerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    controller.noticeSink = &queue;
    controller.shell = &shell;
  }

  // What the window has handled so far, in order.
  std::vector<WorkerNotice>& Seen() {
    queue.Drain([this](const WorkerNotice& n) { seen.push_back(n); });
    return seen;
  }
  bool WaitForDone(std::size_t count = 1) {
    return WaitUntil([&] {
      std::size_t done = 0;
      for (const WorkerNotice& n : Seen()) done += n.code == NoticeOperationDone;
      return done >= count;
    });
  }

  UpdaterController controller;
  NoticeQueue queue;
  OnePasswordShell shell;
  std::vector<WorkerNotice> seen;
};

TEST_F(OperationWorkerTest, RequestRunsTheOperationOnceThenReportsItsEnd) {
  std::vector<int> ran;
  std::atomic<bool> busyInside{false};
  OperationWorker worker(controller, [&](UpdaterController& c, int operation) {
    ran.push_back(operation);
    busyInside = c.operationBusy.load();
    c.PostLog("working");
  });
  worker.Start();
  worker.Request(OpConnect);
  ASSERT_TRUE(WaitForDone());
  ASSERT_TRUE(WaitUntil([&] { return !controller.operationBusy; }));
  worker.Request(OpRestore);
  ASSERT_TRUE(WaitForDone(2));
  worker.Shutdown();
  EXPECT_EQ(ran, (std::vector<int>{OpConnect, OpRestore}));
  EXPECT_TRUE(busyInside);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].text, "working");
  EXPECT_EQ(seen[1].code, NoticeOperationDone);
}

TEST_F(OperationWorkerTest, CancelWhileIdleOnlyLeavesTheFlagUntilTheNextRequest) {
  int runs = 0;
  OperationWorker worker(controller, [&](UpdaterController&, int) { ++runs; });
  worker.Start();
  worker.RequestCancel();
  std::this_thread::sleep_for(20ms);
  EXPECT_TRUE(controller.cancelRequested);
  EXPECT_TRUE(Seen().empty());
  EXPECT_EQ(shell.cancels, 0);  // no SSH call was running
  worker.Request(OpConnect);
  ASSERT_TRUE(WaitForDone());
  EXPECT_FALSE(controller.cancelRequested);
  EXPECT_EQ(runs, 1);
}

TEST_F(OperationWorkerTest, CancelDuringAnOperationInterruptsTheBlockedCallFirst) {
  std::atomic<bool> blocked{false};
  int cancelsWhenFlagSeen = -1;
  OperationWorker worker(controller, [&](UpdaterController& c, int) {
    c.sshProbeActive = true;  // as the connection check does around its call
    blocked = true;
    WaitUntil([&] { return c.IsCancelRequested(); });
    cancelsWhenFlagSeen = shell.cancels;
    c.sshProbeActive = false;
    c.PostStatus("The action has been cancelled.");
  });
  worker.Start();
  worker.Request(OpConnect);
  ASSERT_TRUE(WaitUntil([&] { return blocked.load(); }));
  worker.RequestCancel();
  ASSERT_TRUE(WaitForDone());
  worker.Shutdown();
  EXPECT_EQ(cancelsWhenFlagSeen, 1);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].text, "The action has been cancelled.");
  EXPECT_EQ(seen[1].code, NoticeOperationDone);
}

TEST_F(OperationWorkerTest, ShutdownWhileBusyWaitsForTheOperationToReturn) {
  std::atomic<bool> inside{false};
  std::atomic<bool> returned{false};
  OperationWorker worker(controller, [&](UpdaterController& c, int) {
    inside = true;
    WaitUntil([&] { return c.IsCancelRequested(); });
    std::this_thread::sleep_for(30ms);  // finishing the line it runs
    returned = true;
  });
  worker.Start();
  worker.Request(OpUpgrade);
  ASSERT_TRUE(WaitUntil([&] { return inside.load(); }));
  worker.Shutdown();
  EXPECT_TRUE(returned);
  EXPECT_FALSE(controller.operationBusy);
}

TEST_F(OperationWorkerTest, RequestCancelledBeforeItStartsStillEnds) {
  int runs = 0;
  OperationWorker worker(controller, [&](UpdaterController&, int) { ++runs; });
  worker.Request(OpUpgrade);  // the worker has not reached its wait yet
  worker.RequestCancel();
  worker.Start();
  ASSERT_TRUE(WaitForDone());
  worker.Shutdown();
  EXPECT_EQ(runs, 0);
  // The window re-enables its controls on this notice; nothing else came.
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(OperationWorkerTest, UnknownOperationOnlyReportsItsEnd) {
  OperationWorker worker(controller);
  worker.Start();
  worker.Request(42);
  ASSERT_TRUE(WaitForDone());
  worker.Shutdown();
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].code, NoticeOperationDone);
}

TEST_F(OperationWorkerTest, AFaultyOperationDoesNotEndTheWorker) {
  int runs = 0;
  OperationWorker worker(controller, [&](UpdaterController&, int) {
    if (++runs == 1) throw std::runtime_error("broken");
  });
  worker.Start();
  worker.Request(OpConnect);
  ASSERT_TRUE(WaitForDone());
  worker.Request(OpConnect);
  ASSERT_TRUE(WaitForDone(2));
  EXPECT_EQ(runs, 2);
}

}  // namespace
