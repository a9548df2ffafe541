// The packaging modes of TavrinOperator with the real packers.
#include "core/app_startup.h"
#include "core/operation_log.h"
#include "scripts/script_files.h"

int RunPackagingMode(RunMode mode, const std::string& commandLine) {
  const PackagingOperations operations{PackScriptFile, PackPackageFile};
  return RunPackagingMode(mode, commandLine, OperationLogPath(), operations);
}
