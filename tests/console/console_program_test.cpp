#include "console/console_program.h"

#include "tests/console/term_runner.h"

#include <gtest/gtest.h>

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
  InstrumentLink none;
  bool error = false;
  EXPECT_EQ(query_stb_poll(none, "*IDN?", error), "");
  EXPECT_TRUE(error);
  EXPECT_EQ(query_readstb_poll(none, "*IDN?", error), "");
  EXPECT_FALSE(error);
  EXPECT_EQ(query_plain(none, "*IDN?", error), "");
  EXPECT_TRUE(error);
  EXPECT_EQ(query_srq_wait(none, "*IDN?", error), "");
  EXPECT_FALSE(error);
}

}  // namespace
}  // namespace console

// Refused options end the program before any connection is tried.

namespace console {
namespace {

const char kUsageText[] =
    " benchterm <rip=...> [options]\n rip\t\tthe server's ip address.\n"
    " q\t\t\texit this console\n -help print this information.\n\n";
const char kNoAddressText[] =
    "Please enter the IP address of the server as an argument.\nUse -help for more information.\n";

TEST(ProgramRefusal, HelpAndEmptyAddressEndWithStatusOne) {
  console_test::PipedRun empty = console_test::RunPiped({"rip="}, "");
  EXPECT_EQ(empty.out, kNoAddressText);
  EXPECT_EQ(empty.status, 1);
  console_test::PipedRun help = console_test::RunPiped({"-help", "rip=198.18.0.12"}, "");
  EXPECT_EQ(help.out, kUsageText);
  EXPECT_EQ(help.status, 1);
  console_test::PipedRun both = console_test::RunPiped({"RIP=", "-HELP"}, "");
  EXPECT_EQ(both.out, std::string(kUsageText) + kNoAddressText);
  EXPECT_EQ(both.status, 1);
  EXPECT_EQ(both.err, "");
}

}  // namespace
}  // namespace console
