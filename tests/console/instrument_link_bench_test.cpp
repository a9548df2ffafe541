// The console's link and interrupt channel called directly against the
// bench's instruments.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/instrument_link.h"
#include "console/query_methods.h"
#include "console/srq_channel.h"
#include "tests/support/bench_env.h"

namespace console {
namespace {

// One record for every test, as in the program: each link_open replaces
// the link it held.
InstrumentLink link;

TEST(LinkBench, CreateLinkErrorIsReturnedNegated) {
  REQUIRE_BENCH();
  ASSERT_EQ(bench::Run("ctl i4 link_error=11"), 0);
  int rc = link_open(link, bench::kI4, "inst0");
  bench::Run("ctl i4 link_error=0");
  EXPECT_EQ(rc, -11);
  EXPECT_EQ(link_open(link, bench::kI4, "inst0"), 1);
}

TEST(LinkBench, OnlyTheDeviceInst0Opens) {
  REQUIRE_BENCH();
  for (const char* device : {"inst1", "gpib0,5", "hislip0"})
    EXPECT_EQ(link_open(link, bench::kI3, device), -3) << device;
  EXPECT_EQ(link_open(link, bench::kI3, "inst0"), 1);
}

TEST(LinkBench, AReadThatFailsWithErrorSeventeenGivesEachMethodsOutcome) {
  REQUIRE_BENCH();
  // Every reply is larger than asked for, which the decoder refuses. A
  // "*STB?" query needs no status wait: each method goes straight to its read.
  ASSERT_EQ(bench::Run("ctl i4 oversize_reply=1"), 0);
  const struct {
    const char* name;
    QueryMethod method;
    const char* reply;
  } cases[] = {{"method 1", query_stb_poll, "15: IO timeout error"},
               {"method 2", query_readstb_poll, ""},
               {"method 3", query_plain, "15: IO timeout"}};
  EXPECT_EQ(link_open(link, bench::kI4, "inst0"), 1);
  for (const auto& c : cases) {
    bool error = false;
    EXPECT_EQ(c.method(link, "*STB?", error), c.reply) << c.name;
    EXPECT_TRUE(error) << c.name;
  }
  bench::Run("ctl i4 oversize_reply=");
}

TEST(LinkBench, ShortBufferKeepsReadingToTheEndAndDropsTheExcess) {
  REQUIRE_BENCH();
  ASSERT_EQ(link_open(link, bench::kI2, "inst0"), 1);
  EXPECT_GE(link_read_stb(link, true), 256);
  ASSERT_EQ(link_send_command(link, ":TEST:REPLY? 5000"), 17);
  std::vector<char> buffer(17, '\0');
  long reason = 0;
  EXPECT_EQ(link_read(link, buffer.data(), 16, false, false, 0, &reason), 16);
  EXPECT_EQ(std::string(buffer.data()), "0123456789012345");
  EXPECT_NE(reason & kReasonEnd, 0);
  // Nothing of that reply is left for the next one.
  ASSERT_GT(link_send_command(link, "*OPC?"), 0);
  std::fill(buffer.begin(), buffer.end(), '\0');
  EXPECT_EQ(link_read(link, buffer.data(), 16, false, false, 0, nullptr), 2);
  EXPECT_EQ(std::string(buffer.data()), "1\n");
}

TEST(LinkBench, InterruptChannelOpensOncePerLink) {
  REQUIRE_BENCH();
  ASSERT_TRUE(intr_server_start(on_service_request));
  ASSERT_EQ(link_open(link, bench::kI3, "inst0"), 1);
  EXPECT_EQ(link_enable_srq(link, true, "x"), 0);  // no channel yet
  EXPECT_EQ(link_create_intr_channel(link, "198.18.0.1"), 1);
  EXPECT_EQ(link_create_intr_channel(link, "198.18.0.1"), 0);
  EXPECT_EQ(srq_handle_text().rfind("3323068417 ", 0), 0u) << srq_handle_text();
  EXPECT_EQ(link_enable_srq(link, true, srq_handle_text().c_str()), 1);
  EXPECT_EQ(link_enable_srq(link, false, nullptr), 1);
  // A new link needs a channel of its own.
  ASSERT_EQ(link_open(link, bench::kI3, "inst0"), 1);
  EXPECT_EQ(link_create_intr_channel(link, "198.18.0.1"), 1);
}

}  // namespace
}  // namespace console
