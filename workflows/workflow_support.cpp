#include "workflows/workflow_support.h"

#include "core/updater_controller.h"

double ProgressStepFor(const UpdaterController& controller, ScriptPiece piece) {
  const ScriptSet* set = controller.CurrentScriptSet();
  if (set == nullptr || set->lineCounts[piece] == 0) return 100.0;
  return 100.0 / set->lineCounts[piece];
}

const std::string& PieceText(const ScriptSet& set, ScriptPiece piece) {
  switch (piece) {
    case PieceRollback: return set.rollbackSection;
    case PieceCheckUpdatePending: return set.checkUpdatePendingSection;
    case PieceDeviceInfo: return set.deviceInfoSection;
    case PieceSetHostName: return set.setHostNameSection;
    case PieceMainBody: break;
  }
  return set.mainBody;
}

std::string FileNameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}
