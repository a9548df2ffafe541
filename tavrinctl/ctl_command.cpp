#include "tavrinctl/ctl_command.h"

#include <algorithm>
#include <iterator>
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
    "  upgrade --check ADDRESS PACKAGE\n"
    "                            only the steps that change nothing: log in, find\n"
    "                            the family, check the package, ask the script\n"
    "                            whether an earlier update is pending; say what the\n"
    "                            upgrade would do\n"
    "  restore ADDRESS           put the previous software back\n"
    "  history [SERIAL|ADDRESS]  the update history, oldest first: every record, or\n"
    "                            those of one serial number or address\n"
    "  inventory [ADDRESS...]    connect to each instrument (without addresses: every\n"
    "                            one discover lists), a few at once, and print one\n"
    "                            CSV row each: address, model, serial, family,\n"
    "                            versions, hostname, result and error\n"
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
    "                            discover gives \"instruments\" (address, idn),\n"
    "                            history \"records\", inventory \"instruments\"\n"
    "                            (one object per row), upgrade --check \"check\",\n"
    "                            \"family\" and \"pending\".\n"
    "                            The manual page lists every field and code.\n"
    "  --check                   upgrade: the dry run above\n"
    "  --jobs N                  inventory: connect to at most N instruments at once\n"
    "                            (1 to 64, default 8)\n"
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
    "decodes a package into data/ADDRESS/ there; the update history is\n"
    "history.jsonl there.\n"
    "Ctrl-C, SIGTERM or SIGHUP asks the running operation to stop: the line it\n"
    "runs finishes and the run ends as usual. A second one quits at once, with\n"
    "exit status 128 + the signal's number (130 for Ctrl-C).\n"
    "\n"
    "Exit status: 0 when the operation ends with its success status (discover:\n"
    "at least one instrument listed; inventory: every instrument answered), 1\n"
    "otherwise (also when the output could not be written), 2 for a usage error,\n"
    "3 when another run is busy with the same instrument (refused at once), 4 when\n"
    "discover (or inventory, to find the instruments) could not broadcast on any\n"
    "network.\n";

namespace {

// What follows the command word.
enum class Arguments {
  None,
  Address,             // ADDRESS
  AddressAndText,      // ADDRESS TEXT
  OptionalText,        // [TEXT]
  Addresses,           // [ADDRESS...]
};

struct ActionName {
  const char* name;
  CtlAction action;
  Arguments arguments;
};

constexpr ActionName kActions[] = {
    {"discover", CtlAction::Discover, Arguments::None},
    {"connect", CtlAction::Connect, Arguments::Address},
    {"hostname", CtlAction::HostName, Arguments::AddressAndText},
    {"upgrade", CtlAction::Upgrade, Arguments::AddressAndText},
    {"restore", CtlAction::Restore, Arguments::Address},
    {"history", CtlAction::History, Arguments::OptionalText},
    {"inventory", CtlAction::Inventory, Arguments::Addresses},
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

std::string AddressText(const unsigned char parts[4]) {
  return std::to_string(parts[0]) + "." + std::to_string(parts[1]) + "." +
         std::to_string(parts[2]) + "." + std::to_string(parts[3]);
}

struct Options {
  bool help = false;
  bool version = false;
  bool check = false;
  bool jobsGiven = false;
};

bool ParseJobs(const std::string& text, int& jobs) {
  if (text.empty() || text.size() > 2 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  jobs = std::stoi(text);
  return jobs >= 1 && jobs <= kCtlMaxJobs;
}

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
    } else if (word == "--check") {
      options.check = true;
    } else if (word == "--jobs" || word.compare(0, 7, "--jobs=") == 0) {
      const bool joined = word.size() > 6;
      const std::string value = joined ? word.substr(7) : (i + 1 < argc ? argv[++i] : "");
      options.jobsGiven = true;
      if (!ParseJobs(value, command.jobs) && error.empty())
        error = "--jobs takes a number from 1 to " + std::to_string(kCtlMaxJobs);
    } else if (error.empty()) {
      error = "unknown option " + word;
    }
  }
  return error.empty();
}

bool CountFits(Arguments arguments, std::size_t count) {
  switch (arguments) {
    case Arguments::None: return count == 0;
    case Arguments::Address: return count == 1;
    case Arguments::AddressAndText: return count == 2;
    case Arguments::OptionalText: return count <= 1;
    case Arguments::Addresses: return true;
  }
  return false;
}

bool TakeArguments(const ActionName& entry, const std::vector<std::string>& words,
                   CtlCommand& command, std::string& error) {
  if (!CountFits(entry.arguments, words.size() - 1)) {
    error = "wrong number of arguments for " + words[0];
    return false;
  }
  if (entry.arguments == Arguments::Addresses) {
    for (std::size_t i = 1; i < words.size(); ++i) {
      unsigned char parts[4];
      if (!ParseAddress(words[i].c_str(), parts)) {
        error = "not an IPv4 address: " + words[i];
        return false;
      }
      const std::string address = AddressText(parts);
      // A second run on the same instrument would only find it busy.
      if (std::find(command.addresses.begin(), command.addresses.end(), address) ==
          command.addresses.end())
        command.addresses.push_back(address);
    }
    return true;
  }
  const bool addressFirst =
      entry.arguments == Arguments::Address || entry.arguments == Arguments::AddressAndText;
  if (addressFirst && !ParseAddress(words[1].c_str(), command.address)) {
    error = "not an IPv4 address: " + words[1];
    return false;
  }
  if (entry.arguments == Arguments::AddressAndText) command.argument = words[2];
  if (entry.arguments == Arguments::OptionalText && words.size() == 2) command.argument = words[1];
  return true;
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
  const auto entry = std::find_if(std::begin(kActions), std::end(kActions),
                                  [&](const ActionName& e) { return words[0] == e.name; });
  if (entry == std::end(kActions)) {
    error = "unknown command " + words[0];
    return false;
  }
  if (options.check && entry->action != CtlAction::Upgrade) {
    error = "--check goes with upgrade only";
    return false;
  }
  if (options.jobsGiven && entry->action != CtlAction::Inventory) {
    error = "--jobs goes with inventory only";
    return false;
  }
  if (!TakeArguments(*entry, words, command, error)) return false;
  command.action = options.check ? CtlAction::UpgradeCheck : entry->action;
  return true;
}

const char* CtlCommandName(CtlAction action) {
  if (action == CtlAction::UpgradeCheck) return "upgrade";
  for (const ActionName& entry : kActions)
    if (entry.action == action) return entry.name;
  return "";
}
