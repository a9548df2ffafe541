// tavrinctl: the operator's workflows from a shell, for scripted work.
#include <csignal>
#include <cstdio>
#include <string>

#include "tavrinctl/ctl_command.h"
#include "tavrinctl/ctl_history.h"
#include "tavrinctl/ctl_inventory.h"
#include "tavrinctl/ctl_output.h"
#include "tavrinctl/ctl_report.h"
#include "tavrinctl/ctl_session.h"

namespace {

int RefuseUsage(const CtlCommand& command, const std::string& error, std::FILE* out) {
  std::fprintf(stderr, "tavrinctl: %s\n\n%s", error.c_str(), kCtlUsage);
  if (command.json) {
    CtlReport report;
    report.error = CtlError::Usage;
    report.messages = {error};
    std::fprintf(out, "%s\n", CtlJsonText(CtlReportJson(report)).c_str());
  }
  return CtlExitStatus(CtlError::Usage);
}

void PrintVersion(const CtlCommand& command, std::FILE* out) {
  if (!command.json) {
    std::fprintf(out, "tavrinctl %s\n", kCtlVersion);
    return;
  }
  nlohmann::json document = CtlReportJson(CtlReport());
  document["command"] = "version";
  document["version"] = kCtlVersion;
  std::fprintf(out, "%s\n", CtlJsonText(document).c_str());
}

int Run(int argc, char** argv, std::FILE* out) {
  CtlCommand command;
  std::string error;
  if (!ParseCtlCommand(argc, argv, command, error)) return RefuseUsage(command, error, out);
  if (command.action == CtlAction::Help) {
    std::fputs(kCtlUsage, out);
    return 0;
  }
  if (command.action == CtlAction::Version) {
    PrintVersion(command, out);
    return 0;
  }
  if (command.action == CtlAction::History) return RunHistoryCommand(command, out);
  if (command.action == CtlAction::Inventory) return RunInventoryCommand(command, out);
  return RunCtlCommand(command, out);
}

}  // namespace

int main(int argc, char** argv) {
  // The RPC and SSH libraries write to sockets that an instrument may close
  // at any moment; a failed write must be an error result, not the end.
  // The same holds for a reader of standard output that went away.
  std::signal(SIGPIPE, SIG_IGN);
  CtlOutput output;
  const int status = Run(argc, argv, output.stream());
  // A result that could not be written is no success.
  if (!output.Finish() && status == 0) return 1;
  return status;
}
