#include "console/options.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace console {
namespace {

OptionTable Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "benchterm");
  OptionTable table;
  parse_options(static_cast<int>(args.size()), args.data(), table);
  return table;
}

// What check_options prints, and its verdict.
std::pair<std::string, bool> Check(const OptionTable& table) {
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  bool ok = check_options(table, out);
  std::fclose(out);
  std::string printed(text, size);
  std::free(text);
  return {printed, ok};
}

const char kUsage[] =
    " benchterm <rip=...> [options]\n rip\t\tthe server's ip address.\n"
    " q\t\t\texit this console\n -help print this information.\n\n";
const char kNoAddress[] =
    "Please enter the IP address of the server as an argument.\nUse -help for more information.\n";

TEST(Options, DefaultsWithoutArguments) {
  OptionTable table = Parse({});
  EXPECT_EQ(table, (OptionTable{{"lip", "127.0.0.1"},
                                {"rip", kDefaultInstrumentAddress},
                                {"method", "3"},
                                {"mode", "1"},
                                {"sleep", "1"}}));
  EXPECT_TRUE(sleepFlag);
  EXPECT_EQ(Check(table), std::make_pair(std::string(), true));
}

TEST(Options, KeysAndValuesAreLowercasedAndLaterArgumentsWin) {
  OptionTable table = Parse({"RIP=Host.Example", "Method=4x", "rip=a=b"});
  EXPECT_EQ(table["rip"], "a=b");
  EXPECT_EQ(read_int(table["method"]), 4);
  EXPECT_EQ(Parse({"RIP=Lab-Scope"})["rip"], "lab-scope");
  EXPECT_EQ(Parse({"rip=1.1.1.1", "rip=2.2.2.2"})["rip"], "2.2.2.2");
}

TEST(Options, UnknownKeysAreIgnoredAndBareWordsNeverReplaceValues) {
  OptionTable defaults = Parse({});
  EXPECT_EQ(Parse({"foo=bar", "-help=1"}), defaults);
  OptionTable words = Parse({"rip", "q", "foo"});
  EXPECT_EQ(words["rip"], kDefaultInstrumentAddress);
  EXPECT_EQ(words.count("q"), 1u);
  EXPECT_EQ(words.count("foo"), 1u);
  EXPECT_EQ(Check(words).second, true);
}

TEST(Options, SleepZeroTurnsPausesOff) {
  Parse({"sleep=0"});
  EXPECT_FALSE(sleepFlag);
  Parse({"sleep=x"});
  EXPECT_FALSE(sleepFlag);
  Parse({"sleep=2"});
  EXPECT_TRUE(sleepFlag);
}

TEST(Options, HelpAndMissingAddressAreRefusedWithTheirTexts) {
  EXPECT_EQ(Check(Parse({"-HELP"})), std::make_pair(std::string(kUsage), false));
  EXPECT_EQ(Check(Parse({"-help", "rip=198.18.0.12"})), std::make_pair(std::string(kUsage), false));
  EXPECT_EQ(Check(Parse({"rip="})), std::make_pair(std::string(kNoAddress), false));
  EXPECT_EQ(Check(Parse({"rip=", "-help"})),
            std::make_pair(std::string(kUsage) + kNoAddress, false));
}

TEST(Options, TextToIntegerRule) {
  EXPECT_EQ(read_int("4x"), 4);
  EXPECT_EQ(read_int("x"), 0);
  EXPECT_EQ(read_int(""), 0);
  EXPECT_EQ(read_int("  -12"), -12);
  EXPECT_EQ(read_int("+7"), 7);
  EXPECT_EQ(read_int("- 7"), 0);
  EXPECT_EQ(read_int("99999999999999999999"), 2147483647);
  EXPECT_EQ(read_int("-99999999999999999999"), -2147483647 - 1);
}

}  // namespace
}  // namespace console
