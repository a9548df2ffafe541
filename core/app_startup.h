#pragma once
// The toolkit-free part of the application's start: the packaging modes.
#include <functional>
#include <string>

#include "core/command_line.h"
#include "core/pack_result.h"

// Opens the operation log (the run header), runs the packaging mode and
// returns the exit status: 0 when the output was written, otherwise 1
// after one line on standard error. Touches no window toolkit. Defined beside the
// packers in scripts/, which this layer cannot reach.
int RunPackagingMode(RunMode mode, const std::string& commandLine);

// The packers a packaging mode calls (PackScriptFile and PackPackageFile).
struct PackagingOperations {
  std::function<PackResult(const std::string& input, const std::string& output)> packScript;
  std::function<PackResult(const std::string& input, const std::string& output, int kind)>
      packPackage;
};

// The mode itself: extracts the two arguments, opens the log at `logPath`
// for the run header, calls the packer the mode names and reports its
// failure on standard error.
int RunPackagingMode(RunMode mode, const std::string& commandLine, const std::string& logPath,
                     const PackagingOperations& operations);
