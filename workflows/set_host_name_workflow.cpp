// Set hostname: the family's set-hostname section with "HostName".
#include "core/operation_codes.h"
#include "core/operator_view.h"
#include "core/updater_controller.h"
#include "scripts/script_interpreter.h"
#include "workflows/history_recording.h"
#include "workflows/operation_worker.h"
#include "workflows/shell_safe_text.h"
#include "workflows/workflow_support.h"
#include "workflows/workflows.h"

namespace {

std::string Trimmed(const std::string& text) {
  const char* blanks = " \t\r\n\v\f";
  const std::size_t first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

}  // namespace

void BeginSetHostName(UpdaterController& controller, OperationWorker& worker) {
  if (!ValidateInstrumentChoice(controller)) return;
  const std::string name = Trimmed(controller.view->GetText(IdcHostName));
  if (name.empty()) {
    controller.view->MessageBox("Please enter a hostname.");
    return;
  }
  // The section expands the name into shell command lines on the
  // instrument as plain text.
  if (!IsShellSafeText(name)) {
    controller.view->MessageBox(kHostNameNotShellSafe);
    return;
  }
  controller.hostNameToSet = name;
  SetOperationControlsEnabled(controller, false);
  controller.targetAddress = SelectedAddress(controller);
  ProbeCredentials(controller);
  controller.progressValue = 0;
  controller.progressStep = ProgressStepFor(controller, PieceSetHostName);
  worker.Request(OpSetHostName);
}

void RunSetHostName(UpdaterController& controller) {
  const bool connected = CheckConnection(controller);
  if (connected) RecordInstrumentBefore(controller);
  const ScriptSet* set = controller.CurrentScriptSet();
  if (!connected || set == nullptr || set->setHostNameSection.empty()) return;
  controller.PostStatus("Setting hostname...");
  ScriptVariables variables{{"HostName", controller.hostNameToSet}};
  switch (RunScriptSection(controller, set->setHostNameSection, variables)) {
    case ScriptSuccess:
      controller.PostStatus("Setting hostname complete.");
      controller.PostProgress(100);
      break;
    case ScriptError:
    case ScriptReconnectFailed:
      controller.PostStatus("Setting hostname failed.");
      controller.PostLog("There is an error in setting hostname.");
      break;
    case ScriptExit:
      controller.PostStatus("Setting hostname failed.");
      break;
    case ScriptCancelled:
      controller.PostStatus("Setting hostname cancelled.");
      controller.PostLog("The action has been cancelled.");
      break;
    default:
      break;
  }
}
