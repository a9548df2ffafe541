#include "ui/operator_window.h"

#include <QDesktopServices>
#include <QMetaObject>
#include <QUrl>

#include "core/operation_log.h"
#include "core/settings.h"
#include "core/update_history.h"
#include "ui/console_launcher.h"

bool QtDesktopLauncher::StartConsole(const std::string& program, const std::string& argument) {
  return StartInTerminal(program, argument);
}

void QtDesktopLauncher::OpenUrl(const std::string& url) {
  QDesktopServices::openUrl(QUrl(QString::fromStdString(url)));
}

CInstrumentUpdaterDlg::CInstrumentUpdaterDlg(const WindowOptions& options)
    : options_(options),
      worker_(controller_),
      presenter_(controller_, dialog_, worker_, launcher_) {
  if (options_.openLog) {
    controller_.log = std::make_unique<OperationLog>(OperationLogPath());
    controller_.history = std::make_unique<UpdateHistory>(HistoryPath(), "TavrinOperator");
  }
  controller_.shell = options_.shell;
  controller_.noticeSink = &notices_;
  // Runs on the posting thread under the queue's lock: only post an event
  // to the dialog, which drains the queue on its own thread.
  notices_.SetPostedHook([this] {
    QMetaObject::invokeMethod(&dialog_, [this] { DrainNotices(); }, Qt::QueuedConnection);
  });
  dialog_.Attach(&presenter_);
}

CInstrumentUpdaterDlg::~CInstrumentUpdaterDlg() {
  // Notices posted from now on are dropped; then the running operation is
  // cancelled and the worker joined before anything it uses goes away.
  notices_.Close();
  dialog_.Attach(nullptr);
  presenter_.Shutdown();
  controller_.noticeSink = nullptr;
}

void CInstrumentUpdaterDlg::DrainNotices() {
  notices_.Drain([this](const WorkerNotice& notice) { presenter_.HandleNotice(notice); });
}

void CInstrumentUpdaterDlg::Open() {
  if (opened_) return;
  opened_ = true;
  presenter_.Initialise(options_.startWorker);
  dialog_.show();
}

void CInstrumentUpdaterDlg::EndAfterClose() {
  notices_.Close();
  controller_.cancelRequested = true;
  // Only the window's thread writes the log, and it handles no more
  // notices: the next start may have the file.
  controller_.log.reset();
}

int CInstrumentUpdaterDlg::DoModal() {
  Open();
  return dialog_.exec();
}
