#include "console/options.h"

#include <cctype>
#include <climits>

namespace console {

bool sleepFlag = true;

namespace {

const char kUsage[] =
    " benchterm <rip=...> [options]\n"
    " rip\t\tthe server's ip address.\n"
    " q\t\t\texit this console\n"
    " -help print this information.\n";

std::string lowercase(const char* text) {
  std::string copy(text);
  for (char& c : copy)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return copy;
}

bool is_help_word(const std::string& word) {
  return word == "-help" || word == "--help" || word == "-h";
}

// False when the argument sets no option.
bool apply_argument(const std::string& arg, OptionTable& table) {
  std::string::size_type eq = arg.find('=');
  if (eq == std::string::npos) {
    table.emplace(arg, std::string());  // a bare word never replaces a value
    return is_help_word(arg);
  }
  auto it = table.find(arg.substr(0, eq));
  if (it == table.end()) return false;
  it->second = arg.substr(eq + 1);
  return true;
}

}  // namespace

UnusedArguments parse_options(int argc, const char* const* argv, OptionTable& table) {
  table["lip"] = "";  // the address the instrument reaches us at, once linked
  table["rip"] = kDefaultInstrumentAddress;
  table["method"] = "3";
  table["mode"] = "1";
  table["sleep"] = "1";
  UnusedArguments unused;
  for (int i = 1; i < argc; ++i)
    if (!apply_argument(lowercase(argv[i]), table)) unused.push_back(argv[i]);
  sleepFlag = read_int(table["sleep"]) != 0;
  return unused;
}

StartCheck check_options(const OptionTable& table, const UnusedArguments& unused,
                         std::FILE* out) {
  bool refused = table.count("-help") != 0 || !unused.empty();
  bool help = table.count("--help") != 0 || table.count("-h") != 0;
  if (refused || help) {
    std::fputs(kUsage, out);
    std::fputs("\n", out);
  }
  if (option_value(table, "rip").empty()) {
    std::fputs("Please enter the IP address of the server as an argument.\n", out);
    std::fputs("Use -help for more information.\n", out);
    refused = true;
  }
  std::fflush(out);
  if (refused) return StartCheck::Refused;
  return help ? StartCheck::Help : StartCheck::Connect;
}

std::string option_value(const OptionTable& table, const std::string& key) {
  auto it = table.find(key);
  return it == table.end() ? std::string() : it->second;
}

int read_int(const std::string& text) {
  std::string::size_type i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

}  // namespace console
