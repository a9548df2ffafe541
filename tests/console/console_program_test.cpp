#include "console/console_program.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/console/term_runner.h"

namespace console {
namespace {

TEST(IpAddress, AcceptsDottedQuadsWithinRange) {
  for (const char* ok : {"0.0.0.0", "255.255.255.255", "198.18.0.12", "010.001.0.00"})
    EXPECT_TRUE(is_valid_ip_address(ok)) << ok;
}

TEST(IpAddress, RefusesEverythingElse) {
  for (const char* bad : {"10.0.0.256", "1.2.3", "1.2.3.4.", ".1.2.3", "1..2.3", "a.b.c.d",
                          "1.2.3.4.5", "", "1.2.3.+4", "1.2.3.-0", "1.2.3. 4",
                          "1.2.3.99999999999999999999", "host.example"})
    EXPECT_FALSE(is_valid_ip_address(bad)) << bad;
}

TEST(QueryMethodChoice, OneToFourSelectTheirMethodAnyOtherTheFirst) {
  EXPECT_EQ(select_query_method(1), query_stb_poll);
  EXPECT_EQ(select_query_method(2), query_readstb_poll);
  EXPECT_EQ(select_query_method(3), query_plain);
  EXPECT_EQ(select_query_method(4), query_srq_wait);
  for (int other : {0, 5, -1, 40}) EXPECT_EQ(select_query_method(other), query_stb_poll);
}

TEST(QueryMethodChoice, NoLinkGivesTheWriteFailedOutcome) {
  // Methods 1 and 3 report the failed write; 2 and 4 end quietly.
  for (int method = 1; method <= 4; ++method) {
    InstrumentLink none;
    bool error = method % 2 == 0;
    EXPECT_EQ(select_query_method(method)(none, "*IDN?", error), "") << method;
    EXPECT_EQ(error, method % 2 == 1) << method;
  }
}

const char kUsageText[] =
    " benchterm <rip=...> [options]\n rip\t\tthe server's ip address.\n"
    " q\t\t\texit this console\n -help print this information.\n\n";
const char kNoAddressText[] =
    "Please enter the IP address of the server as an argument.\nUse -help for more information.\n";

// Refused options end the program before any connection is tried.
TEST(ProgramRefusal, HelpAndEmptyAddressEndWithStatusOne) {
  const std::pair<std::vector<std::string>, std::string> cases[] = {
      {{"rip="}, kNoAddressText},
      {{"-HELP"}, kUsageText},
      {{"-help", "rip=198.18.0.12"}, kUsageText},
      {{"RIP=", "-HELP"}, std::string(kUsageText) + kNoAddressText},
  };
  for (const auto& [args, out] : cases) {
    SCOPED_TRACE(args.front());
    console_test::PipedRun run = console_test::RunPiped(args, "");
    EXPECT_EQ(run.out, out);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
  }
}

// Every case names a loopback address, so that even a console that went on
// would reach nothing beyond this computer.
TEST(ProgramRefusal, UnknownWordsEndWithStatusOneAndHelpWordsWithZero) {
  const struct {
    std::vector<std::string> args;
    int status;
  } cases[] = {
      {{"rip=127.0.0.1", "foo"}, 1},
      {{"rpi=10.1.2.3", "rip=127.0.0.1"}, 1},
      {{"rip=127.0.0.1", "--help"}, 0},
      {{"-h", "rip=127.0.0.1"}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.front() + " " + c.args.back());
    console_test::PipedRun run = console_test::RunPiped(c.args, "");
    EXPECT_EQ(run.out, kUsageText);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, c.status);
  }
}

}  // namespace
}  // namespace console
