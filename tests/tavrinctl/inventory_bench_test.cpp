// tavrinctl inventory on the bench: one row per instrument, whatever the
// instrument answered.
#include <gtest/gtest.h>

#include <string>

#include "core/instrument_lock.h"
#include "tests/support/bench_env.h"
#include "tests/tavrinctl/ctl_runner_support.h"

// i1 answers, nothing answers at 198.18.0.99, and another run holds i2.
TEST(InventoryBench, EveryInstrumentHasItsRowInTheOrderGiven) {
  REQUIRE_BENCH();
  InstrumentLock held;
  ASSERT_EQ(held.Take(InstrumentRunDirectory(), bench::kI2), InstrumentLock::Result::Taken);
  const CtlRun run =
      RunCtl(std::string("inventory ") + bench::kI1 + " 198.18.0.99 " + bench::kI2);
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out,
            "address,model,serial,family,package,driver,scpi,ui,hostname,result,error\r\n"
            "198.18.0.11,TVS-8010,TV8010A0001,kfw,2.4.1,1.8.0,1.5.2,2.0.3,i1,success,\r\n"
            "198.18.0.99,,,,,,,,,failure,connection_failed\r\n"
            "198.18.0.12,,,,,,,,,busy,busy\r\n");
  EXPECT_NE(run.err.find("1 of 3 instruments answered"), std::string::npos) << run.err;
}
