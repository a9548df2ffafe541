// Discovery run by the dispatcher on the bench's networks, and Cancel
// stopping it part-way.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "core/notice_queue.h"
#include "core/updater_controller.h"
#include "instrument/discovery.h"
#include "tests/support/bench_env.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/operation_worker.h"

namespace {

using namespace std::chrono_literals;

using wfbench::WaitUntil;

std::vector<int> RunDiscovery(UpdaterController& controller, NoticeQueue& queue, bool cancel) {
  std::vector<int> codes;
  OperationWorker worker(controller);
  worker.Start();
  ClearDiscoveredInstruments();
  worker.Request(OpDiscover);
  if (cancel) {
    EXPECT_TRUE(WaitUntil([&] { return controller.discoveryActive.load(); }, 5s));
    worker.RequestCancel();
  }
  EXPECT_TRUE(WaitUntil(
      [&] {
        queue.Drain([&](const WorkerNotice& n) { codes.push_back(n.code); });
        return !codes.empty() && codes.back() == NoticeOperationDone;
      },
      60s));
  worker.Shutdown();
  EXPECT_FALSE(controller.discoveryActive);
  return codes;
}

bool Listed(const std::string& ip) {
  for (const InstrumentInfo& info : DiscoveredInstruments())
    if (info.ip == ip) return true;
  return false;
}

TEST(OperationWorkerBenchTest, DiscoveryListsTheInstrumentsAndCancelStopsItEarly) {
  REQUIRE_BENCH();
  UpdaterController controller;
  NoticeQueue queue;
  controller.noticeSink = &queue;

  std::vector<int> codes = RunDiscovery(controller, queue, false);
  EXPECT_EQ(codes, (std::vector<int>{NoticeDiscoveryDone, NoticeOperationDone}));
  const std::size_t all = DiscoveredInstruments().size();
  EXPECT_TRUE(Listed(bench::kI1));
  EXPECT_TRUE(Listed(bench::kI3));

  // Cancel at once: the responder being identified is kept, the rest is
  // skipped, and the window still hears both notices.
  codes = RunDiscovery(controller, queue, true);
  EXPECT_EQ(codes, (std::vector<int>{NoticeDiscoveryDone, NoticeOperationDone}));
  EXPECT_LT(DiscoveredInstruments().size(), all);
}

}  // namespace
