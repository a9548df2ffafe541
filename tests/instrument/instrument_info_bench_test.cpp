// One-shot queries and the identity fields against the bench's instruments.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/updater_controller.h"
#include "instrument/instrument_commands.h"
#include "instrument/instrument_info.h"
#include "tests/instrument/controller_fakes_support.h"
#include "tests/support/bench_env.h"

namespace {

using Texts = std::vector<std::string>;

std::string Query(const char* address, const char* command, int replyLength = 2047) {
  char reply[2048];
  std::memset(reply, 0, sizeof reply);
  int ok = instrument_query(address, command, reply, replyLength, true);
  return ok == 1 ? std::string(reply) : "failed " + std::to_string(ok);
}

TEST(InstrumentQueryBench, RepliesLoseTheirNewlineAndMustFitTheBuffer) {
  REQUIRE_BENCH();
  EXPECT_EQ(Query(bench::kI3Second, "*IDN?"), "Tavrin,TVS-8010,TV8010A0003,2.4.1");
  EXPECT_EQ(Query(bench::kI1, "*IDN?", 6), "Tavrin");
  // 2047 bytes with the newline: 2046 text bytes come back.
  EXPECT_EQ(Query(bench::kI1, ":TEST:REPLY? 2046").size(), 2046u);
  // 2048 bytes fill the query's whole buffer: not a reply.
  EXPECT_EQ(Query(bench::kI1, ":TEST:REPLY? 2047"), "failed 0");
  // A command without a reply, and an address without an instrument.
  EXPECT_EQ(Query(bench::kI1, "*CLS"), "failed 0");
  EXPECT_EQ(Query("198.18.0.99", "*IDN?"), "failed 0");
}

// i2 over SSH and VXI-11; the version file is put back at the end.
class DeviceInfoBench : public ::testing::Test {
 protected:
  void SetUp() override {
    controller.view = &view;
    controller.targetAddress = bench::kI2;
    controller.userName = "root";
    controller.password = bench::kKf4Password;
    controller.selectedAddress = [] { return std::string(bench::kI2); };
  }
  void TearDown() override {
    if (moved_) Shell("mv /tvs/releases/package_version.away /tvs/releases/package_version");
  }
  bool Shell(const char* command) {
    return RunInstrumentCommand(controller, command, nullptr, nullptr, nullptr, 0);
  }
  void HideVersionFile() {
    moved_ = Shell("mv /tvs/releases/package_version /tvs/releases/package_version.away");
    ASSERT_TRUE(moved_);
  }
  UpdaterController controller;
  instrument_test::FieldView view;

 private:
  bool moved_ = false;
};

TEST_F(DeviceInfoBench, VersionsFromTheFileElseFromSystemInfo) {
  REQUIRE_BENCH();
  FillDeviceInfo(controller, "TVS-9020:TV9020B0002:9.9.9:8.8.8");
  EXPECT_EQ(view.Identity(), (Texts{"TVS-9020", "TV9020B0002"}));
  EXPECT_EQ(view.Versions(), (Texts{"3.1.0", "2.2.0", "2.0.1", "3.0.4"}));

  HideVersionFile();
  view.fields.clear();
  FillDeviceInfo(controller, "TVS-9020:TV9020B0002:9.9.9:8.8.8");
  EXPECT_EQ(view.Versions(), (Texts{"9.9.9", "2.2.0", "2.0.1", "8.8.8"}));
}

TEST_F(DeviceInfoBench, BothSourcesFailing) {
  REQUIRE_BENCH();
  HideVersionFile();
  controller.selectedAddress = [] { return std::string("198.18.0.99"); };
  FillDeviceInfo(controller, "TVS-9020:TV9020B0002::");
  EXPECT_EQ(view.Versions(), Texts(4, "--.--.--"));
}

}  // namespace
