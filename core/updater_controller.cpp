#include "core/updater_controller.h"

#include "core/clock.h"
#include "core/operation_log.h"

UpdaterController::UpdaterController() = default;
UpdaterController::~UpdaterController() = default;

void UpdaterController::PostNotice(int code, const std::string& text, double value) {
  if (code == NoticeStatus) {
    std::lock_guard<std::mutex> lock(statusMutex_);
    lastStatus_ = text;
  }
  NoticeSink* sink = noticeSink;
  if (sink == nullptr) return;
  auto notice = std::make_unique<WorkerNotice>();
  notice->code = code;
  notice->text = text;
  notice->value = value;
  sink->Deliver(std::move(notice));
}

const ScriptSet* UpdaterController::CurrentScriptSet() const {
  if (familyIndex < 0 || familyIndex >= kFamilyCount) return nullptr;
  return &scriptSets[familyIndex];
}

Clock& UpdaterController::GetClock() { return clock != nullptr ? *clock : SystemClock(); }

std::string UpdaterController::LastStatus() const {
  std::lock_guard<std::mutex> lock(statusMutex_);
  return lastStatus_;
}

void UpdaterController::ClearLastStatus() {
  std::lock_guard<std::mutex> lock(statusMutex_);
  lastStatus_.clear();
}
