// Upgrading and restoring a bench instrument through the controller. These
// tests own i1 (kfw): each puts its software files and hostname back.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "core/operator_view.h"
#include "core/worker_notice.h"
#include "tests/support/bench_env.h"
#include "tests/workflows/instrument_state_support.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/workflows.h"

namespace {

using Texts = std::vector<std::string>;

constexpr const char* kReconnected = "Successfully reconnected to the instrument.";
constexpr const char* kUpgraded = "Upgrading completed, the instrument is now rebooting.";
constexpr const char* kSavedSoftware =
    "mkdir -p /tvs/releases/previous/current && "
    "printf 'package: 2.3.9\\ndriver: 1.7.0\\nscpi: 1.5.0\\nui: 1.9.9\\n' "
    "> /tvs/releases/previous/package_version && echo done";

long CountOf(const Texts& texts, const std::string& text) {
  return std::count(texts.begin(), texts.end(), text);
}

std::string InstalledPackage() {
  return wfbench::ShellLine(bench::kI1, bench::kKfwPassword,
                            "sed -n 's/^package: *//p' /tvs/releases/package_version");
}

void ChoosePackage(WorkflowHarness& harness, const char* address, const std::string& package) {
  harness.view.UseAddress(address);
  harness.view.SetText(IdcPackagePath, package);
}

// Progress values posted after the first notice with this status.
std::vector<double> ProgressAfter(const WorkflowHarness& harness, const std::string& status) {
  std::vector<double> values;
  bool seen = false;
  for (const WorkerNotice& notice : harness.notices) {
    if (notice.code == NoticeStatus && notice.text == status) seen = true;
    if (seen && notice.code == NoticeProgress) values.push_back(notice.value);
  }
  return values;
}

}  // namespace

TEST(UpgradeBench, UploadsRebootsAndTheNextConnectShowsTheNewVersion) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  const std::string decoded = wfbench::DecodedArchive("tvs80_2.5.0.tgz");
  std::remove(decoded.c_str());
  WorkflowHarness harness;
  ChoosePackage(harness, bench::kI1, bench::SamplePackage("tvs80_2.5.0.kfw"));
  ASSERT_TRUE(harness.Run(BeginUpgrade));

  EXPECT_EQ(harness.controller.sourceFilePath, decoded);
  EXPECT_EQ(harness.controller.sourceFileName, "tvs80_2.5.0.tgz");
  EXPECT_EQ(harness.Statuses(), (Texts{"Connecting...", "Connected.", "Checking previous state...",
                                       "Upgrading...", kUpgraded}));
  const Texts logs = harness.Logs();
  EXPECT_EQ(CountOf(logs, "Uploading tvs80_2.5.0.tgz to the instrument at 198.18.0.11"), 1);
  EXPECT_EQ(CountOf(logs, kReconnected), 1);
  EXPECT_FALSE(wfbench::FileExists(decoded)) << "the copy deletes the uploaded archive";
  EXPECT_EQ(harness.LastProgress(), 100);
  EXPECT_EQ(keeper.Run("[ -e /tvs/releases/update_pending ] || echo confirmed"), "confirmed\n");

  WorkflowHarness next;
  ASSERT_TRUE(next.RunAt(bench::kI1, BeginConnect));
  EXPECT_EQ(next.view.GetText(IdcPackageVersion), "2.5.0");
  EXPECT_EQ(next.view.GetText(IdcDriverVersion), "1.9.0");
  EXPECT_EQ(next.view.GetText(IdcUiVersion), "2.1.0");
}

TEST(UpgradeBench, RestorePutsTheSavedSoftwareBackAndRestarts) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  ASSERT_EQ(keeper.Run(kSavedSoftware), "done\n");
  WorkflowHarness harness;
  ASSERT_TRUE(harness.RunAt(bench::kI1, BeginRestore));

  EXPECT_EQ(harness.Statuses(),
            (Texts{"Connecting...", "Connected.", "Restoring...", "Restoring complete."}));
  EXPECT_EQ(CountOf(harness.Logs(), kReconnected), 1) << "NeedReboot is true from the Restore command";
  const std::vector<double> progress = harness.Progress();
  EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
  EXPECT_EQ(harness.LastProgress(), 100);
  EXPECT_EQ(InstalledPackage(), "2.3.9");
}

TEST(UpgradeBench, AnUnfinishedUpdateIsRolledBackBeforeTheUpgrade) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  ASSERT_EQ(keeper.Run(std::string(kSavedSoftware) + " && touch /tvs/releases/update_pending"),
            "done\n");
  WorkflowHarness harness;
  ChoosePackage(harness, bench::kI1, bench::SamplePackage("tvs80_2.5.0.kfw"));
  ASSERT_TRUE(harness.Run(BeginUpgrade));

  EXPECT_EQ(harness.Statuses(),
            (Texts{"Connecting...", "Connected.", "Checking previous state...", "Restoring...",
                   "Restoring complete.", "Upgrading...", kUpgraded}));
  // The rollback was told that the upgrade restarts the instrument anyway.
  EXPECT_EQ(CountOf(harness.Logs(), kReconnected), 1);
  EXPECT_EQ(InstalledPackage(), "2.5.0");
  EXPECT_EQ(keeper.Run("sed -n 's/^package: *//p' /tvs/releases/previous/package_version"),
            "2.3.9\n")
      << "the upgrade saved the software the rollback had put back";
}

TEST(UpgradeBench, AFailureAfterRollbackWasSetRestoresWithTheBarRunningDown) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  const std::string package = wfbench::MakeFailingPackage(wfbench::MakeTempDirectory());
  ASSERT_FALSE(package.empty());
  WorkflowHarness harness;
  ChoosePackage(harness, bench::kI1, package);
  ASSERT_TRUE(harness.Run(BeginUpgrade));

  EXPECT_EQ(harness.Statuses(),
            (Texts{"Connecting...", "Connected.", "Checking previous state...", "Upgrading...",
                   "Upgrading failed.", "Restoring...", "Restoring complete."}));
  EXPECT_EQ(CountOf(harness.Logs(), "There is an error in the operation,please try again."), 0);
  const std::vector<double> falling = ProgressAfter(harness, "Upgrading failed.");
  ASSERT_GE(falling.size(), 3u);
  EXPECT_TRUE(std::is_sorted(falling.rbegin(), falling.rend()));
  EXPECT_GT(falling.front(), 50);
  EXPECT_EQ(falling.back(), 0);
  EXPECT_EQ(keeper.Run("cat /tvs/releases/package_version"), keeper.packageVersionText());
  EXPECT_EQ(keeper.Run("[ -e /tvs/releases/update_pending ] || echo clear"), "clear\n");
}

TEST(UpgradeBench, APackageForAnotherModelEndsWithUpgradeNotSupported) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  WorkflowHarness harness;
  ChoosePackage(harness, bench::kI1, bench::SamplePackage("tvx100_1.1.0.kfw"));
  ASSERT_TRUE(harness.Run(BeginUpgrade));

  EXPECT_EQ(harness.LastStatus(), "Upgrade not supported.");
  EXPECT_EQ(CountOf(harness.Statuses(), "Restoring..."), 0);
  EXPECT_EQ(CountOf(harness.Logs(), "Package 1.1.0 is not made for the TVS-8010"), 1);
  EXPECT_EQ(harness.LastProgress(), 0);
  EXPECT_EQ(harness.view.LastProgress(), 0);
  EXPECT_EQ(keeper.Run("cat /tvs/releases/package_version"), keeper.packageVersionText());
}

TEST(UpgradeBench, RefusedPackagesStartNothingAndLeaveNoDecodedFile) {
  REQUIRE_BENCH();
  const std::string damaged = wfbench::MakeTempDirectory() + "/tvs80_damaged.kfw";
  {
    std::ifstream in(bench::SamplePackage("tvs80_2.5.0.kfw"), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 100u);
    bytes[bytes.size() / 2] ^= 0x01;
    std::ofstream(damaged, std::ios::binary) << bytes;
  }
  const std::string kfwRefused = "Upgrade package does not match target instrument,\n"
                                 "Please select a package with extension kfw.";
  const std::string kf4Refused = "Upgrade package does not match target instrument,\n"
                                 "Please select a package with extension kf4.";
  const struct {
    const char* address;
    std::string package;
    std::string message;
    const char* decoded;  // the archive that must not appear
  } cases[] = {
      {bench::kI1, bench::SamplePackage("tvs90_3.2.0.kf4"), kfwRefused, "tvs90_3.2.0.tgz"},
      {bench::kI2, bench::SamplePackage("tvs80_2.5.0.kfw"), kf4Refused, "tvs80_2.5.0.tgz"},
      {bench::kI1, damaged, "The upgrade package has wrong format.", "tvs80_damaged.tgz"},
      {"198.18.0.99", bench::SamplePackage("tvs80_2.5.0.kfw"),
       "Connection to the instrument failed,please check the ip address.", "tvs80_2.5.0.tgz"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.package + " for " + c.address);
    const std::string decoded = wfbench::DecodedArchive(c.decoded);
    std::remove(decoded.c_str());
    WorkflowHarness harness;
    ChoosePackage(harness, c.address, c.package);
    EXPECT_FALSE(harness.Begin(BeginUpgrade));
    EXPECT_EQ(harness.view.messages, Texts{c.message});
    EXPECT_FALSE(wfbench::FileExists(decoded));
    EXPECT_TRUE(harness.view.IsEnabled(IdcUpgrade));
  }
}

TEST(UpgradeBench, CancelStopsTheUpgradeBeforeItsNextLine) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  WorkflowHarness harness;
  ChoosePackage(harness, bench::kI1, bench::SamplePackage("tvs80_2.5.0.kfw"));
  ASSERT_TRUE(harness.Begin(BeginUpgrade));
  ASSERT_TRUE(harness.WaitForStatus("Upgrading...", 60));
  harness.worker.RequestCancel();
  ASSERT_TRUE(harness.WaitUntilDone(120));

  EXPECT_EQ(harness.LastStatus(), "Upgrading cancelled.");
  EXPECT_EQ(harness.LastLog(), "The action has been cancelled.");
  EXPECT_EQ(CountOf(harness.Logs(), kReconnected), 0);
  EXPECT_EQ(keeper.Run("cat /tvs/releases/package_version"), keeper.packageVersionText());
  EXPECT_TRUE(harness.view.IsEnabled(IdcUpgrade));
}
