// TavrinOperator: chooses the run mode before anything of the window
// toolkit starts, so the packaging modes run without a display.
#include <csignal>

#include "core/app_startup.h"
#include "core/command_line.h"
#include "ui/operator_app.h"

int main(int argc, char** argv) {
  // The RPC and SSH libraries write to sockets that an instrument may close
  // at any moment; a failed write must be an error result, not the end.
  std::signal(SIGPIPE, SIG_IGN);
  const std::string commandLine = JoinCommandLine(argc, argv);
  const RunMode mode = SelectRunMode(commandLine);
  if (mode != RunMode::Interactive) return RunPackagingMode(mode, commandLine);
  return RunOperatorWindow(argc, argv);
}
