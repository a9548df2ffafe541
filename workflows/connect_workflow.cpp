// Connect: the family and login by the credential probe, then the family's
// device-information section reads the instrument's identity.
#include "core/operation_codes.h"
#include "core/operator_view.h"
#include "core/updater_controller.h"
#include "scripts/script_interpreter.h"
#include "workflows/operation_worker.h"
#include "workflows/workflow_support.h"
#include "workflows/workflows.h"

namespace {

constexpr int kIdentityFields[] = {IdcModelNumber,    IdcSerialNumber, IdcPackageVersion,
                                   IdcDriverVersion, IdcScpiVersion,  IdcUiVersion};

std::string ValueOf(const ScriptVariables& variables, const char* name) {
  auto it = variables.find(name);
  return it == variables.end() ? std::string() : it->second;
}

}  // namespace

void BeginConnect(UpdaterController& controller, OperationWorker& worker) {
  if (!ValidateInstrumentChoice(controller)) return;
  for (int id : kIdentityFields) controller.view->SetText(id, std::string());
  SetOperationControlsEnabled(controller, false);
  controller.targetAddress = SelectedAddress(controller);
  // A failed probe leaves the connection empty; the worker's connection
  // check then reports it.
  ProbeCredentials(controller);
  controller.progressValue = 0;
  controller.progressStep = ProgressStepFor(controller, PieceDeviceInfo);
  worker.Request(OpConnect);
}

void RunConnect(UpdaterController& controller) {
  const bool connected = CheckConnection(controller);
  const ScriptSet* set = controller.CurrentScriptSet();
  if (!connected || set == nullptr || set->deviceInfoSection.empty()) return;
  controller.PostStatus("Connecting...");
  ScriptVariables variables;
  switch (RunScriptSection(controller, set->deviceInfoSection, variables)) {
    case ScriptSuccess:
      controller.PostStatus("Connection established.");
      controller.PostProgress(100);
      controller.PostNotice(NoticeDeviceInfo, ValueOf(variables, "ModelSerial"));
      controller.PostNotice(NoticeHostName, ValueOf(variables, "HostName"));
      break;
    case ScriptError:
      controller.PostStatus("Connection failed.");
      controller.PostLog("There is an error in the operation,please try again.");
      break;
    case ScriptExit:
      controller.PostStatus("Connection failed.");
      break;
    case ScriptCancelled:
      controller.PostStatus("Connection cancelled.");
      controller.PostLog("The action has been cancelled.");
      break;
    default:
      break;
  }
}
