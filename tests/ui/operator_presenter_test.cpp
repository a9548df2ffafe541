// The window's rules against a recording view: no toolkit, no network.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>

#include "core/notice_queue.h"
#include "core/operation_codes.h"
#include "core/operation_log.h"
#include "core/updater_controller.h"
#include "instrument/discovery.h"
#include "tests/ui/recording_window_support.h"
#include "ui/operator_presenter.h"
#include "workflows/operation_worker.h"
#include "workflows/workflows.h"

namespace {

// Every control of the group that a request disables.
constexpr int kGroup[] = {IdcIpMode,   IdcDiscoveryMode, IdcAddress, IdcConnect,
                          IdcPackagePath, IdcConsole,    IdcWebUi,   IdcUpgrade,
                          IdcRestore,  IdcHostName,      IdcApply};
constexpr int kIdentity[] = {IdcModelNumber,   IdcSerialNumber, IdcPackageVersion,
                             IdcDriverVersion, IdcScpiVersion,  IdcUiVersion};

class RecordingLauncher : public DesktopLauncher {
 public:
  bool startSucceeds = true;
  std::vector<std::pair<std::string, std::string>> consoles;
  std::vector<std::string> urls;
  bool StartConsole(const std::string& program, const std::string& argument) override {
    consoles.emplace_back(program, argument);
    return startSucceeds;
  }
  void OpenUrl(const std::string& url) override { urls.push_back(url); }
};

// The mode's radio buttons and which of the mode's controls may be used.
void ExpectMode(RecordingWindowView& view, bool discovery) {
  EXPECT_EQ(view.checks[IdcDiscoveryMode], discovery);
  EXPECT_EQ(view.checks[IdcIpMode], !discovery);
  EXPECT_EQ(view.IsEnabled(IdcAddress), !discovery);
  EXPECT_EQ(view.IsEnabled(IdcDiscovery), discovery);
  EXPECT_EQ(view.IsEnabled(IdcInstrumentList), discovery);
}

class PresenterTest : public testing::Test {
 protected:
  void SetUp() override {
    ClearDiscoveredInstruments();
    directory_ = MakeTempDirectory();
    controller_.log = std::make_unique<OperationLog>(directory_ + "/TavrinOperator.log");
    controller_.noticeSink = &notices_;
    controller_.shell = &shell_;
    shell_.acceptedPassword = "kdrun64";
    presenter_.Initialise(false);
    // Whatever the program directory holds, the tests start from here.
    view_.messages.clear();
    controller_.installDirectory = "/opt/tavrin";
    view_.SetAddressText("127.0.0.1");
  }
  void TearDown() override {
    ClearDiscoveredInstruments();
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  void Drain() {
    notices_.Drain([this](const WorkerNotice& notice) { presenter_.HandleNotice(notice); });
  }
  void Notice(int code, const std::string& text = std::string(), double value = 0) {
    presenter_.HandleNotice({code, text, value});
  }
  bool GroupEnabled(bool expected) {
    for (int id : kGroup)
      if (id != IdcAddress && view_.IsEnabled(id) != expected) return false;
    return true;
  }
  std::string LogFile() { return ReadWholeFile(directory_ + "/TavrinOperator.log"); }

  std::string directory_;
  UpdaterController controller_;
  NoticeQueue notices_;
  OnePasswordShell shell_;
  RecordingWindowView view_;
  RecordingLauncher launcher_;
  OperationWorker worker_{controller_};
  OperatorPresenter presenter_{controller_, view_, worker_, launcher_};
};

TEST_F(PresenterTest, StartsInAddressModeWithTheHelpTextInTheListOnly) {
  RecordingWindowView fresh;
  UpdaterController controller;
  controller.shell = &shell_;
  controller.log = std::make_unique<OperationLog>(directory_ + "/fresh.log");
  OperationWorker worker(controller);
  OperatorPresenter presenter(controller, fresh, worker, launcher_);
  presenter.Initialise(false);

  ExpectMode(fresh, false);
  EXPECT_EQ(controller.targetAddress, "192.168.1.100");
  EXPECT_EQ(controller.operationType, OpNone);
  EXPECT_EQ(fresh.texts[IdcHostName], "");
  EXPECT_EQ(fresh.texts[IdcStatus], "");
  EXPECT_EQ(fresh.itemHeight, 20);
  EXPECT_EQ(fresh.progressHigh, 100);
  EXPECT_EQ(fresh.browseFilter, "kfw files|*.kfw||");

  // The whole help text, line by line; the two separators are one blank.
  EXPECT_EQ(fresh.log, (std::vector<std::string>{
                           "To connect Tavrin Operator to an instrument, either",
                           "Select IP and enter the address, or select DISCOVERY and choose from the dropdown",
                           " ",
                           "To operate your instrument, use",
                           "The SCPI COMMAND CONSOLE or TAVRINUI buttons",
                           " ",
                           "To update your instrument,",
                           "Download the latest software package from the website,",
                           "Browse to the file location in PACKAGE and click UPGRADE",
                       }));
  // The widest help line sets the list's extent.
  EXPECT_EQ(fresh.extent, 7 * int(fresh.log[1].size()));
  const std::string file = ReadWholeFile(directory_ + "/fresh.log");
  EXPECT_EQ(file.find("To connect"), std::string::npos);
  EXPECT_EQ(std::count(file.begin(), file.end(), '\n'), 1);  // the run header only
}

TEST_F(PresenterTest, RadioButtonsSwitchTheModeAndTheGroupFollowsIt) {
  presenter_.OnDiscoveryMode();
  ExpectMode(view_, true);
  // Enabled again after an operation, the group keeps the mode's rule.
  Notice(NoticeOperationDone);
  ExpectMode(view_, true);
  presenter_.OnIpMode();
  ExpectMode(view_, false);
  Notice(NoticeOperationDone);
  ExpectMode(view_, false);
}

TEST_F(PresenterTest, InvalidChoicesAreRefusedWithTheirMessageAndStartNothing) {
  view_.SetAddressText("0.1.2.3");
  presenter_.OnConnect();
  presenter_.OnApply();
  presenter_.OnRestore();
  presenter_.OnWebUi();
  EXPECT_EQ(view_.messages, std::vector<std::string>(4, "Please check the ip address."));

  view_.messages.clear();
  presenter_.OnDiscoveryMode();
  presenter_.OnConnect();
  EXPECT_EQ(view_.messages, std::vector<std::string>{"Please select an Instrument."});

  view_.messages.clear();
  presenter_.OnIpMode();
  view_.SetAddressText("1.0.0.0");
  view_.texts[IdcHostName] = " \t ";
  presenter_.OnApply();
  EXPECT_EQ(view_.messages, std::vector<std::string>{"Please enter a hostname."});

  EXPECT_EQ(controller_.operationType, OpNone);
  EXPECT_TRUE(shell_.commands.empty());
  EXPECT_TRUE(launcher_.urls.empty());
  EXPECT_TRUE(GroupEnabled(true));
}

TEST_F(PresenterTest, TheGroupStaysDisabledFromTheRequestUntilOperationDone) {
  for (int id : kIdentity) view_.texts[id] = "old";
  presenter_.OnConnect();
  EXPECT_EQ(controller_.operationType, OpConnect);
  EXPECT_EQ(controller_.targetAddress, "127.0.0.1");
  EXPECT_EQ(controller_.familyCode, 1);
  for (int id : kIdentity) EXPECT_EQ(view_.texts[id], "") << id;
  EXPECT_TRUE(GroupEnabled(false));
  EXPECT_FALSE(view_.IsEnabled(IdcAddress));
  EXPECT_TRUE(view_.IsEnabled(IdcCancel));
  EXPECT_TRUE(view_.IsEnabled(IdcClose));

  Notice(NoticeStatus, "Connecting...");
  Notice(NoticeDiscoveryDone);
  Notice(NoticeProgress, "", 50);
  EXPECT_TRUE(GroupEnabled(false));

  Notice(NoticeOperationDone);
  EXPECT_TRUE(GroupEnabled(true));
  EXPECT_TRUE(view_.IsEnabled(IdcAddress));
}

TEST_F(PresenterTest, TheWorkersCompletionReachesTheWindowThroughTheQueue) {
  std::atomic<int> ran{OpNone};
  OperationWorker worker(controller_, [&ran](UpdaterController& c, int operation) {
    c.PostLog("worked on %s");
    ran = operation;
  });
  OperatorPresenter presenter(controller_, view_, worker, launcher_);
  worker.Start();
  presenter.OnRestore();
  EXPECT_TRUE(GroupEnabled(false));
  for (int i = 0; i < 500 && notices_.Size() < 2; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  notices_.Drain([&presenter](const WorkerNotice& n) { presenter.HandleNotice(n); });
  worker.Shutdown();
  EXPECT_EQ(ran, OpRestore);
  EXPECT_TRUE(GroupEnabled(true));
  EXPECT_EQ(view_.log.back(), "worked on %s");
  EXPECT_NE(LogFile().find("worked on %s\r\n"), std::string::npos);
}

// Beyond log lines the window renders notices as any view does (the
// workflow tests check how); here only that they reach the view.
TEST_F(PresenterTest, NoticesOtherThanLogLinesAreRenderedAsAnyViewRendersThem) {
  Notice(NoticeHostName, "bench-i1");
  Notice(NoticeStatus, "Connecting...");
  Notice(NoticeProgress, "", 42.9);
  Notice(NoticeInstrumentAddress, "10.0.0.7");
  EXPECT_EQ(view_.texts[IdcHostName], "bench-i1");
  EXPECT_EQ(view_.texts[IdcStatus], "Connecting...");
  EXPECT_EQ(view_.LastProgress(), 42);
  EXPECT_EQ(view_.Address(), "10.0.0.7");
}

TEST_F(PresenterTest, DiscoveryResultsAreFilteredListedAndTheFirstSelected) {
  controller_.instrumentTypes = {"tvs-80"};
  presenter_.OnDiscoveryMode();
  presenter_.OnDiscovery();
  EXPECT_EQ(controller_.operationType, OpDiscover);
  EXPECT_FALSE(view_.IsEnabled(IdcDiscovery));
  collect_instrument({"198.18.0.14", "Tavrin,TVX-100,C,1"});
  collect_instrument({"198.18.0.11", "Tavrin,TVS-8010,A,2"});
  Notice(NoticeDiscoveryDone);
  Notice(NoticeOperationDone);
  EXPECT_EQ(view_.list, std::vector<std::string>{"198.18.0.11 (Tavrin,TVS-8010,A,2)"});
  EXPECT_EQ(view_.selected, 0);
  EXPECT_EQ(SelectedAddress(controller_), "198.18.0.11");

  presenter_.OnDiscovery();
  collect_instrument({"198.18.0.14", "Tavrin,TVX-100,C,1"});
  Notice(NoticeDiscoveryDone);
  Notice(NoticeOperationDone);
  EXPECT_TRUE(view_.list.empty());
  EXPECT_EQ(view_.selected, -1);
  EXPECT_TRUE(view_.IsEnabled(IdcDiscovery));
}

TEST_F(PresenterTest, CloseAsksOnlyWhileAnOperationRuns) {
  EXPECT_TRUE(presenter_.OnCloseCommand());
  EXPECT_TRUE(presenter_.OnSystemClose());
  EXPECT_TRUE(view_.messages.empty());
  EXPECT_TRUE(controller_.cancelRequested);

  controller_.cancelRequested = false;
  controller_.operationBusy = true;
  view_.answers = {false, true, true};
  EXPECT_FALSE(presenter_.OnCloseCommand());
  EXPECT_FALSE(controller_.cancelRequested);
  // From the title bar the window ends without cancelling first.
  EXPECT_TRUE(presenter_.OnSystemClose());
  EXPECT_FALSE(controller_.cancelRequested);
  EXPECT_TRUE(presenter_.OnCloseCommand());
  EXPECT_TRUE(controller_.cancelRequested);
  EXPECT_EQ(view_.messages, std::vector<std::string>(3, kCloseQuestion));
  controller_.operationBusy = false;
}

TEST_F(PresenterTest, LogLinesGoToListAndFileAndWidenTheExtent) {
  const int extent = view_.extent;
  const int changes = view_.extentChanges;
  Notice(NoticeLog, "");
  Notice(NoticeLog, "short");
  EXPECT_EQ(view_.log.size(), 10u);
  EXPECT_EQ(view_.extentChanges, changes);
  const std::string wide(200, 'w');
  Notice(NoticeLog, wide);
  EXPECT_EQ(view_.extent, 7 * 200);
  EXPECT_GT(view_.extent, extent);
  EXPECT_EQ(view_.log.back(), wide);
  const std::string file = LogFile();
  EXPECT_NE(file.find("=\n\r\nshort\r\n" + wide + "\r\n"), std::string::npos);
}

TEST_F(PresenterTest, ChangingTheChoiceForgetsTheLoginAndTheBrowseFamily) {
  shell_.acceptedPassword = "Xmvot27";
  presenter_.OnConnect();
  Notice(NoticeOperationDone);
  EXPECT_EQ(controller_.familyCode, 2);
  presenter_.OnPackageFieldFocus();
  EXPECT_EQ(view_.browseExtension, "kf4");
  EXPECT_EQ(view_.browseFilter, "kf4 files|*.kf4||");

  presenter_.OnChoiceChanged();
  EXPECT_EQ(controller_.familyCode, 0);
  EXPECT_EQ(controller_.familyIndex, 0);
  EXPECT_EQ(controller_.userName, "");
  EXPECT_EQ(controller_.password, "");
  presenter_.OnPackageFieldFocus();
  EXPECT_EQ(view_.browseExtension, "kfw");
}

TEST_F(PresenterTest, TheConsoleStartsForTheShownAddressAndLogsTheOutcome) {
  view_.SetAddressText("10.1.2.3");
  presenter_.OnConsole();
  presenter_.OnConsole();  // a second console, not looked for
  launcher_.startSucceeds = false;
  presenter_.OnConsole();
  Drain();
  ASSERT_EQ(launcher_.consoles.size(), 3u);
  EXPECT_EQ(launcher_.consoles[0].first, "/opt/tavrin/benchterm");
  EXPECT_EQ(launcher_.consoles[0].second, "rip=10.1.2.3");
  const std::vector<std::string> tail(view_.log.end() - 6, view_.log.end());
  EXPECT_EQ(tail, (std::vector<std::string>{
                      "Opening scpi command console...", "SCPI Console is running.",
                      "Opening scpi command console...", "SCPI Console is running.",
                      "Opening scpi command console...", "Unable to start SCPI Console."}));

  // No address check first: discovery mode without a selection passes
  // "rip=" on; a command line beyond 259 characters starts nothing.
  launcher_.startSucceeds = true;
  presenter_.OnDiscoveryMode();
  presenter_.OnConsole();
  EXPECT_EQ(launcher_.consoles.back().second, "rip=");
  controller_.installDirectory = "/" + std::string(250, 'd');
  presenter_.OnConsole();
  Drain();
  EXPECT_EQ(launcher_.consoles.size(), 4u);
  EXPECT_EQ(view_.log.back(), "Unable to start SCPI Console.");
  EXPECT_TRUE(view_.messages.empty());
}

TEST_F(PresenterTest, TheWebInterfaceOpensAfterItsLogLineAndCheck) {
  view_.SetAddressText("192.168.0.10");
  presenter_.OnWebUi();
  view_.SetAddressText("0.0.0.0");
  presenter_.OnWebUi();
  Drain();
  EXPECT_EQ(launcher_.urls, std::vector<std::string>{"http://192.168.0.10"});
  EXPECT_EQ(view_.messages, std::vector<std::string>{"Please check the ip address."});
  EXPECT_EQ(view_.log.back(), "Open TavrinUI");
  EXPECT_EQ(view_.log[view_.log.size() - 2], "Open TavrinUI");
}

}  // namespace
