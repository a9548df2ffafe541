#pragma once
// Command-line options of benchterm: an option table filled from key=value
// arguments and bare words, and the check that refuses to go on.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace console {

// Keys are lowercase and unique; values are the lowercased argument text.
using OptionTable = std::map<std::string, std::string>;

// The instrument address used when no "rip" argument is given: a private
// address, the same one the operator window shows at start.
constexpr const char* kDefaultInstrumentAddress = "192.168.1.100";

// Non-zero "sleep": pause 1 ms before every polling retry.
extern bool sleepFlag;

// Arguments that set no option: bare words other than the help words
// "-help", "--help" and "-h", and key=value arguments whose key is unknown.
using UnusedArguments = std::vector<std::string>;

// Inserts the defaults, then applies argv[1..argc-1]; sets sleepFlag.
// Returns the arguments it could not use, as given.
UnusedArguments parse_options(int argc, const char* const* argv, OptionTable& table);

// What the start check decides: connect; end with status 0 after the usage
// ("--help", "-h"); or end with status 1 (refused).
enum class StartCheck { Connect, Help, Refused };

// Prints the usage or refusal texts to `out`. A word that sets no option
// could be a mistyped address, so the console does not go on with the
// default one.
StartCheck check_options(const OptionTable& table, const UnusedArguments& unused,
                         std::FILE* out = stdout);

// The value of `key`, or an empty text when the table lacks it.
std::string option_value(const OptionTable& table, const std::string& key);

// The usual text-to-integer rule: leading blanks, an optional sign, decimal
// digits up to the first other character; no digits read as 0. Values beyond
// the range of int are clamped.
int read_int(const std::string& text);

}  // namespace console
