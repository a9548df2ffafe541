// The worker halves against a scripted shell: what each script outcome
// posts, which sections run, and the dispatcher's own operation table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/operation_codes.h"
#include "scripts/script_interpreter.h"
#include "tests/scripts/fake_shell_support.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/operation_worker.h"
#include "workflows/workflows.h"

namespace {

using Texts = std::vector<std::string>;

const std::string kAddress = "198.18.0.11";
const std::string kSuffix = " >/dev/null 2>&1 && sync && echo yes || echo no";
const std::string kConnecting = "Connecting to instrument IP (198.18.0.11)...";

// One line of script that ends its run with each outcome.
const std::string kSucceeds = "touch /ok\n";
const std::string kFails = "false\n";
const std::string kExits = "exit\n";
const std::string kLosesTheInstrument = "reboot wait\n";  // it never answers again
const std::string kIsCancelled = "press-cancel\ntouch /never\n";

class WorkerHalfTest : public fake::FakeInstrumentTest {
 protected:
  WorkerHalfTest() : FakeInstrumentTest(kAddress) {
    shell.responder = [this](const fake::ShellCall& call) {
      // The operator presses Cancel while this line runs.
      if (call.command.rfind("press-cancel", 0) == 0) controller.cancelRequested = true;
      if (call.command.rfind("false", 0) == 0) return fake::ShellReply{true, "no\n"};
      // The login check answers; the reboot wait's probes never do.
      if (call.command.rfind("pwd ", 0) == 0) return fake::ShellReply{false, ""};
      return fake::ShellReply{true, "yes\n"};
    };
  }

  // A fresh family script with `piece` in `slot`, and a fresh operation.
  void Prepare(std::string ScriptSet::*slot, const std::string& piece) {
    controller.scriptSets[0] = ScriptSet{};
    controller.scriptSets[0].*slot = piece;
    controller.cancelRequested = false;
    shell.calls.clear();
    Notices();
  }
  bool Sent(const std::string& command) {
    for (const std::string& sent : shell.Commands())
      if (sent == command) return true;
    return false;
  }
  // Every worker half opens with the connection check's notices; gives how
  // many notices were expected in all.
  size_t ExpectAfterConnecting(const std::vector<WorkerNotice>& notices, const Texts& statuses,
                               const Texts& logs) {
    Texts allStatuses{"Connecting...", "Connected."};
    allStatuses.insert(allStatuses.end(), statuses.begin(), statuses.end());
    Texts allLogs{kConnecting};
    allLogs.insert(allLogs.end(), logs.begin(), logs.end());
    EXPECT_EQ(fake::TextsOf(notices, NoticeStatus), allStatuses);
    EXPECT_EQ(fake::TextsOf(notices, NoticeLog), allLogs);
    return allStatuses.size() + allLogs.size();
  }
};

TEST_F(WorkerHalfTest, PendingCheckOutcomesGoOnOrStopBeforeTheMainBody) {
  const struct {
    const char* why;
    std::string pending;
    Texts statuses;  // after the connection check's two
    Texts logs;      // after its first
    bool mainBodyRan;
  } cases[] = {
      {"a failed check is reported and the upgrade goes on", kFails,
       {"Checking previous state...", "Checking previous state failed.", "Upgrading...",
        "Upgrading completed, the instrument is now rebooting."},
       {"There is an error in checking pending state."}, true},
      {"an instrument lost during the check ends the upgrade", kLosesTheInstrument,
       {"Checking previous state...", "Upgrading failed."},
       {"Reconnection to the instrument failed,please check the ip address."}, false},
      {"a check cancelled ends the upgrade", kIsCancelled,
       {"Checking previous state...", "Upgrading cancelled."}, {"The action has been cancelled."},
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    Prepare(&ScriptSet::checkUpdatePendingSection, c.pending);
    controller.scriptSets[0].mainBody = "touch /upgrade\n";
    RunUpgrade(controller);
    ExpectAfterConnecting(Notices(), c.statuses, c.logs);
    EXPECT_EQ(Sent("touch /upgrade" + kSuffix), c.mainBodyRan);
  }
}

void RunRestoreCommand(UpdaterController& controller) { RunRestore(controller, true, true); }

TEST_F(WorkerHalfTest, SectionOutcomesAndMissingSectionsOfConnectRestoreAndSetHostname) {
  const struct {
    const char* why;
    void (*run)(UpdaterController&);
    std::string ScriptSet::*slot;
    std::string piece;
    Texts statuses;  // after "Connecting...", "Connected."
    Texts logs;      // after "Connecting to instrument IP (...)..."
  } cases[] = {
      {"connect, failed", RunConnect, &ScriptSet::deviceInfoSection, kFails,
       {"Connecting...", "Connection failed."}, {"There is an error in the operation,please try again."}},
      {"connect, exit", RunConnect, &ScriptSet::deviceInfoSection, kExits,
       {"Connecting...", "Connection failed."}, {}},
      {"connect, cancelled", RunConnect, &ScriptSet::deviceInfoSection, kIsCancelled,
       {"Connecting...", "Connection cancelled."}, {"The action has been cancelled."}},
      {"connect, no device-information section", RunConnect, &ScriptSet::deviceInfoSection, "", {}, {}},
      {"restore, failed", RunRestoreCommand, &ScriptSet::rollbackSection, kFails,
       {"Restoring...", "Restoring failed."}, {"There is an error in system rollback,please try again."}},
      {"restore, cancelled", RunRestoreCommand, &ScriptSet::rollbackSection, kIsCancelled,
       {"Restoring...", "Restoring cancelled."}, {"The action has been cancelled."}},
      {"restore, no rollback section", RunRestoreCommand, &ScriptSet::rollbackSection, "", {}, {}},
      {"set hostname, failed", RunSetHostName, &ScriptSet::setHostNameSection, kFails,
       {"Setting hostname...", "Setting hostname failed."}, {"There is an error in setting hostname."}},
      {"set hostname, instrument lost", RunSetHostName, &ScriptSet::setHostNameSection,
       kLosesTheInstrument, {"Setting hostname...", "Setting hostname failed."},
       {"There is an error in setting hostname."}},
      {"set hostname, cancelled", RunSetHostName, &ScriptSet::setHostNameSection, kIsCancelled,
       {"Setting hostname...", "Setting hostname cancelled."}, {"The action has been cancelled."}},
      {"set hostname, no set-hostname section", RunSetHostName, &ScriptSet::setHostNameSection, "",
       {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    Prepare(c.slot, c.piece);
    c.run(controller);
    std::vector<WorkerNotice> notices = Notices();
    const size_t expected = ExpectAfterConnecting(notices, c.statuses, c.logs);
    if (c.piece.empty()) EXPECT_EQ(notices.size(), expected);
  }
}

TEST_F(WorkerHalfTest, TheDispatcherRunsEachOperationsOwnWorkflow) {
  ScriptSet& set = controller.scriptSets[0];
  set.deviceInfoSection = "touch /connect\n";
  set.setHostNameSection = "touch /name-$HostName\n";
  set.checkUpdatePendingSection = "exit\n";
  set.mainBody = "touch /upgrade\n";
  set.rollbackSection = "touch /reboot-$NeedReboot\n";
  controller.hostNameToSet = "lab7";
  const struct {
    int operation;
    Texts commands;  // the login check first: every one reaches the instrument
  } cases[] = {
      {OpConnect, {"pwd", "touch /connect" + kSuffix}},
      {OpSetHostName, {"pwd", "touch /name-lab7" + kSuffix}},
      {OpUpgrade, {"pwd", "touch /upgrade" + kSuffix}},
      {OpRestore, {"pwd", "touch /reboot-true" + kSuffix}},
  };
  OperationWorker worker(controller);
  worker.Start();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    shell.calls.clear();
    worker.Request(c.operation);
    std::vector<WorkerNotice> seen;
    ASSERT_TRUE(wfbench::WaitUntil([&] {
      for (const WorkerNotice& n : Notices()) seen.push_back(n);
      return !seen.empty() && seen.back().code == NoticeOperationDone;
    }));
    EXPECT_EQ(shell.Commands(), c.commands);
  }
  worker.Shutdown();
}

}  // namespace
