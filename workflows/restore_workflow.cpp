// Restore: the family's rollback section, told by "NeedReboot" whether to
// finish with a reboot.
#include "core/operation_codes.h"
#include "core/updater_controller.h"
#include "scripts/script_interpreter.h"
#include "workflows/history_recording.h"
#include "workflows/operation_worker.h"
#include "workflows/workflow_support.h"
#include "workflows/workflows.h"

void BeginRestore(UpdaterController& controller, OperationWorker& worker) {
  if (!ValidateInstrumentChoice(controller)) return;
  SetOperationControlsEnabled(controller, false);
  controller.targetAddress = SelectedAddress(controller);
  ProbeCredentials(controller);
  controller.progressValue = 0;
  controller.progressStep = ProgressStepFor(controller, PieceRollback);
  worker.Request(OpRestore);
}

void RunRestore(UpdaterController& controller, bool checkConnection, bool needReboot) {
  if (checkConnection) {
    if (!CheckConnection(controller)) return;
    RecordInstrumentBefore(controller);  // a restore of its own, not one inside an upgrade
  }
  const ScriptSet* set = controller.CurrentScriptSet();
  if (set == nullptr || set->rollbackSection.empty()) return;
  controller.PostStatus("Restoring...");
  ScriptVariables variables{{"NeedReboot", needReboot ? "true" : "false"}};
  switch (RunScriptSection(controller, set->rollbackSection, variables)) {
    case ScriptSuccess:
      controller.PostStatus("Restoring complete.");
      // After a failed upgrade the bar runs down with a negative step.
      controller.PostProgress(controller.progressStep > 0 ? 100 : 0);
      break;
    case ScriptError:
      controller.PostStatus("Restoring failed.");
      controller.PostLog("There is an error in system rollback,please try again.");
      break;
    case ScriptExit:
      controller.PostStatus("Restoring failed.");
      break;
    case ScriptCancelled:
      controller.PostStatus("Restoring cancelled.");
      controller.PostLog("The action has been cancelled.");
      break;
    default:
      break;
  }
}
