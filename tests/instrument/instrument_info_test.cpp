// The identity fields: splitting, the two version sources' text rules, and
// how FillDeviceInfo chooses between them.
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/operator_view.h"
#include "core/remote_shell.h"
#include "core/updater_controller.h"
#include "instrument/instrument_info.h"

namespace {

std::vector<std::string> Split(const std::string& text, const std::string& separator) {
  std::vector<std::string> pieces;
  SplitTrimmed(text, separator, pieces);
  return pieces;
}

TEST(SplitTrimmed, KeepsEmptyPiecesAndTrimsEachOne) {
  EXPECT_EQ(Split(" a :b\t:\r\n: c ", ":"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(Split("one line", "\n"), (std::vector<std::string>{"one line"}));
  EXPECT_EQ(Split("x\n", "\n"), (std::vector<std::string>{"x", ""}));
  EXPECT_EQ(Split("", ":"), (std::vector<std::string>{""}));
  EXPECT_EQ(Split("a--b----c", "--"), (std::vector<std::string>{"a", "b", "", "c"}));
}

struct Versions {
  std::string driver = "d0", scpi = "s0", package = "p0", ui = "u0";
};

Versions FromPackageFile(const std::string& text) {
  Versions v;
  ParsePackageVersionText(text, v.driver, v.scpi, v.package, v.ui);
  return v;
}

TEST(PackageVersionText, KeysInAnyCaseValuesTrimmedAndLowered) {
  Versions v = FromPackageFile("package: 2.4.1\n  Driver :  1.8.0-RC1  \nscpi:1.5.2\nui: 2.0.3\n");
  EXPECT_EQ(v.package, "2.4.1");
  EXPECT_EQ(v.driver, "1.8.0-rc1");
  EXPECT_EQ(v.scpi, "1.5.2");
  EXPECT_EQ(v.ui, "2.0.3");
}

TEST(PackageVersionText, FirstKeywordDecidesAndNeedsAColon) {
  // "build" contains "ui"; a keyword line without a colon sets nothing,
  // and no later keyword is tried on it.
  Versions v = FromPackageFile("build: 77\ndriver scpi 9.9\nnothing: here\n");
  EXPECT_EQ(v.ui, "77");
  EXPECT_EQ(v.driver, "d0");
  EXPECT_EQ(v.scpi, "s0");
  EXPECT_EQ(v.package, "p0");
  // "package_driver: x" names package first; the value keeps later colons.
  v = FromPackageFile("package_driver: a:b\n");
  EXPECT_EQ(v.package, "a:b");
  EXPECT_EQ(v.driver, "d0");
}

TEST(SystemInfoText, ValueAfterFirstCommaUpperCasedUntrimmed) {
  std::string driver = "x", scpi = "y";
  ParseSystemInfoText("MODEL,TVS-8010\nDriver, 1.8.0-rc1\nSERVER,1.5.2,extra\r\n", driver, scpi);
  EXPECT_EQ(driver, " 1.8.0-RC1");
  EXPECT_EQ(scpi, "1.5.2,EXTRA");
  // A later line overrides; a line naming both sets both; no comma, nothing.
  ParseSystemInfoText("DRIVER,1\nDRIVERSERVER,2\nSERVER 3\n", driver, scpi);
  EXPECT_EQ(driver, "2");
  EXPECT_EQ(scpi, "2");
}

// A shell that answers the version-file command with a fixed output.
class VersionFileShell : public RemoteShell {
 public:
  explicit VersionFileShell(std::string output, bool ok = true)
      : output_(std::move(output)), ok_(ok) {}
  bool RunCommand(const char*, const char*, const char*, const char* command, const char*,
                  int*, char* output, std::size_t outputCapacity) override {
    commands.push_back(command);
    if (output != nullptr) std::memcpy(output, output_.data(), std::min(outputCapacity, output_.size()));
    return ok_;
  }
  bool SendFile(const char*, const char*, const char*, const char*) override { return false; }
  bool Cancel() override { return false; }
  std::vector<std::string> commands;

 private:
  std::string output_;
  bool ok_;
};

// Records the texts the window would show.
class FieldView : public OperatorView {
 public:
  void SetText(int id, const std::string& text) override { fields[id] = text; }
  std::string GetText(int) override { return std::string(); }
  void Enable(int, bool) override {}
  void SetCheck(int, bool) override {}
  bool GetCheck(int) override { return false; }
  void GetAddress(unsigned char parts[4]) override { std::memset(parts, 0, 4); }
  void SetAddress(const unsigned char*) override {}
  void ListReset() override {}
  void ListAppend(const std::string&) override {}
  int ListCount() override { return 0; }
  int ListSelected() override { return -1; }
  void ListSelect(int) override {}
  void LogAppend(const std::string&) override {}
  void SetProgress(int) override {}
  bool MessageBox(const std::string&, bool) override { return true; }
  std::map<int, std::string> fields;
};

class FillDeviceInfoTest : public ::testing::Test {
 protected:
  void Use(VersionFileShell& shell) {
    controller.shell = &shell;
    controller.view = &view;
    controller.userName = "root";
    controller.password = "kdrun64";
    controller.targetAddress = "198.18.0.11";
    // No instrument is chosen: the VXI-11 fallback finds nothing to ask.
    controller.selectedAddress = [] { return std::string(); };
  }
  UpdaterController controller;
  FieldView view;
};

TEST_F(FillDeviceInfoTest, VersionFileWinsOverTheDeviceInformation) {
  VersionFileShell shell("package: 3.0.0\ndriver: 1.9.0\nscpi: 1.6.0\nui: 2.1.0\n");
  Use(shell);
  FillDeviceInfo(controller, "TVS-8010:TV8010A0001:2.4.1:2.0.3");
  ASSERT_EQ(shell.commands.size(), 1u);
  EXPECT_EQ(shell.commands[0],
            "[ -e /tvs/releases/package_version ] && cat /tvs/releases/package_version || echo "
            "\"no\"");
  EXPECT_EQ(view.fields[IdcModelNumber], "TVS-8010");
  EXPECT_EQ(view.fields[IdcSerialNumber], "TV8010A0001");
  EXPECT_EQ(view.fields[IdcPackageVersion], "3.0.0");
  EXPECT_EQ(view.fields[IdcDriverVersion], "1.9.0");
  EXPECT_EQ(view.fields[IdcScpiVersion], "1.6.0");
  EXPECT_EQ(view.fields[IdcUiVersion], "2.1.0");
}

TEST_F(FillDeviceInfoTest, MissingFileKeepsDeviceFieldsAndPlaceholders) {
  VersionFileShell shell("no\n");
  Use(shell);
  FillDeviceInfo(controller, "TVS-9020:TV9020B0002::2.0.3");
  EXPECT_EQ(view.fields.size(), 6u);
  EXPECT_EQ(view.fields[IdcPackageVersion], "--.--.--");
  EXPECT_EQ(view.fields[IdcUiVersion], "2.0.3");
  EXPECT_EQ(view.fields[IdcDriverVersion], "--.--.--");
  EXPECT_EQ(view.fields[IdcScpiVersion], "--.--.--");
}

TEST_F(FillDeviceInfoTest, NothingChangesWithFewerThanFourFieldsOrNoLogin) {
  VersionFileShell shell("driver: 1.9.0\n");
  Use(shell);
  FillDeviceInfo(controller, "TVS-8010:TV8010A0001:2.4.1");
  EXPECT_TRUE(view.fields.empty());
  EXPECT_TRUE(shell.commands.empty());
  // Without a password the file is not read at all.
  controller.password.clear();
  std::string driver = "keep", scpi, package, ui;
  EXPECT_FALSE(ReadPackageVersionFile(controller, driver, scpi, package, ui));
  EXPECT_EQ(driver, "keep");
  EXPECT_TRUE(shell.commands.empty());
}

TEST(InstrumentQuery, RefusesMissingArguments) {
  char reply[8] = {0};
  EXPECT_EQ(instrument_query(nullptr, "*IDN?", reply, 7, true), 0);
  EXPECT_EQ(instrument_query("", "*IDN?", reply, 7, true), 0);
  EXPECT_EQ(instrument_query("198.18.0.11", nullptr, reply, 7, true), 0);
  EXPECT_EQ(instrument_query("198.18.0.11", "*IDN?", nullptr, 7, true), 0);
  EXPECT_EQ(instrument_query("198.18.0.11", "*IDN?", reply, 0, true), 0);
}

}  // namespace
