// tavrinctl: the operator's workflows from a shell, for scripted work.
#include <csignal>
#include <cstdio>
#include <string>

#include "tavrinctl/ctl_command.h"
#include "tavrinctl/ctl_session.h"

int main(int argc, char** argv) {
  // The RPC and SSH libraries write to sockets that an instrument may close
  // at any moment; a failed write must be an error result, not the end.
  std::signal(SIGPIPE, SIG_IGN);
  CtlCommand command;
  std::string error;
  if (!ParseCtlCommand(argc, argv, command, error)) {
    std::fprintf(stderr, "tavrinctl: %s\n\n%s", error.c_str(), kCtlUsage);
    return kCtlUsageError;
  }
  if (command.action == CtlAction::Help) {
    std::fputs(kCtlUsage, stdout);
    return 0;
  }
  return RunCtlCommand(command);
}
