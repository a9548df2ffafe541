// Upgrade: the package is checked against the instrument's family and
// decoded on the window's thread; the worker rolls back an unfinished
// earlier update, then runs the family's main body.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "core/operation_codes.h"
#include "core/operator_view.h"
#include "core/worker_notice.h"
#include "core/settings.h"
#include "core/updater_controller.h"
#include "scripts/script_files.h"
#include "scripts/script_interpreter.h"
#include "workflows/history_recording.h"
#include "workflows/operation_worker.h"
#include "workflows/shell_safe_text.h"
#include "workflows/notice_rendering.h"
#include "workflows/workflow_support.h"
#include "workflows/workflows.h"

namespace {

std::string LowerExtensionOf(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  std::string extension = dot == std::string::npos ? std::string() : path.substr(dot + 1);
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension;
}

std::string WithArchiveExtension(const std::string& name) {
  const std::size_t dot = name.find_last_of('.');
  return (dot == std::string::npos ? name + "." : name.substr(0, dot + 1)) + "tgz";
}

bool IsWritableDirectory(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) return false;
  return access(path.c_str(), W_OK | X_OK) == 0;
}

// The family's extension check; empty when the package fits.
std::string FamilyMismatchMessage(int familyCode, const std::string& extension) {
  if (familyCode == 1 && extension != "kfw")
    return "Upgrade package does not match target instrument,\n"
           "Please select a package with extension kfw.";
  if (familyCode == 2 && extension != "kf4")
    return "Upgrade package does not match target instrument,\n"
           "Please select a package with extension kf4.";
  return std::string();
}

// Shows the message, gives the controls back; nothing has started.
void Refuse(UpdaterController& controller, const std::string& message) {
  controller.view->MessageBox(message);
  SetOperationControlsEnabled(controller, true);
}

// "data" where the program writes, or the run's own directory under it.
std::string DataDirectory(const UpdaterController& controller) {
  std::string dataDirectory = WritableDirectory() + "data";
  if (!controller.dataSubdirectory.empty()) dataDirectory += "/" + controller.dataSubdirectory;
  return dataDirectory;
}

void RefuseDataDirectory(UpdaterController& controller, const std::string& dataDirectory) {
  Refuse(controller, "The data directory (" + dataDirectory +
                         ") is not writable,\nplease check its permissions.");
}

// Decodes the package into the data directory; false after showing why it
// could not.
bool DecodeIntoDataDirectory(UpdaterController& controller, const std::string& packagePath,
                             const std::string& extension) {
  const std::string dataDirectory = DataDirectory(controller);
  const std::string decodedPath = dataDirectory + "/" + WithArchiveExtension(FileNameOf(packagePath));
  EnsureDirectory(decodedPath);
  // Otherwise a directory we cannot write would read as a damaged package.
  if (!IsWritableDirectory(dataDirectory)) {
    RefuseDataDirectory(controller, dataDirectory);
    return false;
  }
  const int kind = extension == "kfw" ? 1 : 2;
  if (!DecodePackage(packagePath, decodedPath, kind)) {
    Refuse(controller, "The upgrade package has wrong format.");
    return false;
  }
  controller.sourceFileName = FileNameOf(decodedPath);
  controller.sourceFilePath = decodedPath;
  return true;
}

// Whether the decode could write the data directory, creating nothing: the
// directory, or else the nearest directory above it that exists, must be
// writable. False after showing why not.
bool CanDecodeIntoDataDirectory(UpdaterController& controller) {
  const std::string dataDirectory = DataDirectory(controller);
  std::string existing = dataDirectory;
  struct stat info;
  while (stat(existing.c_str(), &info) != 0 && existing.find('/') != std::string::npos)
    existing.erase(existing.find_last_of('/'));
  if (!existing.empty() && IsWritableDirectory(existing)) return true;
  RefuseDataDirectory(controller, dataDirectory);
  return false;
}

void RollBackAfterFailure(UpdaterController& controller, const ScriptSet& set) {
  const int lines = set.lineCounts[PieceRollback];
  controller.progressStep = -controller.progressValue / (lines == 0 ? 1 : lines);
  RunRestore(controller, false, true);
}

bool RollbackRequested(const ScriptVariables& variables) {
  auto it = variables.find("Rollback");
  return it != variables.end() && !it->second.empty();
}

// False when the upgrade must end here.
bool RunPendingStateCheck(UpdaterController& controller, const ScriptSet& set) {
  controller.PostStatus("Checking previous state...");
  ScriptVariables variables;
  switch (RunScriptSection(controller, set.checkUpdatePendingSection, variables)) {
    case ScriptSuccess:
      // An earlier update was left unfinished: put the old software back
      // first, whatever that gives.
      controller.progressValue = 0;
      controller.progressStep = ProgressStepFor(controller, PieceRollback);
      RunRestore(controller, false, false);
      return true;
    case ScriptError:
      controller.PostStatus("Checking previous state failed.");
      controller.PostLog("There is an error in checking pending state.");
      return true;
    case ScriptReconnectFailed:
      controller.PostStatus("Upgrading failed.");
      controller.PostLog("Reconnection to the instrument failed,please check the ip address.");
      return false;
    case ScriptCancelled:
      controller.PostStatus("Upgrading cancelled.");
      controller.PostLog("The action has been cancelled.");
      return false;
    default:
      return true;
  }
}

void RunMainBody(UpdaterController& controller, const ScriptSet& set) {
  controller.PostStatus("Upgrading...");
  controller.progressValue = 0;
  controller.progressStep = ProgressStepFor(controller, PieceMainBody);
  ScriptVariables variables{{"SourceFilePath", controller.sourceFilePath},
                            {"SourceFileName", controller.sourceFileName},
                            {"RemoteIP", controller.targetAddress}};
  switch (RunScriptSection(controller, set.mainBody, variables)) {
    case ScriptSuccess:
      controller.PostStatus("Upgrading completed, the instrument is now rebooting.");
      controller.PostProgress(100);
      break;
    case ScriptError:
      controller.PostStatus("Upgrading failed.");
      if (RollbackRequested(variables))
        RollBackAfterFailure(controller, set);
      else
        controller.PostLog("There is an error in the operation,please try again.");
      break;
    case ScriptExit:
      controller.PostStatus("Upgrading failed.");
      if (RollbackRequested(variables)) RollBackAfterFailure(controller, set);
      break;
    case ScriptExitVersion:
      controller.PostStatus("Upgrade not supported.");
      controller.PostProgress(0);
      break;
    case ScriptReconnectFailed:
      controller.PostStatus("Upgrading failed.");
      controller.PostLog("Failure to reconnect to the device,please check the ip.");
      break;
    case ScriptCancelled:
      controller.PostStatus("Upgrading cancelled.");
      controller.PostLog("The action has been cancelled.");
      break;
  }
}

// The steps of the Upgrade command up to the package's decoding: the
// package named and shell-safe, the instrument chosen, its family found by
// the credential probe and matched by the package's extension. False after
// showing why not; `extension` is the package's, lower-cased.
bool AcceptUpgradeRequest(UpdaterController& controller, std::string& packagePath,
                          std::string& extension) {
  SetOperationControlsEnabled(controller, false);
  packagePath = controller.view->GetText(IdcPackagePath);
  if (packagePath.empty()) {
    Refuse(controller, "Please select an upgrade package.");
    return false;
  }
  // The archive keeps this name on the instrument, where the script's
  // shell lines expand it as plain text.
  if (!IsShellSafeText(FileNameOf(packagePath))) {
    Refuse(controller, kPackageNameNotShellSafe);
    return false;
  }
  if (!ValidateInstrumentChoice(controller)) {
    SetOperationControlsEnabled(controller, true);
    return false;
  }
  controller.targetAddress = SelectedAddress(controller);
  const bool probed = ProbeCredentials(controller);
  extension = LowerExtensionOf(packagePath);
  if (!probed) {
    Refuse(controller, "Connection to the instrument failed,please check the ip address.");
    // The address may well be right: say what really stood in the way.
    // Rendered here, on the window's thread: no operation starts whose
    // notices would carry it.
    if (!controller.loginFailureCause.empty())
      RenderNotice(controller, WorkerNotice{NoticeLog, controller.loginFailureCause, 0});
    return false;
  }
  const std::string mismatch = FamilyMismatchMessage(controller.familyCode, extension);
  if (!mismatch.empty()) {
    Refuse(controller, mismatch);
    return false;
  }
  return true;
}

}  // namespace

const char* const kUpdatePendingFound =
    "An earlier update is still pending: the upgrade would first put the previous software back.";

void BeginUpgrade(UpdaterController& controller, OperationWorker& worker) {
  std::string packagePath;
  std::string extension;
  if (!AcceptUpgradeRequest(controller, packagePath, extension)) return;
  if (!DecodeIntoDataDirectory(controller, packagePath, extension)) return;
  controller.targetAddress = SelectedAddress(controller);
  controller.packagePath = packagePath;
  controller.progressValue = 0;
  controller.progressStep = ProgressStepFor(controller, PieceCheckUpdatePending);
  worker.Request(OpUpgrade);
}

void BeginUpgradeCheck(UpdaterController& controller, OperationWorker& worker) {
  std::string packagePath;
  std::string extension;
  if (!AcceptUpgradeRequest(controller, packagePath, extension)) return;
  if (!CanDecodeIntoDataDirectory(controller)) return;
  if (!CheckPackage(packagePath, extension == "kfw" ? 1 : 2)) {
    Refuse(controller, "The upgrade package has wrong format.");
    return;
  }
  // The archive's name as the upgrade would send it; nothing is decoded.
  controller.sourceFileName = WithArchiveExtension(FileNameOf(packagePath));
  controller.sourceFilePath.clear();
  controller.packagePath = packagePath;
  controller.progressValue = 0;
  controller.progressStep = ProgressStepFor(controller, PieceCheckUpdatePending);
  worker.Request(OpUpgradeCheck);
}

void RunUpgrade(UpdaterController& controller) {
  const bool connected = CheckConnection(controller);
  if (connected) RecordInstrumentBefore(controller);
  const ScriptSet* set = controller.CurrentScriptSet();
  if (!connected || set == nullptr) return;
  if (!set->checkUpdatePendingSection.empty() && !RunPendingStateCheck(controller, *set)) return;
  if (!set->mainBody.empty()) RunMainBody(controller, *set);
}

void RunUpgradeCheck(UpdaterController& controller) {
  const bool connected = CheckConnection(controller);
  const ScriptSet* set = controller.CurrentScriptSet();
  if (!connected || set == nullptr) return;
  if (!set->checkUpdatePendingSection.empty()) {
    controller.PostStatus("Checking previous state...");
    ScriptVariables variables;
    switch (RunScriptSection(controller, set->checkUpdatePendingSection, variables)) {
      case ScriptSuccess:
        controller.PostLog(kUpdatePendingFound);
        break;
      case ScriptError:
        // The upgrade would go on regardless.
        controller.PostStatus("Checking previous state failed.");
        controller.PostLog("There is an error in checking pending state.");
        break;
      case ScriptReconnectFailed:
        controller.PostStatus("Upgrade check failed.");
        controller.PostLog("Reconnection to the instrument failed,please check the ip address.");
        return;
      case ScriptCancelled:
        controller.PostStatus("Upgrade check cancelled.");
        controller.PostLog("The action has been cancelled.");
        return;
      default:
        controller.PostLog("No earlier update is pending.");
        break;
    }
  }
  if (set->mainBody.empty()) {
    controller.PostLog("The family's update script holds no upgrade: nothing would be installed.");
    controller.PostStatus("Upgrade check failed.");
    return;
  }
  controller.PostLog("The package " + FileNameOf(controller.packagePath) +
                     " checks out and fits the instrument's family, " +
                     (controller.familyCode == 1 ? "kfw." : "kf4."));
  controller.PostLog("The upgrade would send " + controller.sourceFileName + " to " +
                     controller.targetAddress + " and run the family's update script there.");
  controller.PostStatus("Upgrade check passed.");
  controller.PostProgress(100);
}
