#pragma once
// tavrinctl's command line: one operation and its arguments.
#include <string>

enum class CtlAction { Help, Discover, Connect, HostName, Upgrade, Restore };

struct CtlCommand {
  CtlAction action = CtlAction::Help;
  unsigned char address[4] = {0, 0, 0, 0};
  std::string argument;  // the hostname or the package path
};

// False (with the reason in `error`) when the arguments are not a command.
bool ParseCtlCommand(int argc, char** argv, CtlCommand& command, std::string& error);

extern const char* const kCtlUsage;
