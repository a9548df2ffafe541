#include "core/app_startup.h"

#include "core/operation_log.h"

int RunPackagingMode(RunMode mode, const std::string& commandLine, const std::string& logPath,
                     const PackagingOperations& operations) {
  std::string first;
  std::string second;
  ExtractArguments(commandLine, mode, first, second);
  // Every run leaves its header in the log, as the window object does at
  // construction; the packaging modes write no lines after it.
  OperationLog log(logPath);
  switch (mode) {
    case RunMode::ScriptCompanion:
      if (operations.packScript) operations.packScript(first, second);
      break;
    case RunMode::PackageKfw:
      if (operations.packPackage) operations.packPackage(first, second, 1);
      break;
    case RunMode::PackageKf4:
      if (operations.packPackage) operations.packPackage(first, second, 2);
      break;
    case RunMode::Interactive:
      break;
  }
  return 0;
}
