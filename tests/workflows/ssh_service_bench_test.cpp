// Instruments whose SSH service is not the usual one: a port 22 that takes
// the connection and never speaks (i4), an sshd that logs in and refuses
// every command (i4), and an sshd that offers only keyboard-interactive
// authentication (i1 kfw, i2 kf4). Each test puts the
// instrument's SSH service, software and hostname back.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "core/operator_view.h"
#include "instrument/known_hosts.h"
#include "tests/support/bench_env.h"
#include "tests/workflows/instrument_state_support.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/workflows.h"

namespace {

using Texts = std::vector<std::string>;
using SteadyClock = std::chrono::steady_clock;

// One login attempt of the credential probe, bounded at 30 s, and room for
// a slow machine: a login that never got to its password ends the probe,
// so a second attempt (60 s and more) is not made.
constexpr int kTarpitBoundSeconds = 50;
// A refused command has nothing to wait for; waiting out the 30-second
// tear-down bound instead would exceed this.
constexpr int kRefusedCommandBoundSeconds = 20;

int SecondsSince(SteadyClock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::seconds>(SteadyClock::now() - start).count());
}

// A known-host store of the test's own, so that only this test's calls can
// write to it.
class PrivateKnownHosts {
 public:
  PrivateKnownHosts() : directory_(wfbench::MakeTempDirectory()) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    setenv("XDG_CONFIG_HOME", directory_.c_str(), 1);
  }
  ~PrivateKnownHosts() {
    if (hadOld_) setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    else unsetenv("XDG_CONFIG_HOME");
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

 private:
  std::string directory_;
  std::string old_;
  bool hadOld_ = false;
};

// Puts the instrument's usual sshd back, however the test ends.
struct SshServiceBack {
  std::string instrument;
  ~SshServiceBack() { EXPECT_EQ(bench::Run("ctl " + instrument + " ssh="), 0); }
};

// True when OpenSSH's own client logs in to `address` with `password`
// offering only the authentication `method`.
bool LogsInBy(const char* address, const char* password, const char* method) {
  const std::string line = std::string("sshpass -p ") + password +
                           " ssh -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null"
                           " -o LogLevel=QUIET -o PreferredAuthentications=" + method +
                           " -o NumberOfPasswordPrompts=1 root@" + address + " true";
  return std::system(line.c_str()) == 0;
}

// What the operator sees when the connect to i4 fails as it does for an
// instrument that cannot be reached.
void ExpectTheConnectToI4Failed(WorkflowHarness& harness) {
  EXPECT_EQ(harness.controller.familyCode, 0);
  EXPECT_EQ(harness.view.statuses, (Texts{"Connecting...", "Connecting...", "Connection failed."}));
  EXPECT_EQ(harness.Logs(), (Texts{"Connecting to instrument IP (198.18.0.14)...",
                                   "connection to the ip (198.18.0.14) failed, please check the ip address."}));
  EXPECT_EQ(harness.view.IdentityShown(), Texts(6, ""));
  EXPECT_TRUE(harness.view.IsEnabled(IdcConnect));
}

}  // namespace

TEST(SshServiceBench, APortThatNeverSpeaksSshEndsTheConnectAsAnUnreachableInstrumentDoes) {
  REQUIRE_BENCH();
  SshServiceBack back{"i4"};
  ASSERT_EQ(bench::Run("ctl i4 ssh=tarpit"), 0);
  PrivateKnownHosts knownHosts;
  WorkflowHarness harness;
  const auto start = SteadyClock::now();
  ASSERT_TRUE(harness.RunAt(bench::kI4, BeginConnect));
  const int took = SecondsSince(start);
  RecordProperty("seconds", took);

  EXPECT_LT(took, kTarpitBoundSeconds);
  EXPECT_TRUE(harness.controller.password.empty());
  ExpectTheConnectToI4Failed(harness);
  EXPECT_FALSE(wfbench::FileExists(KnownHostsPath())) << "no host key was ever seen";
}

TEST(SshServiceBench, ACommandTheInstrumentRefusesEndsTheConnectWithoutWaiting) {
  REQUIRE_BENCH();
  SshServiceBack back{"i4"};
  ASSERT_EQ(bench::Run("ctl i4 ssh=noexec"), 0);
  PrivateKnownHosts knownHosts;
  WorkflowHarness harness;
  const auto start = SteadyClock::now();
  ASSERT_TRUE(harness.RunAt(bench::kI4, BeginConnect));
  const int took = SecondsSince(start);
  RecordProperty("seconds", took);

  EXPECT_LT(took, kRefusedCommandBoundSeconds);
  ExpectTheConnectToI4Failed(harness);
  // The login itself went through, so the instrument's host key is known.
  EXPECT_TRUE(wfbench::FileExists(KnownHostsPath()));
}

namespace {

struct KbdintFamily {
  const char* name;
  const char* instrument;
  const char* address;
  const char* password;
  const char* package;  // a sample package of the family
  const char* newVersion;
};

class KbdintOnlyBench : public ::testing::TestWithParam<KbdintFamily> {};

std::string InstalledPackage(const KbdintFamily& f) {
  return wfbench::ShellLine(f.address, f.password,
                            "sed -n 's/^package: *//p' /tvs/releases/package_version");
}

}  // namespace

// Connect, upgrade, then restore the software the upgrade replaced, all
// over keyboard-interactive logins.
TEST_P(KbdintOnlyBench, ConnectUpgradeAndRestoreLogInByTheOnePrompt) {
  REQUIRE_BENCH();
  const KbdintFamily& f = GetParam();
  wfbench::InstrumentKeeper keeper(f.address, f.password);
  const std::string before = InstalledPackage(f);
  SshServiceBack back{f.instrument};
  ASSERT_EQ(bench::Run(std::string("ctl ") + f.instrument + " ssh=kbdint"), 0);
  ASSERT_FALSE(LogsInBy(f.address, f.password, "password")) << "the knob must refuse passwords";
  ASSERT_TRUE(LogsInBy(f.address, f.password, "keyboard-interactive"));

  WorkflowHarness connect;
  ASSERT_TRUE(connect.RunAt(f.address, BeginConnect));
  EXPECT_EQ(connect.LastStatus(), "Connection established.");
  EXPECT_EQ(connect.controller.password, f.password);
  EXPECT_EQ(connect.view.GetText(IdcPackageVersion), before);

  WorkflowHarness upgrade;
  upgrade.view.UseAddress(f.address);
  upgrade.view.SetText(IdcPackagePath, bench::SamplePackage(f.package));
  ASSERT_TRUE(upgrade.Run(BeginUpgrade));
  EXPECT_EQ(upgrade.LastStatus(), "Upgrading completed, the instrument is now rebooting.");
  EXPECT_EQ(InstalledPackage(f), f.newVersion);
  const std::string archive = std::string(f.package).substr(0, std::string(f.package).rfind('.')) + ".tgz";
  EXPECT_FALSE(wfbench::FileExists(wfbench::DecodedArchive(archive)));

  WorkflowHarness restore;
  ASSERT_TRUE(restore.RunAt(f.address, BeginRestore));
  EXPECT_EQ(restore.LastStatus(), "Restoring complete.");
  EXPECT_EQ(InstalledPackage(f), before);
  EXPECT_FALSE(LogsInBy(f.address, f.password, "password")) << "the reboots kept the setting";
}

INSTANTIATE_TEST_SUITE_P(
    Families, KbdintOnlyBench,
    ::testing::Values(KbdintFamily{"kfw", "i1", bench::kI1, bench::kKfwPassword, "tvs80_2.5.0.kfw", "2.5.0"},
                      KbdintFamily{"kf4", "i2", bench::kI2, bench::kKf4Password, "tvs90_3.2.0.kf4", "3.2.0"}),
    [](const ::testing::TestParamInfo<KbdintFamily>& info) { return std::string(info.param.name); });
