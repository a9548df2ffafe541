// Notices from any thread reach the window's thread whole and in order,
// and none survives the window.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "core/notice_queue.h"
#include "core/updater_controller.h"

namespace {

void Deliver(NoticeQueue& queue, int code, double value) {
  auto notice = std::make_unique<WorkerNotice>();
  notice->code = code;
  notice->value = value;
  queue.Deliver(std::move(notice));
}

TEST(NoticeQueueTest, PostNoticeArrivesWholeAndInOrder) {
  NoticeQueue queue;
  UpdaterController controller;
  controller.noticeSink = &queue;
  controller.PostLog("first line");
  controller.PostProgress(12.5);
  controller.PostNotice(NoticeInstrumentAddress, "198.18.0.23");
  std::vector<WorkerNotice> seen;
  queue.Drain([&](const WorkerNotice& n) { seen.push_back(n); });
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_EQ(seen[0].code, NoticeLog);
  EXPECT_EQ(seen[0].text, "first line");
  EXPECT_EQ(seen[1].code, NoticeProgress);
  EXPECT_DOUBLE_EQ(seen[1].value, 12.5);
  EXPECT_EQ(seen[1].text, "");
  EXPECT_EQ(seen[2].text, "198.18.0.23");
  EXPECT_EQ(queue.Take(), nullptr);
}

TEST(NoticeQueueTest, ManyPostersKeepTheirOwnOrderAndTheHookSeesEach) {
  NoticeQueue queue;
  std::atomic<int> hooks{0};
  queue.SetPostedHook([&] { ++hooks; });
  constexpr int kThreads = 4;
  constexpr int kEach = 2000;
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&queue, t] {
      for (int i = 0; i < kEach; ++i) Deliver(queue, t, i);
    });
  }
  // The window drains while they post.
  std::vector<int> next(kThreads, 0);
  int taken = 0;
  while (taken < kThreads * kEach) {
    if (auto notice = queue.Take()) {
      ASSERT_EQ(notice->value, next[notice->code]) << "poster " << notice->code;
      ++next[notice->code];
      ++taken;
    }
  }
  for (std::thread& poster : posters) poster.join();
  EXPECT_EQ(hooks, kThreads * kEach);
}

TEST(NoticeQueueTest, DrainNestedInAHandlerKeepsTheOrder) {
  NoticeQueue queue;
  for (int i = 0; i < 5; ++i) Deliver(queue, 0, i);
  std::vector<int> order;
  std::function<void(const WorkerNotice&)> handle = [&](const WorkerNotice& n) {
    order.push_back(static_cast<int>(n.value));
    if (n.value == 1) queue.Drain(handle);  // a modal loop inside a handler
  };
  queue.Drain(handle);
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(NoticeQueueTest, AfterCloseNoticesAreDroppedAndTheHookIsNotCalled) {
  NoticeQueue queue;
  int hooks = 0;
  queue.SetPostedHook([&] { ++hooks; });
  UpdaterController controller;
  controller.noticeSink = &queue;
  controller.PostLog("queued before close");
  queue.Close();
  EXPECT_TRUE(queue.IsClosed());
  EXPECT_EQ(queue.Size(), 0u);
  controller.PostLog("after close");
  queue.SetPostedHook([&] { hooks += 100; });
  controller.PostLog("still after close");
  EXPECT_EQ(queue.Take(), nullptr);
  EXPECT_EQ(hooks, 1);
}

}  // namespace
