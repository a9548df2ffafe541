#include "tavrinctl/ctl_session.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>

#include "core/instrument_lock.h"
#include "core/notice_queue.h"
#include "core/operation_codes.h"
#include "core/operation_log.h"
#include "core/settings.h"
#include "core/update_history.h"
#include "core/updater_controller.h"
#include "instrument/discovery.h"
#include "scripts/script_files.h"
#include "tavrinctl/console_view.h"
#include "tavrinctl/ctl_outcome.h"
#include "tavrinctl/ctl_report.h"
#include "tavrinctl/ctl_signals.h"
#include "workflows/notice_rendering.h"
#include "workflows/operation_worker.h"
#include "workflows/workflows.h"

namespace {

// The window's event loop, reduced to waiting for the next notice.
class NoticeWaiter {
 public:
  explicit NoticeWaiter(NoticeQueue& queue) {
    // Runs under the queue's lock; the waiter never holds its own lock
    // while taking notices, so the two locks are always taken in this order.
    queue.SetPostedHook([this] {
      std::lock_guard<std::mutex> lock(mutex_);
      posted_ = true;
      wakeup_.notify_one();
    });
  }
  void WaitBriefly() {
    std::unique_lock<std::mutex> lock(mutex_);
    wakeup_.wait_for(lock, std::chrono::milliseconds(100), [this] { return posted_; });
    posted_ = false;
  }

 private:
  std::mutex mutex_;
  std::condition_variable wakeup_;
  bool posted_ = false;
};

void PrepareView(ConsoleView& view, const CtlCommand& command) {
  const bool discovery = command.action == CtlAction::Discover;
  view.SetCheck(IdcIpMode, !discovery);
  view.SetCheck(IdcDiscoveryMode, discovery);
  view.SetAddress(command.address);
  if (command.action == CtlAction::HostName) view.SetText(IdcHostName, command.argument);
  if (command.action == CtlAction::Upgrade || command.action == CtlAction::UpgradeCheck)
    view.SetText(IdcPackagePath, command.argument);
}

void Begin(const CtlCommand& command, UpdaterController& controller, OperationWorker& worker) {
  switch (command.action) {
    case CtlAction::Discover: BeginDiscovery(controller, worker); break;
    case CtlAction::Connect: BeginConnect(controller, worker); break;
    case CtlAction::HostName: BeginSetHostName(controller, worker); break;
    case CtlAction::Upgrade: BeginUpgrade(controller, worker); break;
    case CtlAction::UpgradeCheck: BeginUpgradeCheck(controller, worker); break;
    case CtlAction::Restore: BeginRestore(controller, worker); break;
    default: break;  // not a run on an instrument
  }
}

std::string AddressText(const CtlCommand& command) {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", command.address[0], command.address[1],
                command.address[2], command.address[3]);
  return text;
}

class Session {
 public:
  Session(const CtlCommand& command, std::FILE* out)
      : command_(command),
        out_(out),
        address_(command.action == CtlAction::Discover ? std::string() : AddressText(command)),
        view_(out, stderr, command.json),
        waiter_(queue_),
        worker_(controller_) {
    controller_.view = &view_;
    controller_.noticeSink = &queue_;
    controller_.selectedAddress = [this] { return SelectedAddress(controller_); };
    LoadInstrumentTypes(controller_);
    LoadInstallDirectory(controller_);
    LoadScriptSets(controller_);
  }
  ~Session() {
    worker_.Shutdown();
    queue_.Close();
    RemoveRunData();
  }

  int Run() {
    CatchStopSignals();
    // The lock comes first: a busy instrument is refused before anything
    // reaches it or the log.
    if (!address_.empty() &&
        lock_.Take(InstrumentRunDirectory(), address_) == InstrumentLock::Result::Busy)
      return RefuseBusy();
    OpenRunLog();
    // The address is this run's alone while the lock is held.
    controller_.dataSubdirectory = address_;
    PrepareView(view_, command_);
    worker_.Start();
    Begin(command_, controller_, worker_);
    if (!address_.empty()) SetQuitLeftovers(controller_.sourceFilePath, RunDataDirectory());
    if (controller_.operationType != OpNone) WaitUntilDone();
    const CtlOutcome outcome = Judge();
    PrintResult(outcome);
    return CtlExitStatus(outcome.error);
  }

 private:
  // The window holds TavrinOperator.log; every run here appends to the
  // file of its instrument, which the lock keeps to one run at a time.
  void OpenRunLog() {
    const std::string name = address_.empty() ? std::string("discover") : address_;
    EnsureDirectory(InstrumentRunDirectory());
    controller_.log = std::make_unique<OperationLog>(InstrumentRunDirectory() + name + ".log",
                                                     std::time(nullptr),
                                                     OperationLog::Access::Shared);
    controller_.history = std::make_unique<UpdateHistory>(HistoryPath(), "tavrinctl");
  }

  int RefuseBusy() {
    const std::string message =
        "The instrument at " + address_ + " is busy with another operation.";
    std::fprintf(stderr, "tavrinctl: %s\n", message.c_str());
    if (command_.json) {
      CtlReport report;
      report.command = CtlCommandName(command_.action);
      report.address = address_;
      report.error = CtlError::Busy;
      report.messages = {message};
      std::fprintf(out_, "%s\n", CtlJsonText(CtlReportJson(report)).c_str());
    }
    return CtlExitStatus(CtlError::Busy);
  }

  std::string RunDataDirectory() const {
    return WritableDirectory() + "data/" + controller_.dataSubdirectory;
  }

  // What a failure left in the run's own data directory, and the directory.
  void RemoveRunData() {
    if (controller_.dataSubdirectory.empty()) return;
    if (!controller_.sourceFilePath.empty()) ::unlink(controller_.sourceFilePath.c_str());
    ::rmdir(RunDataDirectory().c_str());
  }

  void WaitUntilDone() {
    int signalsSeen = 0;
    while (!done_) {
      if (StopSignalsSeen() > signalsSeen) {
        signalsSeen = StopSignalsSeen();
        std::fprintf(stderr, "Cancelling... (Ctrl-C again quits at once)\n");
        worker_.RequestCancel();
      }
      waiter_.WaitBriefly();
      queue_.Drain([this](const WorkerNotice& notice) { Handle(notice); });
    }
  }

  void Handle(const WorkerNotice& notice) {
    if (done_) return;
    if (notice.code == NoticeStatus) statuses_.push_back(notice.text);
    if (notice.code == NoticeOperationDone) done_ = true;
    RenderNotice(controller_, notice);
  }

  CtlOutcome Judge() {
    CtlRunRecord record;
    record.action = command_.action;
    record.statuses = statuses_;
    record.log = view_.LogLines();
    record.messages = view_.Messages();
    record.interrupted = StopSignalsSeen() > 0;
    record.listed = view_.ListCount();
    record.broadcast = discovery_networks_reached() > 0;
    return JudgeRun(record);
  }

  void PrintResult(const CtlOutcome& outcome) {
    if (command_.json) return PrintReport(outcome);
    if (command_.action == CtlAction::Discover) {
      for (const std::string& entry : view_.ListEntries())
        std::fprintf(out_, "%s\n", entry.c_str());
      if (outcome.error == CtlError::NotFound)
        std::fprintf(stderr, "tavrinctl: no instrument found\n");
      if (outcome.error == CtlError::DiscoveryFailed)
        std::fprintf(stderr,
                     "tavrinctl: discovery failed: no local IPv4 network to broadcast on\n");
    }
    if (command_.action == CtlAction::Connect && outcome.error == CtlError::None) PrintIdentity();
  }

  void PrintReport(const CtlOutcome& outcome) {
    CtlReport report;
    report.command = CtlCommandName(command_.action);
    report.address = controller_.targetAddress.empty() ? address_ : controller_.targetAddress;
    report.error = outcome.error;
    report.changed = outcome.changed;
    report.status = statuses_.empty() ? std::string() : statuses_.back();
    report.log = view_.LogLines();
    report.messages = view_.Messages();
    nlohmann::json document = CtlReportJson(report);
    if (command_.action == CtlAction::Discover)
      document["instruments"] = DiscoveredListJson(view_.ListEntries());
    if (command_.action == CtlAction::Connect && outcome.error == CtlError::None)
      AddIdentity(document);
    if (command_.action == CtlAction::UpgradeCheck) AddCheck(document, outcome);
    std::fprintf(out_, "%s\n", CtlJsonText(document).c_str());
  }

  void AddIdentity(nlohmann::json& document) {
    document["family"] = FamilyName(controller_.familyCode);
    for (const auto& field : kIdentityFields) document[field.key] = view_.GetText(field.id);
  }

  // What the dry run found: the family, and whether the upgrade would put
  // an unfinished earlier update's software back first (null when the
  // check did not get that far).
  void AddCheck(nlohmann::json& document, const CtlOutcome& outcome) {
    document["check"] = true;
    document["family"] = FamilyName(controller_.familyCode);
    const std::vector<std::string>& log = view_.LogLines();
    document["pending"] =
        outcome.error != CtlError::None
            ? nlohmann::json()
            : nlohmann::json(std::find(log.begin(), log.end(), kUpdatePendingFound) != log.end());
  }

  void PrintIdentity() {
    for (const auto& field : kIdentityFields)
      std::fprintf(out_, "%s: %s\n", field.label, view_.GetText(field.id).c_str());
  }

  struct IdentityField {
    const char* label;
    const char* key;  // in the JSON report
    int id;
  };
  static constexpr IdentityField kIdentityFields[] = {
      {"Model Number", "model", IdcModelNumber},         {"Serial Number", "serial", IdcSerialNumber},
      {"Installed Package", "package", IdcPackageVersion}, {"Tavrin Driver", "driver", IdcDriverVersion},
      {"Tavrin SCPI", "scpi", IdcScpiVersion},           {"Tavrin UI", "ui", IdcUiVersion},
      {"Hostname", "hostname", IdcHostName}};

  const CtlCommand& command_;
  std::FILE* out_;
  const std::string address_;  // empty for discover
  InstrumentLock lock_;
  UpdaterController controller_;
  ConsoleView view_;
  NoticeQueue queue_;
  NoticeWaiter waiter_;
  OperationWorker worker_;
  std::vector<std::string> statuses_;
  bool done_ = false;
};

}  // namespace

int RunCtlCommand(const CtlCommand& command, std::FILE* out) {
  Session session(command, out);
  return session.Run();
}
