#include "tavrinctl/ctl_command.h"

#include <cstdlib>
#include <cstring>

const char* const kCtlUsage =
    "Usage: tavrinctl [--json] COMMAND [ARGUMENTS]\n"
    "\n"
    "Runs one operation of Tavrin Operator on one instrument, without the window.\n"
    "Any number of runs may work side by side, each on its own instrument.\n"
    "\n"
    "Commands:\n"
    "  discover                  list the instruments found on the local networks\n"
    "                            (those InstrumentConfig.json names), one per line\n"
    "  connect ADDRESS           connect and print the instrument's identity\n"
    "  hostname ADDRESS NAME     give the instrument a new hostname\n"
    "  upgrade ADDRESS PACKAGE   upgrade from a .kfw or .kf4 package file\n"
    "  restore ADDRESS           put the previous software back\n"
    "  --help                    show this text\n"
    "\n"
    "Option:\n"
    "  --json                    print nothing while running; print one JSON\n"
    "                            document when the operation ends: \"command\",\n"
    "                            \"result\" (success, failure or busy), \"status\",\n"
    "                            \"log\", \"messages\", and \"address\"; connect adds\n"
    "                            \"family\", \"model\", \"serial\", \"package\",\n"
    "                            \"driver\", \"scpi\", \"ui\" and \"hostname\";\n"
    "                            discover gives \"instruments\" (address, idn)\n"
    "\n"
    "ADDRESS is the instrument's IPv4 address (for example 192.168.1.100).\n"
    "Progress is printed as it comes: \"status: ...\", \"log: ...\", \"progress: N\".\n"
    "Messages that the window shows in a box go to standard error.\n"
    "The update scripts and InstrumentConfig.json are those beside this program;\n"
    "the window's log TavrinOperator.log lies there too while that directory is\n"
    "writable, otherwise in $XDG_STATE_HOME/TavrinOperator/ (by default\n"
    "~/.local/state/TavrinOperator/). Each run logs to instruments/ADDRESS.log\n"
    "(discover: instruments/discover.log) in the directory of that log, and\n"
    "decodes a package into data/ADDRESS/ there.\n"
    "Ctrl-C asks the running operation to stop; a second Ctrl-C quits at once.\n"
    "\n"
    "Exit status: 0 when the operation ends with its success status (discover:\n"
    "at least one instrument listed), 1 otherwise, 2 for a usage error, 3 when\n"
    "another run is busy with the same instrument (refused at once).\n";

namespace {

struct ActionName {
  const char* name;
  CtlAction action;
  int arguments;  // after the command word
};

constexpr ActionName kActions[] = {
    {"discover", CtlAction::Discover, 0}, {"connect", CtlAction::Connect, 1},
    {"hostname", CtlAction::HostName, 2}, {"upgrade", CtlAction::Upgrade, 2},
    {"restore", CtlAction::Restore, 1},
};

bool ParseNumber(const char*& text, unsigned char& number) {
  if (*text < '0' || *text > '9') return false;
  unsigned value = 0;
  int digits = 0;
  while (*text >= '0' && *text <= '9') {
    value = value * 10 + static_cast<unsigned>(*text++ - '0');
    if (++digits > 3 || value > 255) return false;
  }
  number = static_cast<unsigned char>(value);
  return true;
}

bool ParseAddress(const char* text, unsigned char parts[4]) {
  for (int i = 0; i < 4; ++i) {
    if (!ParseNumber(text, parts[i])) return false;
    if (i < 3 && *text++ != '.') return false;
  }
  return *text == '\0';
}

}  // namespace

bool ParseCtlCommand(int argc, char** argv, CtlCommand& command, std::string& error) {
  command.json = argc >= 2 && std::strcmp(argv[1], "--json") == 0;
  if (command.json) {
    // The option is taken off; the rest reads as without it.
    --argc;
    ++argv;
  }
  if (argc < 2) {
    error = "a command is missing";
    return false;
  }
  const std::string word = argv[1];
  if (word == "--help" || word == "-h" || word == "help") {
    command.action = CtlAction::Help;
    return true;
  }
  for (const ActionName& entry : kActions) {
    if (word != entry.name) continue;
    if (argc - 2 != entry.arguments) {
      error = "wrong number of arguments for " + word;
      return false;
    }
    command.action = entry.action;
    if (entry.arguments >= 1 && !ParseAddress(argv[2], command.address)) {
      error = std::string("not an IPv4 address: ") + argv[2];
      return false;
    }
    if (entry.arguments == 2) command.argument = argv[3];
    return true;
  }
  error = "unknown command " + word;
  return false;
}
