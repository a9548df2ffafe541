// The identity fields: splitting, the two version sources' text rules, and
// how FillDeviceInfo chooses between them.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "instrument/instrument_info.h"
#include "tests/instrument/controller_fakes_support.h"

namespace {

using Texts = std::vector<std::string>;

Texts Split(const std::string& text, const std::string& separator) {
  Texts pieces;
  SplitTrimmed(text, separator, pieces);
  return pieces;
}

TEST(SplitTrimmed, KeepsEmptyPiecesAndTrimsEachOne) {
  EXPECT_EQ(Split(" a :b\t:\r\n: c ", ":"), (Texts{"a", "b", "", "c"}));
  EXPECT_EQ(Split("one line", "\n"), (Texts{"one line"}));
  EXPECT_EQ(Split("x\n", "\n"), (Texts{"x", ""}));
  EXPECT_EQ(Split("", ":"), (Texts{""}));
  EXPECT_EQ(Split("a--b----c", "--"), (Texts{"a", "b", "", "c"}));
}

// Package, driver, SCPI and UI version after reading `text` over the
// values "p0", "d0", "s0" and "u0".
Texts FromPackageFile(const std::string& text) {
  std::string driver = "d0", scpi = "s0", package = "p0", ui = "u0";
  ParsePackageVersionText(text, driver, scpi, package, ui);
  return {package, driver, scpi, ui};
}

TEST(PackageVersionText, FirstKeywordOfALineWithAColonSetsItsValue) {
  const struct {
    const char* why;
    const char* text;
    Texts versions;
  } cases[] = {
      {"keys in any case, values trimmed and lowered",
       "package: 2.4.1\n  Driver :  1.8.0-RC1  \nscpi:1.5.2\nui: 2.0.3\n",
       {"2.4.1", "1.8.0-rc1", "1.5.2", "2.0.3"}},
      // A keyword line without a colon sets nothing, and no later keyword
      // is tried on it.
      {"\"build\" contains \"ui\"", "build: 77\ndriver scpi 9.9\nnothing: here\n",
       {"p0", "d0", "s0", "77"}},
      {"package named first; later colons kept", "package_driver: a:b\n",
       {"a:b", "d0", "s0", "u0"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(FromPackageFile(c.text), c.versions);
  }
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

using FillDeviceInfoTest = instrument_test::ScriptedControllerTest;

TEST_F(FillDeviceInfoTest, VersionFileWinsOverTheDeviceInformation) {
  shell.answer = "package: 3.0.0\ndriver: 1.9.0\nscpi: 1.6.0\nui: 2.1.0\n";
  FillDeviceInfo(controller, "TVS-8010:TV8010A0001:2.4.1:2.0.3");
  EXPECT_EQ(shell.calls, Texts{"198.18.0.11|root|kdrun64|[ -e /tvs/releases/package_version ] && "
                               "cat /tvs/releases/package_version || echo \"no\""});
  EXPECT_EQ(view.Identity(), (Texts{"TVS-8010", "TV8010A0001"}));
  EXPECT_EQ(view.Versions(), (Texts{"3.0.0", "1.9.0", "1.6.0", "2.1.0"}));
}

TEST_F(FillDeviceInfoTest, MissingFileKeepsDeviceFieldsAndPlaceholders) {
  shell.answer = "no\n";
  FillDeviceInfo(controller, "TVS-9020:TV9020B0002::2.0.3");
  EXPECT_EQ(view.fields.size(), 6u);
  EXPECT_EQ(view.Versions(), (Texts{"--.--.--", "--.--.--", "--.--.--", "2.0.3"}));
}

TEST_F(FillDeviceInfoTest, NothingChangesWithFewerThanFourFieldsOrNoLogin) {
  shell.answer = "driver: 1.9.0\n";
  FillDeviceInfo(controller, "TVS-8010:TV8010A0001:2.4.1");
  EXPECT_TRUE(view.fields.empty());
  EXPECT_TRUE(shell.calls.empty());
  // Without a password the file is not read at all.
  controller.password.clear();
  std::string driver = "keep", scpi, package, ui;
  EXPECT_FALSE(ReadPackageVersionFile(controller, driver, scpi, package, ui));
  EXPECT_EQ(driver, "keep");
  EXPECT_TRUE(shell.calls.empty());
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
