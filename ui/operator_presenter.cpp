#include "ui/operator_presenter.h"

#include "core/operation_codes.h"
#include "core/operation_log.h"
#include "core/settings.h"
#include "core/updater_controller.h"
#include "scripts/script_files.h"
#include "ui/operator_window_view.h"
#include "workflows/notice_rendering.h"
#include "workflows/operation_worker.h"
#include "workflows/workflows.h"

const char* const kHelpLines[9] = {
    "To connect Tavrin Operator to an instrument, either",
    "Select IP and enter the address, or select DISCOVERY and choose from the dropdown",
    " ",
    "To operate your instrument, use",
    "The SCPI COMMAND CONSOLE or TAVRINUI buttons",
    " ",
    "To update your instrument,",
    "Download the latest software package from the website,",
    "Browse to the file location in PACKAGE and click UPGRADE",
};

namespace {

constexpr int kLogItemHeight = 20;
constexpr std::size_t kMaxCommandLine = 259;

void SetBrowseFor(OperatorWindowView& view, int familyCode) {
  if (familyCode == 2)
    view.SetBrowseDialog("kf4", "kf4 files|*.kf4||");
  else
    view.SetBrowseDialog("kfw", "kfw files|*.kfw||");
}

}  // namespace

OperatorPresenter::OperatorPresenter(UpdaterController& controller, OperatorWindowView& view,
                                     OperationWorker& worker, DesktopLauncher& launcher)
    : controller_(controller), view_(view), worker_(worker), launcher_(launcher) {
  controller_.view = &view_;
  UpdaterController* c = &controller_;
  controller_.selectedAddress = [c] { return SelectedAddress(*c); };
}

void OperatorPresenter::Initialise(bool startWorker) {
  controller_.cancelRequested = false;
  controller_.operationType = OpNone;
  view_.SetAddress(kDefaultAddress);
  view_.SetLogItemHeight(kLogItemHeight);
  SetBrowseFor(view_, 1);
  view_.SetProgressRange(0, 100);
  view_.SetText(IdcHostName, std::string());
  view_.SetCheck(IdcIpMode, true);
  view_.Enable(IdcAddress, true);
  view_.SetCheck(IdcDiscoveryMode, false);
  view_.Enable(IdcDiscovery, false);
  view_.Enable(IdcInstrumentList, false);
  LoadInstrumentTypes(controller_);
  LoadInstallDirectory(controller_);
  LoadScriptSets(controller_);
  controller_.targetAddress = SelectedAddress(controller_);
  for (const char* line : kHelpLines) AddLogLine(line);
  if (startWorker) worker_.Start();
}

void OperatorPresenter::OnConnect() { BeginConnect(controller_, worker_); }
void OperatorPresenter::OnApply() { BeginSetHostName(controller_, worker_); }
void OperatorPresenter::OnUpgrade() { BeginUpgrade(controller_, worker_); }
void OperatorPresenter::OnRestore() { BeginRestore(controller_, worker_); }
void OperatorPresenter::OnDiscovery() { BeginDiscovery(controller_, worker_); }
void OperatorPresenter::OnCancel() { worker_.RequestCancel(); }

void OperatorPresenter::OnIpMode() {
  // The two radio buttons are independent controls: each click sets both.
  view_.SetCheck(IdcIpMode, true);
  view_.Enable(IdcAddress, true);
  view_.SetCheck(IdcDiscoveryMode, false);
  view_.Enable(IdcDiscovery, false);
  view_.Enable(IdcInstrumentList, false);
}

void OperatorPresenter::OnDiscoveryMode() {
  view_.SetCheck(IdcDiscoveryMode, true);
  view_.Enable(IdcAddress, false);
  view_.SetCheck(IdcIpMode, false);
  view_.Enable(IdcDiscovery, true);
  view_.Enable(IdcInstrumentList, true);
}

void OperatorPresenter::OnChoiceChanged() {
  controller_.userName.clear();
  controller_.password.clear();
  controller_.familyCode = 0;
  controller_.familyIndex = 0;
}

void OperatorPresenter::OnPackageFieldFocus() { SetBrowseFor(view_, controller_.familyCode); }

void OperatorPresenter::OnConsole() {
  controller_.PostLog("Opening scpi command console...");
  // The install directory is used as it is, separator added.
  const std::string program = ConsoleDirectory(controller_) + "/benchterm";
  const std::string argument = "rip=" + SelectedAddress(controller_);
  const std::string commandLine = program + " " + argument;
  bool started = program.size() <= kMaxCommandLine && commandLine.size() <= kMaxCommandLine &&
                 launcher_.StartConsole(program, argument);
  controller_.PostLog(started ? "SCPI Console is running." : "Unable to start SCPI Console.");
}

void OperatorPresenter::OnWebUi() {
  controller_.PostLog("Open TavrinUI");
  if (!ValidateInstrumentChoice(controller_)) return;
  launcher_.OpenUrl("http://" + SelectedAddress(controller_));
}

bool OperatorPresenter::ConfirmClose() {
  if (!controller_.operationBusy) return true;
  return view_.MessageBox(kCloseQuestion, true);
}

bool OperatorPresenter::OnCloseCommand() {
  if (!ConfirmClose()) return false;
  worker_.RequestCancel();
  return true;
}

bool OperatorPresenter::OnSystemClose() { return ConfirmClose(); }

void OperatorPresenter::Shutdown() { worker_.Shutdown(); }

void OperatorPresenter::AddLogLine(const std::string& line) {
  if (line.empty()) return;
  view_.LogAppend(line);
  const int width = view_.MeasureLogLine(line);
  if (width > widestLogLine_) {
    widestLogLine_ = width;
    view_.SetLogExtent(width);
  }
  view_.RepaintLog();
}

void OperatorPresenter::HandleNotice(const WorkerNotice& notice) {
  // Log lines widen the list's extent, which only the window has; every
  // other notice is rendered as any view renders it.
  if (notice.code == NoticeLog) {
    AddLogLine(notice.text);
    if (controller_.log) controller_.log->AppendLine(notice.text);
    return;
  }
  RenderNotice(controller_, notice);
}
