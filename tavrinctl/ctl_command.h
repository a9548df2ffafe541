#pragma once
// tavrinctl's command line: one operation and its arguments.
#include <string>
#include <vector>

enum class CtlAction {
  Help,
  Version,
  Discover,
  Connect,
  HostName,
  Upgrade,
  UpgradeCheck,  // upgrade --check
  Restore,
  History,
  Inventory,
};

// Inventory: instruments connected to at once, unless --jobs says otherwise.
constexpr int kCtlDefaultJobs = 8;
constexpr int kCtlMaxJobs = 64;

struct CtlCommand {
  CtlAction action = CtlAction::Help;
  bool json = false;  // one JSON document on standard output at the end
  unsigned char address[4] = {0, 0, 0, 0};
  // The hostname, the package path, or the serial number or address that
  // history selects by (empty: every record).
  std::string argument;
  std::vector<std::string> addresses;  // inventory: as given, each once
  int jobs = kCtlDefaultJobs;          // inventory
};

// False (with the reason in `error`) when the arguments are not a command.
// The options (--json, --check, --jobs N, --help, --version) may stand
// before, between or after the command's words; "--" ends them, so that a
// later word may begin with "-". `command.json` is set even when the rest
// is refused.
bool ParseCtlCommand(int argc, char** argv, CtlCommand& command, std::string& error);

// "discover", "connect", ... ("upgrade" also with --check); "" for --help
// and --version.
const char* CtlCommandName(CtlAction action);

extern const char* const kCtlUsage;
