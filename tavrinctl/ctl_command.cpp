#include "tavrinctl/ctl_command.h"

#include <cstring>
#include <vector>

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
    "\n"
    "Options (anywhere on the line; \"--\" ends them):\n"
    "  --json                    print nothing while running; print one JSON\n"
    "                            document when the operation ends (schema 1):\n"
    "                            \"schema\", \"command\", \"result\" (success,\n"
    "                            failure or busy), \"error\" (null or a code such\n"
    "                            as connection_failed), \"changed\", \"status\",\n"
    "                            \"log\", \"messages\", and \"address\"; connect adds\n"
    "                            \"family\", \"model\", \"serial\", \"package\",\n"
    "                            \"driver\", \"scpi\", \"ui\" and \"hostname\";\n"
    "                            discover gives \"instruments\" (address, idn).\n"
    "                            The manual page lists every field and code.\n"
    "  --help                    show this text\n"
    "  --version                 show the program's version\n"
    "\n"
    "ADDRESS is the instrument's IPv4 address (for example 192.168.1.100).\n"
    "Progress is printed as it comes: \"status: ...\", \"log: ...\", \"progress: N\".\n"
    "Messages that the window shows in a box, and the diagnostics of the\n"
    "instrument connections, go to standard error.\n"
    "The update scripts and InstrumentConfig.json are those beside this program;\n"
    "the window's log TavrinOperator.log lies there too while the program is not\n"
    "installed (a program directory under /usr/ or /opt/, or one the user cannot\n"
    "write), otherwise in $XDG_STATE_HOME/TavrinOperator/ (by default\n"
    "~/.local/state/TavrinOperator/). Each run logs to instruments/ADDRESS.log\n"
    "(discover: instruments/discover.log) in the directory of that log, and\n"
    "decodes a package into data/ADDRESS/ there.\n"
    "Ctrl-C, SIGTERM or SIGHUP asks the running operation to stop: the line it\n"
    "runs finishes and the run ends as usual. A second one quits at once, with\n"
    "exit status 128 + the signal's number (130 for Ctrl-C).\n"
    "\n"
    "Exit status: 0 when the operation ends with its success status (discover:\n"
    "at least one instrument listed), 1 otherwise (also when the output could\n"
    "not be written), 2 for a usage error, 3 when another run is busy with the\n"
    "same instrument (refused at once), 4 when discover could not broadcast on\n"
    "any network.\n";

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

struct Options {
  bool help = false;
  bool version = false;
};

// Takes the options out of the words; false on an unknown one.
bool TakeOptions(int argc, char** argv, CtlCommand& command, Options& options,
                 std::vector<std::string>& words, std::string& error) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded || word.size() < 2 || word[0] != '-') {
      words.push_back(word);
    } else if (word == "--") {
      optionsEnded = true;
    } else if (word == "--json") {
      command.json = true;
    } else if (word == "--help" || word == "-h") {
      options.help = true;
    } else if (word == "--version") {
      options.version = true;
    } else if (error.empty()) {
      error = "unknown option " + word;
    }
  }
  return error.empty();
}

}  // namespace

bool ParseCtlCommand(int argc, char** argv, CtlCommand& command, std::string& error) {
  command = CtlCommand();
  Options options;
  std::vector<std::string> words;
  if (!TakeOptions(argc, argv, command, options, words, error)) return false;
  // --help and --version answer whatever else the line holds.
  if (options.help || (!words.empty() && words[0] == "help")) {
    command.action = CtlAction::Help;
    return true;
  }
  if (options.version) {
    command.action = CtlAction::Version;
    return true;
  }
  if (words.empty()) {
    error = "a command is missing";
    return false;
  }
  const std::string& word = words[0];
  for (const ActionName& entry : kActions) {
    if (word != entry.name) continue;
    if (static_cast<int>(words.size()) - 1 != entry.arguments) {
      error = "wrong number of arguments for " + word;
      return false;
    }
    command.action = entry.action;
    if (entry.arguments >= 1 && !ParseAddress(words[1].c_str(), command.address)) {
      error = "not an IPv4 address: " + words[1];
      return false;
    }
    if (entry.arguments == 2) command.argument = words[2];
    return true;
  }
  error = "unknown command " + word;
  return false;
}

const char* CtlCommandName(CtlAction action) {
  for (const ActionName& entry : kActions)
    if (entry.action == action) return entry.name;
  return "";
}
