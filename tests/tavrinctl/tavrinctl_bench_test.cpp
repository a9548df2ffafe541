// tavrinctl run inside the bench as an operator would script it. Uses i1
// (kfw) read-only or with its state put back, and upgrades and restores i2
// (kf4).
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <initializer_list>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "instrument/ssh_channel.h"
#include "tests/support/bench_env.h"
#include "tests/tavrinctl/ctl_runner_support.h"

namespace {

// Each of `lines` ends a line of what the program printed.
void ExpectLines(const std::string& printed, std::initializer_list<std::string> lines) {
  for (const std::string& line : lines)
    EXPECT_NE(printed.find(line + "\n"), std::string::npos) << line << " in\n" << printed;
}

void Tidy(const char* address, const char* password) {
  ssh_run_command(address, "root", password,
                  "rm -rf /tvs/releases/previous /tvs/releases/current /tvs/releases/update_pending "
                  "/tmp/tvs_update /tmp/tvs_update.tgz /tmp/kf4_update /tmp/kf4_update.tgz",
                  nullptr, nullptr, nullptr, 0);
}


std::string RunLog(const char* address) {
  return bench::ProgramDir() + "instruments/" + address + ".log";
}

nlohmann::json Document(const CtlRun& run) { return nlohmann::json::parse(run.out, nullptr, false); }

}  // namespace

TEST(TavrinctlBench, ConnectPrintsTheIdentityAndSucceeds) {
  REQUIRE_BENCH();
  CtlRun run = RunCtl("connect 198.18.0.11");
  EXPECT_EQ(run.status, 0) << run.out << run.err;
  ExpectLines(run.out, {"status: Connection established.", "progress: 100", "Model Number: TVS-8010",
                        "Serial Number: TV8010A0001", "Installed Package: 2.4.1", "Hostname: i1"});
}

TEST(TavrinctlBench, UpgradesAKf4InstrumentAndRestoresIt) {
  REQUIRE_BENCH();
  CtlRun upgrade = RunCtl("upgrade 198.18.0.12 " + bench::SamplePackage("tvs90_3.2.0.kf4"));
  EXPECT_EQ(upgrade.status, 0) << upgrade.out;
  ExpectLines(upgrade.out, {"log: Sending tvs90_3.2.0.tgz to 198.18.0.12",
                            "status: Upgrading completed, the instrument is now rebooting."});
  ExpectLines(RunCtl("connect 198.18.0.12").out, {"Installed Package: 3.2.0"});

  CtlRun restore = RunCtl("restore 198.18.0.12");
  EXPECT_EQ(restore.status, 0) << restore.out;
  ExpectLines(restore.out, {"log: Restoring package 3.1.0", "status: Restoring complete."});
  ExpectLines(RunCtl("connect 198.18.0.12").out, {"Installed Package: 3.1.0", "Tavrin UI: 3.0.4"});
  Tidy(bench::kI2, bench::kKf4Password);
}

TEST(TavrinctlBench, FailuresEndWithTheirStatusAndExitStatusOne) {
  REQUIRE_BENCH();
  CtlRun unreachable = RunCtl("connect 198.18.0.99");
  EXPECT_EQ(unreachable.status, 1);
  ExpectLines(unreachable.out,
              {"log: connection to the ip (198.18.0.99) failed, please check the ip address.",
               "status: Connection failed."});

  CtlRun wrongFamily = RunCtl("upgrade 198.18.0.11 " + bench::SamplePackage("tvs90_3.2.0.kf4"));
  EXPECT_EQ(wrongFamily.status, 1);
  ExpectLines(wrongFamily.err, {"Upgrade package does not match target instrument, "
                                "Please select a package with extension kfw."});
}

TEST(TavrinctlBench, DiscoverListsTheConfiguredInstruments) {
  REQUIRE_BENCH();
  CtlRun run = RunCtl("discover");
  EXPECT_EQ(run.status, 0) << run.err;
  ExpectLines(run.out, {"198.18.0.11 (Tavrin,TVS-8010,TV8010A0001,2.4.1)",
                        "198.18.0.12 (Tavrin,TVS-9020,TV9020B0002,3.1.0)"});
  EXPECT_EQ(run.out.find("TVX-100"), std::string::npos) << "not in InstrumentConfig.json";
}

TEST(TavrinctlBench, CtrlCCancelsTheRunningUpgrade) {
  REQUIRE_BENCH();
  bool sent = false;
  CtlRun run = RunCtlInterrupting(
      {"upgrade", bench::kI1, bench::SamplePackage("tvs80_2.5.0.kfw")}, [&sent](const std::string& line) {
        if (sent || line != "status: Upgrading...") return false;
        return sent = true;
      });
  EXPECT_TRUE(sent);
  EXPECT_EQ(run.status, 1);
  ExpectLines(run.out, {"status: Upgrading cancelled.", "log: The action has been cancelled."});
  Tidy(bench::kI1, bench::kKfwPassword);
}

TEST(TavrinctlBench, DiscoverPrintsOneDocumentAndTellsNothingFoundFromAFailure) {
  REQUIRE_BENCH();
  // The VXI-11 client complains about the stalled reply on standard error.
  ASSERT_EQ(bench::Run("ctl i2 stall_read=1"), 0);
  CtlRun stalled = RunCtl("--json discover");
  EXPECT_EQ(bench::Run("ctl i2 stall_read="), 0);
  const nlohmann::json listed = Document(stalled);
  ASSERT_TRUE(listed.is_object()) << stalled.out;
  EXPECT_EQ(listed["instruments"].size(), 2u) << stalled.out;
  EXPECT_NE(stalled.err.find("vxi11_user: read error"), std::string::npos) << stalled.err;

  for (const char* instrument : {"i1", "i2", "i3"})
    ASSERT_EQ(bench::Run(std::string("ctl ") + instrument + " vxi=off"), 0);
  CtlRun none = RunCtl("--json discover");
  for (const char* instrument : {"i1", "i2", "i3"})
    EXPECT_EQ(bench::Run(std::string("ctl ") + instrument + " vxi=on"), 0);
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(Document(none).value("error", ""), "not_found") << none.out;
}

// SIGTERM and SIGHUP stop a run as Ctrl-C does: its document still comes,
// and its decoded package is gone.
TEST(TavrinctlBench, SigtermAndSighupCancelAnUpgradeAndTheDocumentStillComes) {
  REQUIRE_BENCH();
  for (int signal : {SIGTERM, SIGHUP}) {
    CtlRun run = RunCtlSignalled({"--json", "upgrade", bench::kI1, bench::SamplePackage("tvs80_2.5.0.kfw")},
                                 RunLog(bench::kI1), {signal});
    EXPECT_EQ(run.status, 1) << signal << ": " << run.err;
    const nlohmann::json document = Document(run);
    EXPECT_EQ(document.value("error", ""), "cancelled") << run.out;
    EXPECT_EQ(document.value("result", ""), "failure") << run.out;
    EXPECT_NE(access((bench::ProgramDir() + "data/" + bench::kI1).c_str(), F_OK), 0);
    Tidy(bench::kI1, bench::kKfwPassword);
  }
}

// The first Ctrl-C asks; the second quits at once, even while the program
// waits for an instrument that never answers its SSH connection.
TEST(TavrinctlBench, ASecondCtrlCQuitsAtOnceWithStatus130) {
  REQUIRE_BENCH();
  ASSERT_EQ(bench::Run("ctl i3 ssh=tarpit"), 0);
  CtlRun run = RunCtlSignalled({"connect", bench::kI3}, RunLog(bench::kI3), {SIGINT, SIGINT});
  EXPECT_EQ(bench::Run("ctl i3 ssh="), 0);
  EXPECT_EQ(run.status, 130) << run.out << run.err;
  EXPECT_NE(run.err.find("tavrinctl: interrupted"), std::string::npos) << run.err;
}
