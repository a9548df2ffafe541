#include "tests/workflows/workflow_harness_support.h"

#include <chrono>
#include <thread>

#include "core/operation_codes.h"
#include "core/settings.h"
#include "scripts/script_files.h"
#include "workflows/notice_rendering.h"
#include "workflows/workflows.h"

WorkflowHarness::WorkflowHarness(bool startWorker) : worker(controller) {
  controller.view = &view;
  controller.noticeSink = &queue;
  controller.selectedAddress = [this] { return SelectedAddress(controller); };
  LoadInstrumentTypes(controller);
  LoadScriptSets(controller);
  view.messages.clear();  // only what the workflow shows counts
  if (startWorker) worker.Start();
}

WorkflowHarness::~WorkflowHarness() {
  worker.Shutdown();
  queue.Close();
}

bool WorkflowHarness::Begin(const BeginHalf& begin) {
  controller.operationType = OpNone;
  done_ = false;
  begin(controller, worker);
  return controller.operationType != OpNone;
}

bool WorkflowHarness::RenderUntil(const std::function<bool()>& done, int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    std::unique_ptr<WorkerNotice> notice = queue.Take();
    if (!notice) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    notices.push_back(*notice);
    if (notice->code == NoticeOperationDone) done_ = true;
    RenderNotice(controller, *notice);
  }
  return true;
}

bool WorkflowHarness::WaitUntilDone(int seconds) {
  return RenderUntil([this] { return done_; }, seconds);
}

bool WorkflowHarness::WaitForStatus(const std::string& status, int seconds) {
  return RenderUntil([this, status] { return done_ || LastStatus() == status; }, seconds) &&
         LastStatus() == status;
}

std::vector<std::string> WorkflowHarness::TextsOf(int code) const {
  std::vector<std::string> texts;
  for (const WorkerNotice& notice : notices)
    if (notice.code == code) texts.push_back(notice.text);
  return texts;
}

std::vector<std::string> WorkflowHarness::Statuses() const { return TextsOf(NoticeStatus); }
std::vector<std::string> WorkflowHarness::Logs() const { return TextsOf(NoticeLog); }

std::vector<double> WorkflowHarness::Progress() const {
  std::vector<double> values;
  for (const WorkerNotice& notice : notices)
    if (notice.code == NoticeProgress) values.push_back(notice.value);
  return values;
}

std::string WorkflowHarness::LastLog() const {
  std::vector<std::string> logs = Logs();
  return logs.empty() ? std::string() : logs.back();
}

double WorkflowHarness::LastProgress() const {
  std::vector<double> values = Progress();
  return values.empty() ? -1 : values.back();
}

std::string WorkflowHarness::LastStatus() const {
  std::vector<std::string> statuses = Statuses();
  return statuses.empty() ? std::string() : statuses.back();
}
