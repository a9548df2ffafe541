// The window-thread checks that refuse an operation before anything
// starts, and the rendering of notices; no instrument is reached (a
// scripted shell stands in for SSH).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "core/operation_codes.h"
#include "core/operator_view.h"
#include "core/settings.h"
#include "core/worker_notice.h"
#include "instrument/discovery.h"
#include "scripts/script_files.h"
#include "tests/workflows/instrument_state_support.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/notice_rendering.h"
#include "workflows/shell_safe_text.h"
#include "workflows/workflows.h"

namespace {

using Texts = std::vector<std::string>;

struct Unit : WorkflowHarness {
  explicit Unit(const std::string& acceptedPassword = "") : WorkflowHarness(false), shell(acceptedPassword) {
    controller.shell = &shell;
    view.UseAddress("198.18.0.11");
  }
  OnePasswordShell shell;
};

// A small valid kfw package in a directory of its own.
std::string MakePackage(const std::string& name) {
  const std::string directory = wfbench::MakeTempDirectory();
  std::ofstream(directory + "/archive.tgz", std::ios::binary) << "archive bytes";
  PackPackageFile(directory + "/archive.tgz", directory + "/" + name, 1);
  return directory + "/" + name;
}

}  // namespace

TEST(ShellSafeText, RefusesEveryCharacterTheShellInterprets) {
  for (char c : std::string("'\"\\$`;&|<>(){}*?[]!#~")) {
    EXPECT_FALSE(IsShellSafeText(std::string("lab") + c + "7")) << c;
  }
  for (const char* control : {"a\nb", "a\rb", "a\x1b[0mb", "a\x7f"})
    EXPECT_FALSE(IsShellSafeText(control)) << control;
  EXPECT_FALSE(IsShellSafeText(std::string("a\0b", 3)));
  EXPECT_TRUE(IsShellSafeText("lab bench\t7"));
  EXPECT_TRUE(IsShellSafeText("TVS-80_pkg.2.5.0,final+1@home=%^:/"));
  EXPECT_TRUE(IsShellSafeText("m\xc3\xbcller"));  // UTF-8 letters are no shell syntax
}

TEST(SetHostNameChecks, TheNameIsTrimmedKeepsItsInnerBlanksAndMustNotBeBlank) {
  Unit unit("kdrun64");
  unit.view.SetText(IdcHostName, " \t ");
  EXPECT_FALSE(unit.Begin(BeginSetHostName));
  EXPECT_EQ(unit.view.messages, Texts{"Please enter a hostname."});
  EXPECT_EQ(unit.shell.commands.size(), 0u);

  unit.view.SetText(IdcHostName, "  lab bench 7 \r\n");
  EXPECT_TRUE(unit.Begin(BeginSetHostName));
  EXPECT_EQ(unit.controller.hostNameToSet, "lab bench 7");
  EXPECT_EQ(unit.controller.operationType, OpSetHostName);
  EXPECT_FALSE(unit.view.IsEnabled(IdcApply));
}

TEST(UpgradeChecks, APackageNameWithShellCharactersIsRefusedFirst) {
  Unit unit("kdrun64");
  unit.view.SetText(IdcPackagePath, "/tmp/pkg$(reboot).kfw");
  EXPECT_FALSE(unit.Begin(BeginUpgrade));
  EXPECT_EQ(unit.view.messages, Texts{kPackageNameNotShellSafe});
  EXPECT_EQ(unit.shell.commands.size(), 0u);
  EXPECT_TRUE(unit.view.IsEnabled(IdcUpgrade));

  // Only the name travels to the instrument; the folder may be anything.
  const std::string package = MakePackage("tvs80 safe.KFW");
  const std::string folder = package.substr(0, package.rfind('/'));
  const std::string odd = folder + "-odd;dir$";
  ASSERT_EQ(std::rename(folder.c_str(), odd.c_str()), 0);
  unit.view.messages.clear();
  unit.view.SetText(IdcPackagePath, odd + "/tvs80 safe.KFW");
  EXPECT_TRUE(unit.Begin(BeginUpgrade)) << (unit.view.messages.empty() ? "" : unit.view.messages[0]);
  EXPECT_EQ(unit.controller.sourceFileName, "tvs80 safe.tgz");
  EXPECT_EQ(unit.controller.progressStep, 100.0 / unit.controller.scriptSets[0].lineCounts[2]);
  std::remove(unit.controller.sourceFilePath.c_str());
}

TEST(UpgradeChecks, WithoutAPackageNothingStarts) {
  Unit unit("kdrun64");
  EXPECT_FALSE(unit.Begin(BeginUpgrade));
  EXPECT_EQ(unit.view.messages, Texts{"Please select an upgrade package."});
  EXPECT_EQ(unit.shell.commands.size(), 0u);
  EXPECT_TRUE(unit.view.IsEnabled(IdcUpgrade));
}

TEST(CredentialProbe, TriesTheFamiliesInOrderAndStopsAtTheFirstAccepted) {
  const struct {
    const char* accepted;
    std::size_t attempts;
    int familyCode;
    int familyIndex;
  } cases[] = {{"kdrun64", 1, 1, 0}, {"Xmvot27", 2, 2, 1}, {"", 2, 0, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.accepted);
    Unit unit(c.accepted);
    unit.controller.targetAddress = "198.18.0.11";
    EXPECT_EQ(ProbeCredentials(unit.controller), c.familyCode != 0);
    EXPECT_EQ(unit.shell.commands, Texts(c.attempts, "pwd"));
    EXPECT_EQ(unit.controller.familyCode, c.familyCode);
    EXPECT_EQ(unit.controller.familyIndex, c.familyIndex);
    EXPECT_EQ(unit.controller.password, c.accepted);
  }
}

TEST(UpgradeChecks, AnUnwritableDataDirectoryIsReportedAndNothingStarts) {
  const std::string data = ProgramDirectory() + "data";
  const std::string aside = data + ".aside";
  std::rename(data.c_str(), aside.c_str());
  std::ofstream(data) << "a file where the directory belongs";
  Unit unit("kdrun64");
  unit.view.SetText(IdcPackagePath, MakePackage("tvs80.kfw"));
  const bool started = unit.Begin(BeginUpgrade);
  std::remove(data.c_str());
  std::rename(aside.c_str(), data.c_str());

  EXPECT_FALSE(started);
  EXPECT_EQ(unit.view.messages,
            Texts{"The data directory (" + data + ") is not writable,\nplease check its permissions."});
  EXPECT_TRUE(unit.view.IsEnabled(IdcConnect));
}

TEST(InstrumentChoice, TheAddressOrTheListSelectionMustBeUsable) {
  Unit unit;
  unit.view.UseAddress("0.1.2.3");
  EXPECT_FALSE(unit.Begin(BeginConnect));
  unit.view.UseDiscoveryList({}, -1);
  EXPECT_FALSE(unit.Begin(BeginRestore));
  EXPECT_EQ(unit.view.messages, (Texts{"Please check the ip address.", "Please select an Instrument."}));
  EXPECT_EQ(unit.shell.commands.size(), 0u);

  unit.view.UseAddress("1.0.0.0");
  EXPECT_TRUE(unit.Begin(BeginConnect));
  EXPECT_EQ(unit.controller.targetAddress, "1.0.0.0");
  EXPECT_EQ(unit.controller.familyCode, 0) << "no password was accepted";

  ClearDiscoveredInstruments();
  collect_instrument({"198.18.0.12", "Tavrin,TVS-9020,TV9020B0002,3.1.0"});
  collect_instrument({"198.18.0.13", "Tavrin,TVS-8010,TV8010A0003,2.4.1"});
  unit.view.UseDiscoveryList({"a", "b"}, 1);
  EXPECT_EQ(SelectedAddress(unit.controller), "198.18.0.13");
  unit.view.UseDiscoveryList({"a", "b", "c"}, 2);
  EXPECT_EQ(SelectedAddress(unit.controller), "") << "a selection outside the discovered list";
  ClearDiscoveredInstruments();
}

TEST(InstrumentChoice, EnablingTheControlsFollowsTheMode) {
  Unit unit;
  SetOperationControlsEnabled(unit.controller, false);
  for (int id : {IdcAddress, IdcConnect, IdcUpgrade, IdcRestore, IdcApply, IdcHostName, IdcPackagePath,
                 IdcConsole, IdcWebUi, IdcIpMode, IdcDiscoveryMode, IdcDiscovery, IdcInstrumentList})
    EXPECT_FALSE(unit.view.IsEnabled(id)) << id;

  SetOperationControlsEnabled(unit.controller, true);
  EXPECT_TRUE(unit.view.IsEnabled(IdcAddress));
  EXPECT_TRUE(unit.view.IsEnabled(IdcRestore));
  EXPECT_FALSE(unit.view.IsEnabled(IdcDiscovery));
  EXPECT_FALSE(unit.view.IsEnabled(IdcInstrumentList));

  unit.view.UseDiscoveryList({}, -1);
  SetOperationControlsEnabled(unit.controller, true);
  EXPECT_FALSE(unit.view.IsEnabled(IdcAddress));
  EXPECT_TRUE(unit.view.IsEnabled(IdcDiscovery));
  EXPECT_TRUE(unit.view.IsEnabled(IdcInstrumentList));
}

TEST(NoticeRendering, ProgressIsClampedAndEmptyLinesAndHostNamesAreIgnored) {
  Unit unit;
  // Truncated towards zero and clamped to the bar's range.
  for (double value : {150.7, -3.0, 42.9, double(NAN)}) RenderNotice(unit.controller, {NoticeProgress, "", value});
  EXPECT_EQ(unit.view.progress, (std::vector<int>{100, 0, 42, 0}));
  RenderNotice(unit.controller, {NoticeLog, "", 0});
  RenderNotice(unit.controller, {NoticeLog, "Searching the instrument...", 0});
  EXPECT_EQ(unit.view.log, Texts{"Searching the instrument..."});
  RenderNotice(unit.controller, {NoticeHostName, "i1", 0});
  RenderNotice(unit.controller, {NoticeHostName, "", 0});
  RenderNotice(unit.controller, {NoticeStatus, "", 0});
  EXPECT_EQ(unit.view.GetText(IdcHostName), "i1");
  EXPECT_EQ(unit.view.statuses, Texts{""});
}

TEST(NoticeRendering, AMovedInstrumentUpdatesTheAddressAndReselectsItsEntry) {
  Unit unit;
  ClearDiscoveredInstruments();
  collect_instrument({"198.18.0.11", "Tavrin,TVS-8010,TV8010A0001,2.4.1"});
  collect_instrument({"198.18.0.21", "Tavrin,TVS-8010,TV8010A0001,2.4.1"});
  // Address mode with an empty list: only the field follows.
  RenderNotice(unit.controller, {NoticeInstrumentAddress, "198.18.0.31", 0});
  EXPECT_EQ(unit.view.Address(), "198.18.0.31");
  EXPECT_TRUE(unit.view.list.empty());

  // With entries from an earlier discovery the list is rebuilt as well.
  unit.view.ListAppend("stale entry");
  RenderNotice(unit.controller, {NoticeInstrumentAddress, "198.18.0.21", 0});
  EXPECT_EQ(unit.view.Address(), "198.18.0.21");
  EXPECT_EQ(unit.view.list, (Texts{"198.18.0.11 (Tavrin,TVS-8010,TV8010A0001,2.4.1)",
                                    "198.18.0.21 (Tavrin,TVS-8010,TV8010A0001,2.4.1)"}));
  EXPECT_EQ(unit.view.ListSelected(), 1);

  RenderNotice(unit.controller, {NoticeInstrumentAddress, "", 0});
  EXPECT_EQ(unit.view.Address(), "198.18.0.21");
  EXPECT_EQ(unit.view.ListSelected(), -1);
  ClearDiscoveredInstruments();
}
