#include "tavrinctl/ctl_session.h"

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>

#include "core/notice_queue.h"
#include "core/operation_codes.h"
#include "core/operation_log.h"
#include "core/settings.h"
#include "core/updater_controller.h"
#include "scripts/script_files.h"
#include "tavrinctl/console_view.h"
#include "workflows/notice_rendering.h"
#include "workflows/operation_worker.h"
#include "workflows/workflows.h"

namespace {

volatile sig_atomic_t g_interrupts = 0;

void OnInterrupt(int) {
  g_interrupts = g_interrupts + 1;
  if (g_interrupts < 2) return;
  static const char kQuit[] = "tavrinctl: interrupted\n";
  ssize_t ignored = write(STDERR_FILENO, kQuit, sizeof kQuit - 1);
  (void)ignored;
  _exit(1);
}

void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
}

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

const char* SuccessStatus(int operation) {
  switch (operation) {
    case OpConnect: return "Connection established.";
    case OpSetHostName: return "Setting hostname complete.";
    case OpUpgrade: return "Upgrading completed, the instrument is now rebooting.";
    case OpRestore: return "Restoring complete.";
    default: return nullptr;
  }
}

void PrepareView(ConsoleView& view, const CtlCommand& command) {
  const bool discovery = command.action == CtlAction::Discover;
  view.SetCheck(IdcIpMode, !discovery);
  view.SetCheck(IdcDiscoveryMode, discovery);
  view.SetAddress(command.address);
  if (command.action == CtlAction::HostName) view.SetText(IdcHostName, command.argument);
  if (command.action == CtlAction::Upgrade) view.SetText(IdcPackagePath, command.argument);
}

void Begin(const CtlCommand& command, UpdaterController& controller, OperationWorker& worker) {
  switch (command.action) {
    case CtlAction::Discover: BeginDiscovery(controller, worker); break;
    case CtlAction::Connect: BeginConnect(controller, worker); break;
    case CtlAction::HostName: BeginSetHostName(controller, worker); break;
    case CtlAction::Upgrade: BeginUpgrade(controller, worker); break;
    case CtlAction::Restore: BeginRestore(controller, worker); break;
    case CtlAction::Help: break;
  }
}

class Session {
 public:
  Session() : view_(stdout, stderr), waiter_(queue_), worker_(controller_) {
    controller_.view = &view_;
    controller_.noticeSink = &queue_;
    controller_.selectedAddress = [this] { return SelectedAddress(controller_); };
    // Held exclusively: while the window runs, it keeps the log to itself.
    controller_.log = std::make_unique<OperationLog>(OperationLogPath());
    LoadInstrumentTypes(controller_);
    LoadInstallDirectory(controller_);
    LoadScriptSets(controller_);
  }
  ~Session() {
    worker_.Shutdown();
    queue_.Close();
  }

  int Run(const CtlCommand& command) {
    PrepareView(view_, command);
    worker_.Start();
    CatchInterrupts();
    Begin(command, controller_, worker_);
    if (controller_.operationType == OpNone) return 1;  // refused before it started
    WaitUntilDone();
    return Report(command);
  }

 private:
  void WaitUntilDone() {
    int interruptsSeen = 0;
    while (!done_) {
      if (g_interrupts > interruptsSeen) {
        interruptsSeen = g_interrupts;
        std::fprintf(stderr, "Cancelling... (Ctrl-C again quits at once)\n");
        worker_.RequestCancel();
      }
      waiter_.WaitBriefly();
      queue_.Drain([this](const WorkerNotice& notice) { Handle(notice); });
    }
  }

  void Handle(const WorkerNotice& notice) {
    if (done_) return;
    if (notice.code == NoticeStatus) lastStatus_ = notice.text;
    if (notice.code == NoticeOperationDone) done_ = true;
    RenderNotice(controller_, notice);
  }

  int Report(const CtlCommand& command) {
    const int operation = controller_.operationType;
    if (operation == OpDiscover) {
      for (const std::string& entry : view_.ListEntries()) std::printf("%s\n", entry.c_str());
      return view_.ListEntries().empty() ? 1 : 0;
    }
    const char* success = SuccessStatus(operation);
    const bool succeeded = success != nullptr && lastStatus_ == success;
    if (command.action == CtlAction::Connect && succeeded) PrintIdentity();
    return succeeded ? 0 : 1;
  }

  void PrintIdentity() {
    static const struct {
      const char* label;
      int id;
    } kFields[] = {{"Model Number", IdcModelNumber},     {"Serial Number", IdcSerialNumber},
                   {"Installed Package", IdcPackageVersion}, {"Tavrin Driver", IdcDriverVersion},
                   {"Tavrin SCPI", IdcScpiVersion},       {"Tavrin UI", IdcUiVersion},
                   {"Hostname", IdcHostName}};
    for (const auto& field : kFields)
      std::printf("%s: %s\n", field.label, view_.GetText(field.id).c_str());
  }

  UpdaterController controller_;
  ConsoleView view_;
  NoticeQueue queue_;
  NoticeWaiter waiter_;
  OperationWorker worker_;
  std::string lastStatus_;
  bool done_ = false;
};

}  // namespace

int RunCtlCommand(const CtlCommand& command) {
  Session session;
  const int status = session.Run(command);
  std::fflush(stdout);
  return status;
}
