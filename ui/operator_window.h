#pragma once
// The main window object: it owns the controller with its operation log,
// the notice queue, the worker, the dialog and the presenter, and ties the
// notices to the dialog's thread.
#include <memory>
#include <string>

#include "core/notice_queue.h"
#include "core/updater_controller.h"
#include "ui/operator_dialog.h"
#include "ui/operator_presenter.h"
#include "ui/operator_window_view.h"
#include "workflows/operation_worker.h"

class RemoteShell;

struct WindowOptions {
  bool openLog = true;       // "TavrinOperator.log" and the update history
  bool startWorker = true;
  RemoteShell* shell = nullptr;  // null: SSH
};

// The desktop as the Qt window reaches it.
class QtDesktopLauncher : public DesktopLauncher {
 public:
  bool StartConsole(const std::string& program, const std::string& argument) override;
  void OpenUrl(const std::string& url) override;
};

class CInstrumentUpdaterDlg {
 public:
  explicit CInstrumentUpdaterDlg(const WindowOptions& options = WindowOptions());
  ~CInstrumentUpdaterDlg();
  CInstrumentUpdaterDlg(const CInstrumentUpdaterDlg&) = delete;
  CInstrumentUpdaterDlg& operator=(const CInstrumentUpdaterDlg&) = delete;

  // Initialises and shows the window (not modal yet).
  void Open();
  // Open, then run until the window closes.
  int DoModal();
  // Once the dialog has ended: notices are dropped from now on, the running
  // operation stops after its line and the operation log is closed. The
  // worker is joined only when the object is destroyed.
  void EndAfterClose();

  OperatorDialog& Dialog() { return dialog_; }
  OperatorPresenter& Presenter() { return presenter_; }
  UpdaterController& Controller() { return controller_; }

 private:
  void DrainNotices();

  WindowOptions options_;
  UpdaterController controller_;
  NoticeQueue notices_;
  OperationWorker worker_;
  QtDesktopLauncher launcher_;
  OperatorDialog dialog_;
  OperatorPresenter presenter_;
  bool opened_ = false;
};
