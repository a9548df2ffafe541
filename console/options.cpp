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

void apply_argument(const std::string& arg, OptionTable& table) {
  std::string::size_type eq = arg.find('=');
  if (eq == std::string::npos) {
    table.emplace(arg, std::string());  // a bare word never replaces a value
    return;
  }
  auto it = table.find(arg.substr(0, eq));
  if (it != table.end()) it->second = arg.substr(eq + 1);
}

}  // namespace

void parse_options(int argc, const char* const* argv, OptionTable& table) {
  table["lip"] = "";  // the address the instrument reaches us at, once linked
  table["rip"] = kDefaultInstrumentAddress;
  table["method"] = "3";
  table["mode"] = "1";
  table["sleep"] = "1";
  for (int i = 1; i < argc; ++i) apply_argument(lowercase(argv[i]), table);
  sleepFlag = read_int(table["sleep"]) != 0;
}

bool check_options(const OptionTable& table, std::FILE* out) {
  bool ok = true;
  if (table.count("-help") != 0) {
    std::fputs(kUsage, out);
    std::fputs("\n", out);
    ok = false;
  }
  if (option_value(table, "rip").empty()) {
    std::fputs("Please enter the IP address of the server as an argument.\n", out);
    std::fputs("Use -help for more information.\n", out);
    ok = false;
  }
  std::fflush(out);
  return ok;
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
