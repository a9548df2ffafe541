// Connecting to the bench's instruments through the controller, as the
// window and tavrinctl do. i1 (kfw) may have its version files moved aside
// for a moment and is put back; i2 (kf4) is only read.
#include <gtest/gtest.h>

#include "core/operator_view.h"
#include "tests/support/bench_env.h"
#include "tests/workflows/instrument_state_support.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/workflows.h"

namespace {

using Texts = std::vector<std::string>;

// A key of the instrument's version file, read by the instrument's own sed.
std::string VersionOf(const char* address, const char* password, const std::string& key) {
  return wfbench::ShellLine(address, password,
                            "sed -n 's/^" + key + ": *//p' /tvs/releases/package_version");
}

struct Family {
  const char* name;
  const char* address;
  const char* password;  // the one that logs in: the family's
  const char* model;
  const char* serial;
  int code;
  int index;
};

class ConnectFamilyBench : public ::testing::TestWithParam<Family> {};

TEST_P(ConnectFamilyBench, TheFamilysPasswordLogsInAndTheIdentityComesFromThePackageVersionFile) {
  REQUIRE_BENCH();
  const Family& f = GetParam();
  WorkflowHarness harness;
  ASSERT_TRUE(harness.RunAt(f.address, BeginConnect));

  EXPECT_EQ(harness.controller.familyCode, f.code);
  EXPECT_EQ(harness.controller.familyIndex, f.index);
  EXPECT_EQ(harness.controller.password, f.password);
  EXPECT_EQ(harness.Statuses(),
            (Texts{"Connecting...", "Connected.", "Connecting...", "Connection established."}));
  EXPECT_EQ(harness.Logs(), Texts{"Connecting to instrument IP (" + std::string(f.address) + ")..."});
  const Texts files = {f.model, f.serial, VersionOf(f.address, f.password, "package"),
                       VersionOf(f.address, f.password, "driver"), VersionOf(f.address, f.password, "scpi"),
                       VersionOf(f.address, f.password, "ui")};
  EXPECT_FALSE(files[2].empty());
  EXPECT_EQ(harness.view.IdentityShown(), files);
  EXPECT_EQ(harness.view.GetText(IdcHostName), wfbench::ShellLine(f.address, f.password, "hostname"));
  EXPECT_EQ(harness.view.LastProgress(), 100);
  EXPECT_TRUE(harness.view.IsEnabled(IdcConnect));
}

INSTANTIATE_TEST_SUITE_P(
    Families, ConnectFamilyBench,
    ::testing::Values(Family{"kfw", bench::kI1, bench::kKfwPassword, "TVS-8010", "TV8010A0001", 1, 0},
                      Family{"kf4", bench::kI2, bench::kKf4Password, "TVS-9020", "TV9020B0002", 2, 1}),
    [](const ::testing::TestParamInfo<Family>& info) { return std::string(info.param.name); });

}  // namespace

TEST(ConnectBench, WithoutTheVersionFileTheVersionsComeFromTheInstrumentsSystemInfo) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI1, bench::kKfwPassword);
  ASSERT_EQ(keeper.Run("mv /tvs/releases/package_version /tvs/releases/package_version.away && "
                       "printf 'MODEL,TVS-8010\\nDRIVER,1.8.7-rc\\nSERVER,1.5.9\\n' > /tvs/etc/system_info && "
                       "echo done"),
            "done\n");
  WorkflowHarness harness;
  ASSERT_TRUE(harness.RunAt(bench::kI1, BeginConnect));
  keeper.Run("rm -f /tvs/releases/package_version.away");

  EXPECT_EQ(harness.LastStatus(), "Connection established.");
  EXPECT_EQ(harness.view.IdentityShown(),
            (Texts{"TVS-8010", "TV8010A0001", "--.--.--", "1.8.7-RC", "1.5.9", "--.--.--"}));
}

TEST(ConnectBench, AnAddressWithoutAnInstrumentEndsInConnectionFailed) {
  REQUIRE_BENCH();
  WorkflowHarness harness;
  ASSERT_TRUE(harness.RunAt("198.18.0.99", BeginConnect));

  EXPECT_EQ(harness.controller.familyCode, 0);
  EXPECT_TRUE(harness.controller.password.empty());
  // The probe's status is shown directly, before the worker's.
  EXPECT_EQ(harness.view.statuses, (Texts{"Connecting...", "Connecting...", "Connection failed."}));
  EXPECT_EQ(harness.Statuses(), (Texts{"Connecting...", "Connection failed."}));
  EXPECT_EQ(harness.Logs(), (Texts{"Connecting to instrument IP (198.18.0.99)...",
                                   "connection to the ip (198.18.0.99) failed, please check the ip address."}));
  EXPECT_EQ(harness.view.IdentityShown(), Texts(6, ""));
  EXPECT_TRUE(harness.view.IsEnabled(IdcConnect));
}
