#pragma once
// tavrinctl's command line: one operation and its arguments.
#include <string>

enum class CtlAction { Help, Discover, Connect, HostName, Upgrade, Restore };

// Exit statuses beyond 0 (success) and 1 (the operation failed).
constexpr int kCtlUsageError = 2;
constexpr int kCtlInstrumentBusy = 3;

struct CtlCommand {
  CtlAction action = CtlAction::Help;
  bool json = false;  // one JSON document on standard output at the end
  unsigned char address[4] = {0, 0, 0, 0};
  std::string argument;  // the hostname or the package path
};

// False (with the reason in `error`) when the arguments are not a command.
// "--json" may come before the command word.
bool ParseCtlCommand(int argc, char** argv, CtlCommand& command, std::string& error);

extern const char* const kCtlUsage;
