// The document tavrinctl prints with --json and how a run's texts become
// its result, error code and "changed".
#include "tavrinctl/ctl_report.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <vector>

#include "tavrinctl/ctl_outcome.h"
#include "workflows/shell_safe_text.h"
#include "workflows/workflows.h"

// Whatever bytes the texts carry, the writer gives one valid document;
// a bad or cut sequence becomes U+FFFD and the rest stays as it was.
TEST(CtlJsonText, ReplacesBytesThatAreNotUtf8) {
  CtlReport report;
  report.command = "connect";
  report.status = "bad \xff\xfe end";
  report.log = {"cut \xe2\x82", "fine \xe2\x82\xac"};
  report.messages = {"\xc3"};
  const std::string text = CtlJsonText(CtlReportJson(report));
  EXPECT_EQ(text.find('\n'), std::string::npos);
  const nlohmann::json parsed = nlohmann::json::parse(text);
  EXPECT_EQ(parsed["status"], "bad \xef\xbf\xbd\xef\xbf\xbd end");
  EXPECT_EQ(parsed["log"][0], "cut \xef\xbf\xbd");
  EXPECT_EQ(parsed["log"][1], "fine \xe2\x82\xac");
  EXPECT_EQ(parsed["messages"][0], "\xef\xbf\xbd");
  EXPECT_EQ(parsed["schema"], 1);
  EXPECT_TRUE(parsed["error"].is_null());
  EXPECT_EQ(parsed["result"], "success");
}

// A code missing from the table would read as success (exit status 0).
TEST(CtlErrorCode, EveryFailureHasItsOwnCodeAndAFailingExitStatus) {
  std::vector<std::string> codes;
  for (int i = static_cast<int>(CtlError::Usage); i <= static_cast<int>(CtlError::Failed); ++i) {
    const CtlError error = static_cast<CtlError>(i);
    ASSERT_NE(CtlErrorCode(error), nullptr) << i;
    EXPECT_NE(CtlExitStatus(error), 0) << CtlErrorCode(error);
    for (const std::string& code : codes) EXPECT_NE(code, CtlErrorCode(error));
    codes.push_back(CtlErrorCode(error));
  }
  EXPECT_EQ(CtlErrorCode(CtlError::None), nullptr);
  EXPECT_EQ(CtlExitStatus(CtlError::None), 0);
}

namespace {

struct JudgeCase {
  const char* name;
  CtlRunRecord record;
  CtlError error;
  bool changed;
};

CtlRunRecord Ran(CtlAction action, std::vector<std::string> statuses,
                 std::vector<std::string> log = {}) {
  CtlRunRecord record;
  record.action = action;
  record.statuses = std::move(statuses);
  record.log = std::move(log);
  return record;
}

CtlRunRecord Refused(CtlAction action, const std::string& message) {
  CtlRunRecord record;
  record.action = action;
  record.messages = {message};
  return record;
}

CtlRunRecord Discovered(int listed, bool broadcast, bool interrupted = false) {
  CtlRunRecord record;
  record.action = CtlAction::Discover;
  record.listed = listed;
  record.broadcast = broadcast;
  record.interrupted = interrupted;
  return record;
}

CtlRunRecord Interrupted(CtlRunRecord record) {
  record.interrupted = true;
  return record;
}

const char* const kUpgrading = "Upgrading...";
const char* const kUpgraded = "Upgrading completed, the instrument is now rebooting.";

const JudgeCase kJudgeCases[] = {
    {"ConnectEstablished",
     Ran(CtlAction::Connect,
         {"Connecting...", "Connected.", "Connecting...", "Connection established."}),
     CtlError::None, false},
    {"ConnectUnreachable", Ran(CtlAction::Connect, {"Connecting...", "Connection failed."}),
     CtlError::ConnectionFailed, false},
    {"ConnectSectionFailed",
     Ran(CtlAction::Connect,
         {"Connecting...", "Connected.", "Connecting...", "Connection failed."}),
     CtlError::ScriptFailed, false},
    {"NoScriptForTheFamily", Ran(CtlAction::Restore, {"Connecting...", "Connected."}),
     CtlError::FamilyNotRecognised, false},
    {"UpgradeAfterPendingRollback",
     Ran(CtlAction::Upgrade, {"Connected.", "Checking previous state...", "Restoring...",
                              "Restoring failed.", kUpgrading, kUpgraded}),
     CtlError::None, true},
    {"UpgradeFailedAndRolledBack",
     Ran(CtlAction::Upgrade,
         {"Connected.", kUpgrading, "Upgrading failed.", "Restoring...", "Restoring complete."}),
     CtlError::ScriptFailed, true},
    {"UpgradeLostTheInstrumentInItsReboot",
     Ran(CtlAction::Upgrade, {"Connected.", kUpgrading, "Upgrading failed."},
         {"Failure to reconnect to the device,please check the ip."}),
     CtlError::ReconnectFailed, true},
    {"UpgradeDeclinedByTheScript",
     Ran(CtlAction::Upgrade, {"Connected.", kUpgrading, "Upgrade not supported."}),
     CtlError::NotSupported, true},
    {"UpgradeCancelledInThePendingCheck",
     Interrupted(Ran(CtlAction::Upgrade,
                     {"Connected.", "Checking previous state...", "Upgrading cancelled."})),
     CtlError::Cancelled, false},
    {"ConnectionCheckCutByCancel",
     Interrupted(Ran(CtlAction::Upgrade, {"Connecting...", "Connection failed."})),
     CtlError::Cancelled, false},
    {"CancelledBeforeTheWorkerStarted", Interrupted(Ran(CtlAction::Restore, {})),
     CtlError::Cancelled, false},
    {"HostnameSet",
     Ran(CtlAction::HostName, {"Connected.", "Setting hostname...", "Setting hostname complete."}),
     CtlError::None, true},
    {"HostnameUnsafe", Refused(CtlAction::HostName, kHostNameNotShellSafe), CtlError::UnsafeName,
     false},
    {"HostnameBlank", Refused(CtlAction::HostName, "Please enter a hostname."), CtlError::EmptyName,
     false},
    {"PackageOfTheOtherFamily",
     Refused(CtlAction::Upgrade,
             "Upgrade package does not match target instrument,\n"
             "Please select a package with extension kfw."),
     CtlError::PackageRefused, false},
    {"PackageDamagedOrMissing",
     Refused(CtlAction::Upgrade, "The upgrade package has wrong format."), CtlError::PackageRefused,
     false},
    {"UpgradeProbeFailed",
     Refused(CtlAction::Upgrade,
             "Connection to the instrument failed,please check the ip address."),
     CtlError::ConnectionFailed, false},
    {"UpgradeCheckPassedWithAnUpdatePending",
     Ran(CtlAction::UpgradeCheck,
         {"Connecting...", "Connected.", "Checking previous state...", "Upgrade check passed."},
         {kUpdatePendingFound}),
     CtlError::None, false},
    {"UpgradeCheckLostTheInstrumentInThePendingCheck",
     Ran(CtlAction::UpgradeCheck,
         {"Connected.", "Checking previous state...", "Upgrade check failed."},
         {"Reconnection to the instrument failed,please check the ip address."}),
     CtlError::ReconnectFailed, false},
    {"DiscoverListed", Discovered(2, true), CtlError::None, false},
    {"DiscoverFoundNothing", Discovered(0, true), CtlError::NotFound, false},
    {"DiscoverCouldNotBroadcast", Discovered(0, false), CtlError::DiscoveryFailed, false},
    {"DiscoverCancelled", Discovered(0, true, true), CtlError::Cancelled, false},
};

void PrintTo(const JudgeCase& c, std::ostream* out) { *out << c.name; }

class JudgeRunTest : public ::testing::TestWithParam<JudgeCase> {};

}  // namespace

TEST_P(JudgeRunTest, GivesTheErrorCodeAndChanged) {
  const CtlOutcome outcome = JudgeRun(GetParam().record);
  const char* expected = CtlErrorCode(GetParam().error);
  const char* got = CtlErrorCode(outcome.error);
  EXPECT_STREQ(got == nullptr ? "(none)" : got, expected == nullptr ? "(none)" : expected);
  EXPECT_EQ(outcome.changed, GetParam().changed);
}

INSTANTIATE_TEST_SUITE_P(Runs, JudgeRunTest, ::testing::ValuesIn(kJudgeCases),
                         [](const ::testing::TestParamInfo<JudgeCase>& info) {
                           return std::string(info.param.name);
                         });
