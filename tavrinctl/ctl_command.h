#pragma once
// tavrinctl's command line: one operation and its arguments.
#include <string>

enum class CtlAction { Help, Version, Discover, Connect, HostName, Upgrade, Restore };

struct CtlCommand {
  CtlAction action = CtlAction::Help;
  bool json = false;  // one JSON document on standard output at the end
  unsigned char address[4] = {0, 0, 0, 0};
  std::string argument;  // the hostname or the package path
};

// False (with the reason in `error`) when the arguments are not a command.
// The options (--json, --help, --version) may stand before, between or after
// the command's words; "--" ends them, so that a later word may begin with
// "-". `command.json` is set even when the rest is refused.
bool ParseCtlCommand(int argc, char** argv, CtlCommand& command, std::string& error);

// "discover", "connect", ...; "" for --help and --version.
const char* CtlCommandName(CtlAction action);

extern const char* const kCtlUsage;
