#pragma once
// The controller, worker, notice queue and a recording view wired as the
// window wires them, with the scripts and configuration beside the test
// program (the build's bin/). Notices are rendered on the test's thread.
#include <chrono>
#include <functional>
#include <thread>
#include <string>
#include <vector>

#include "core/notice_queue.h"
#include "core/updater_controller.h"
#include "core/worker_notice.h"
#include "tests/workflows/recording_view_support.h"
#include "workflows/operation_worker.h"

class WorkflowHarness {
 public:
  using BeginHalf = std::function<void(UpdaterController&, OperationWorker&)>;

  // With startWorker false the requests are only recorded.
  explicit WorkflowHarness(bool startWorker = true);
  ~WorkflowHarness();

  // Runs the Begin half; false when it refused to start an operation.
  bool Begin(const BeginHalf& begin);
  // Renders notices until the operation is done; false on time-out.
  bool WaitUntilDone(int seconds = 400);
  // Renders notices until the status line shows `status`.
  bool WaitForStatus(const std::string& status, int seconds);
  bool Run(const BeginHalf& begin, int seconds = 400) { return Begin(begin) && WaitUntilDone(seconds); }
  // The same with `address` chosen in address mode first.
  bool RunAt(const std::string& address, const BeginHalf& begin) {
    view.UseAddress(address);
    return Run(begin);
  }

  std::vector<std::string> Statuses() const;       // posted statuses, in order
  std::vector<std::string> Logs() const;           // posted log lines
  std::vector<double> Progress() const;            // posted progress values
  std::string LastStatus() const;
  std::string LastLog() const;
  double LastProgress() const;  // -1 when none was posted

  UpdaterController controller;
  RecordingView view;
  NoticeQueue queue;
  OperationWorker worker;
  std::vector<WorkerNotice> notices;

 private:
  std::vector<std::string> TextsOf(int code) const;
  bool RenderUntil(const std::function<bool()>& done, int seconds);
  bool done_ = false;
};

namespace wfbench {

// Polls `done` until it holds; false once `limit` has passed.
template <typename Predicate>
bool WaitUntil(Predicate done, std::chrono::milliseconds limit = std::chrono::seconds(5)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace wfbench
