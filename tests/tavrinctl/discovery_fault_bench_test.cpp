// Discovery with an instrument that answers create_link and then nothing:
// the run ends in seconds, lists the others and leaves nothing behind.
// Stalls i1; puts it back.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/bench_env.h"
#include "tests/tavrinctl/ctl_runner_support.h"

namespace {

}  // namespace

TEST(DiscoveryFaultBench, AStalledResponderNeitherHoldsNorJoinsTheList) {
  REQUIRE_BENCH();
  // A tavrinctl discover logs in a file of its own beside the window's log.
  const std::string log = bench::ProgramDir() + "instruments/discover.log";
  const std::string logBefore = ReadFile(log);
  ASSERT_EQ(bench::Run("ctl i1 vxi=stall_after_link"), 0);
  const auto start = std::chrono::steady_clock::now();
  CtlRun run = RunCtl("discover");
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(bench::Run("ctl i1 vxi=on"), 0);

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("198.18.0.12 (Tavrin,TVS-9020,TV9020B0002,3.1.0)\n"), std::string::npos)
      << run.out;
  EXPECT_NE(run.out.find("(Tavrin,TVS-8010,TV8010A0003,2.4.1)\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("198.18.0.11"), std::string::npos) << "no identification, no entry";
  EXPECT_LT(seconds, 20.0) << "one identification is cut after 5 s";
  // On disk: the run's opening line in the log, and nothing else.
  const std::string logAfter = ReadFile(log);
  ASSERT_EQ(logAfter.compare(0, logBefore.size(), logBefore), 0);
  const std::string added = logAfter.substr(logBefore.size());
  EXPECT_EQ(std::count(added.begin(), added.end(), '\n'), 1) << added;
  EXPECT_EQ(added.rfind("=============", 0), 0u) << added;
}
