// Setting a bench instrument's hostname through the controller; owns i1's
// hostname for the test's length and puts it back.
#include <gtest/gtest.h>

#include "core/operator_view.h"
#include "tests/support/bench_env.h"
#include "tests/workflows/instrument_state_support.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/shell_safe_text.h"
#include "workflows/workflows.h"

using Texts = std::vector<std::string>;

TEST(SetHostNameBench, TheInstrumentTakesTheTrimmedNameAndTheNextConnectReadsItBack) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  WorkflowHarness harness;
  harness.view.UseAddress(bench::kI1);
  harness.view.SetText(IdcHostName, "  wf-bench-7\t ");
  ASSERT_TRUE(harness.Run(BeginSetHostName));

  EXPECT_EQ(harness.controller.hostNameToSet, "wf-bench-7");
  EXPECT_EQ(harness.Statuses(), (Texts{"Connecting...", "Connected.", "Setting hostname...",
                                       "Setting hostname complete."}));
  EXPECT_EQ(harness.LastProgress(), 100);
  EXPECT_EQ(keeper.Run("hostname; cat /etc/hostname"), "wf-bench-7\nwf-bench-7\n");

  WorkflowHarness next;
  ASSERT_TRUE(next.RunAt(bench::kI1, BeginConnect));
  EXPECT_EQ(next.view.GetText(IdcHostName), "wf-bench-7");
}

TEST(SetHostNameBench, ANameWithShellCharactersIsRefusedBeforeAnythingReachesTheInstrument) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  keeper.Run("rm -f /tmp/wf_injected");
  const std::string before = keeper.Run("hostname");
  for (const char* name : {"x;touch /tmp/wf_injected", "$(touch /tmp/wf_injected)",
                           "`touch /tmp/wf_injected`", "x\" && touch /tmp/wf_injected && \"x"}) {
    WorkflowHarness harness;
    harness.view.UseAddress(bench::kI1);
    harness.view.SetText(IdcHostName, name);
    EXPECT_FALSE(harness.Begin(BeginSetHostName)) << name;
    EXPECT_EQ(harness.view.messages, Texts{kHostNameNotShellSafe}) << name;
    EXPECT_TRUE(harness.view.statuses.empty()) << "no login was tried for " << name;
  }
  EXPECT_EQ(keeper.Run("[ -e /tmp/wf_injected ] || echo clean"), "clean\n");
  EXPECT_EQ(keeper.Run("hostname"), before);
}
