// benchterm's command line: any arguments through the option table and the
// check that decides whether the console starts, and the text-to-number
// rule every numeric option goes through. Arguments are NUL-separated.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console/options.h"
#include "fuzz/fuzz_support.h"

namespace {

// The C library's reading of the same text, clamped to int.
int ReferenceInt(const std::string& text) {
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments{"benchterm"};
  while (size > 0 && arguments.size() < 64) arguments.push_back(fuzz::Take(data, size, '\0'));
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  console::OptionTable table;
  const console::UnusedArguments unused =
      console::parse_options(static_cast<int>(arguments.size()), argv.data(), table);
  static std::FILE* sink = std::fopen("/dev/null", "w");
  const bool starts = console::check_options(table, unused, sink) == console::StartCheck::Connect;
  // The console starts only with an address to connect to and with every
  // argument an option: the table holds the five options and nothing else.
  if (starts)
    FUZZ_CHECK(!console::option_value(table, "rip").empty() && unused.empty() && table.size() == 5);
  for (const auto& option : table) {
    // Values are plain text up to their first NUL: the C library agrees.
    FUZZ_CHECK(console::read_int(option.second) == ReferenceInt(option.second));
  }
  return 0;
}
