#include "core/app_startup.h"

#include <cstdio>

#include "core/operation_log.h"

namespace {

// One line on standard error for a run that did not write its output; the
// exit status then tells scripts that the package is missing.
int ReportPackResult(const PackResult& result) {
  if (result.status == PackResult::Written) return 0;
  const char* verb = result.status == PackResult::InputUnreadable ? "read" : "write";
  std::fprintf(stderr, "TavrinOperator: cannot %s %s\n", verb, result.path.c_str());
  return 1;
}

}  // namespace

int RunPackagingMode(RunMode mode, const std::string& commandLine, const std::string& logPath,
                     const PackagingOperations& operations) {
  std::string first;
  std::string second;
  ExtractArguments(commandLine, mode, first, second);
  // Every run leaves its header in the log, as the window object does at
  // construction; the packaging modes write no lines after it.
  OperationLog log(logPath);
  PackResult result;
  switch (mode) {
    case RunMode::ScriptCompanion:
      if (operations.packScript) result = operations.packScript(first, second);
      break;
    case RunMode::PackageKfw:
      if (operations.packPackage) result = operations.packPackage(first, second, 1);
      break;
    case RunMode::PackageKf4:
      if (operations.packPackage) result = operations.packPackage(first, second, 2);
      break;
    case RunMode::Interactive:
      break;
  }
  return ReportPackResult(result);
}
