#include "console/options.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
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


TEST(Options, DefaultsWithoutArguments) {
  OptionTable table = Parse({});
  EXPECT_EQ(table, (OptionTable{{"lip", ""},
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
