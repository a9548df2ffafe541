#include "console/options.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace console {
namespace {

OptionTable Parse(std::vector<const char*> args, UnusedArguments* unused = nullptr) {
  args.insert(args.begin(), "benchterm");
  OptionTable table;
  UnusedArguments rest = parse_options(static_cast<int>(args.size()), args.data(), table);
  if (unused != nullptr) *unused = rest;
  return table;
}

// What the start check prints for these arguments, and its verdict.
std::pair<std::string, StartCheck> Start(const std::vector<const char*>& args) {
  UnusedArguments unused;
  OptionTable table = Parse(args, &unused);
  char* text = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&text, &size);
  StartCheck verdict = check_options(table, unused, out);
  std::fclose(out);
  std::string printed(text, size);
  std::free(text);
  return {printed, verdict};
}

const char kUsage[] =
    " benchterm <rip=...> [options]\n rip\t\tthe server's ip address.\n"
    " q\t\t\texit this console\n -help print this information.\n\n";
const char kNoAddress[] =
    "Please enter the IP address of the server as an argument.\nUse -help for more information.\n";

TEST(Options, DefaultsWithoutArguments) {
  OptionTable table = Parse({});
  EXPECT_EQ(table, (OptionTable{{"lip", ""},
                                {"rip", kDefaultInstrumentAddress},
                                {"method", "3"},
                                {"mode", "1"},
                                {"sleep", "1"}}));
  EXPECT_TRUE(sleepFlag);
  EXPECT_EQ(Start({}), std::make_pair(std::string(), StartCheck::Connect));
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
}

// A word that sets no option could be a mistyped address: the console shows
// the usage instead of connecting to the default address.
TEST(Options, WordsThatSetNoOptionAreRefusedAndHelpWordsEndWell) {
  const struct {
    std::vector<const char*> args;
    StartCheck verdict;
    std::string printed;
  } cases[] = {
      {{"foo"}, StartCheck::Refused, kUsage},
      {{"rip"}, StartCheck::Refused, kUsage},
      {{"RPI=10.1.2.3"}, StartCheck::Refused, kUsage},
      {{"-help=1"}, StartCheck::Refused, kUsage},
      {{"rip=10.1.2.3", "q"}, StartCheck::Refused, kUsage},
      {{"--help", "-help"}, StartCheck::Refused, kUsage},
      {{"--help", "rip="}, StartCheck::Refused, std::string(kUsage) + kNoAddress},
      {{"--help"}, StartCheck::Help, kUsage},
      {{"-H", "rip=10.1.2.3"}, StartCheck::Help, kUsage},
      {{"rip=10.1.2.3", "method=2", "lip=", "mode=0", "sleep=0"}, StartCheck::Connect, ""},
  };
  for (const auto& c : cases) {
    std::string args;
    for (const char* arg : c.args) args += std::string(" ") + arg;
    EXPECT_EQ(Start(c.args), std::make_pair(c.printed, c.verdict)) << args;
  }
  UnusedArguments unused;
  Parse({"Foo", "rip=10.1.2.3", "-h", "RPI=x"}, &unused);
  EXPECT_EQ(unused, (UnusedArguments{"Foo", "RPI=x"}));
}

TEST(Options, SleepZeroTurnsPausesOff) {
  const std::pair<const char*, bool> cases[] = {
      {"sleep=0", false}, {"sleep=x", false}, {"sleep=2", true}};
  for (const auto& [option, flag] : cases) {
    Parse({option});
    EXPECT_EQ(sleepFlag, flag) << option;
  }
}

TEST(Options, TextToIntegerRule) {
  const std::pair<const char*, int> cases[] = {
      {"4x", 4}, {"x", 0}, {"", 0}, {"  -12", -12}, {"+7", 7}, {"- 7", 0},
      {"99999999999999999999", 2147483647}, {"-99999999999999999999", -2147483647 - 1}};
  for (const auto& [text, value] : cases) EXPECT_EQ(read_int(text), value) << text;
}

}  // namespace
}  // namespace console
