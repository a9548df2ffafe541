#include "core/settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "core/updater_controller.h"
#include "tests/core/temp_dir_support.h"

namespace {

namespace fs = std::filesystem;
using Types = std::vector<std::string>;

class SettingsTest : public core_test::TempDirTest {
 protected:
  // The types read from a configuration file holding `json`; a list left
  // from before must never survive.
  Types TypesFrom(const std::string& json) {
    const std::string path = dir_ + "/InstrumentConfig.json";
    std::ofstream(path, std::ios::binary) << json;
    return TypesFromFile(path);
  }
  Types TypesFromFile(const std::string& path) {
    controller_.instrumentTypes = {"left over"};
    LoadInstrumentTypes(controller_, path);
    return controller_.instrumentTypes;
  }

  UpdaterController controller_;
};

TEST_F(SettingsTest, ReadsInstrumentTypesLowerCasedUpToTheFirstBadElement) {
  const struct {
    const char* why;
    const char* json;
    Types types;
  } cases[] = {
      {"in order", R"({"InstrumentType": ["TVS-80", "TVS-90"]})", {"tvs-80", "tvs-90"}},
      {"other keys beside", R"({"Other": 1, "InstrumentType": ["Ab", ""], "More": {}})", {"ab", ""}},
      {"bytes beyond ASCII unchanged", "{\"InstrumentType\": [\"M\xC3\x89SA\"]}", {"m\xC3\x89sa"}},
      {"strings before a bad element kept", R"({"InstrumentType": ["AB", 7, "cd"]})", {"ab"}},
      {"bad first element", R"({"InstrumentType": [null, "cd"]})", {}},
      // Anything but an array under the exact key gives nothing.
      {"a string", R"({"InstrumentType": "TVS-80"})", {}},
      {"an object", R"({"InstrumentType": {"a": "TVS-80"}})", {}},
      {"key in other case", R"({"instrumenttype": ["TVS-80"]})", {}},
      {"no object", R"(["TVS-80"])", {}},
      {"cut short", R"({"InstrumentType": ["TVS-80")", {}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(TypesFrom(c.json), c.types);
  }
  EXPECT_EQ(TypesFromFile(dir_ + "/absent.json"), Types{});
}

TEST_F(SettingsTest, MatchesInstrumentTypeIgnoringCase) {
  const std::string idn = "Tavrin,TVS-8010,TV8010A0001,2.4.1";
  EXPECT_FALSE(MatchesInstrumentType(controller_, idn));  // empty list matches nothing
  controller_.instrumentTypes = {"tvs-80", "tvs-90"};
  EXPECT_TRUE(MatchesInstrumentType(controller_, idn));
  EXPECT_TRUE(MatchesInstrumentType(controller_, "tavrin,tvs-9020,x,3.1.0"));
  EXPECT_FALSE(MatchesInstrumentType(controller_, "Tavrin,TVX-100,TVX100C0004,1.0.0"));
  controller_.instrumentTypes = {""};
  EXPECT_TRUE(MatchesInstrumentType(controller_, ""));
}

TEST_F(SettingsTest, InstallDirectoryFromEnvironmentUpTo259Bytes) {
  const char* saved = std::getenv("TAVRINOPERATOR");
  const std::string keep = saved ? saved : "";
  const std::string fits(259, 'd');
  const std::pair<std::optional<std::string>, std::string> cases[] = {
      {std::nullopt, ""},
      {"/opt/tavrin", "/opt/tavrin"},  // used as is, no '/' added
      {fits, fits},
      {fits + "d", ""},
  };
  for (const auto& [value, directory] : cases) {
    SCOPED_TRACE(value ? std::to_string(value->size()) + " bytes" : "unset");
    if (value) ::setenv("TAVRINOPERATOR", value->c_str(), 1); else ::unsetenv("TAVRINOPERATOR");
    controller_.installDirectory = "stale";
    LoadInstallDirectory(controller_);
    EXPECT_EQ(controller_.installDirectory, directory);
  }
  if (saved) ::setenv("TAVRINOPERATOR", keep.c_str(), 1); else ::unsetenv("TAVRINOPERATOR");
}

TEST_F(SettingsTest, WritesBesideTheProgramOnlyWhenItIsNotInstalled) {
  const std::string home = dir_ + "/home";
  const std::string absent = "/nonexistent-program-directory/";
  const std::string state = dir_ + "/state";
  const struct {
    const char* why;
    std::string program;
    const char* stateHome;
    std::string expected;
  } cases[] = {
      {"writable program directory", dir_ + "/", nullptr, dir_ + "/"},
      // Writable for root (sudo, automation), yet an installation's.
      {"under /usr", "/usr/lib/", state.c_str(), state + "/TavrinOperator/"},
      {"XDG_STATE_HOME", absent, state.c_str(), state + "/TavrinOperator/"},
      {"XDG_STATE_HOME unset", absent, nullptr, home + "/.local/state/TavrinOperator/"},
      {"relative XDG_STATE_HOME ignored", absent, "state", home + "/.local/state/TavrinOperator/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    EXPECT_EQ(WritableDirectory(c.program, c.stateHome, home.c_str()), c.expected);
    EXPECT_TRUE(fs::is_directory(c.expected));  // the log opens there at once
  }
}

TEST_F(SettingsTest, BenchtermLiesInTheInstallDirectoryOrBesideTheProgram) {
  controller_.installDirectory = "/opt/tavrin";
  EXPECT_EQ(ConsoleDirectory(controller_), "/opt/tavrin");
  controller_.installDirectory.clear();
  EXPECT_EQ(ConsoleDirectory(controller_) + "/", ProgramDirectory());
}

TEST_F(SettingsTest, EnsureDirectoryCreatesEveryMissingLevel) {
  EXPECT_TRUE(EnsureDirectory(dir_ + "/a/b/c/file.data"));
  EXPECT_TRUE(fs::is_directory(dir_ + "/a/b/c"));
  EXPECT_FALSE(fs::exists(dir_ + "/a/b/c/file.data"));
  EXPECT_TRUE(EnsureDirectory(dir_ + "/a/b/c/file.data"));  // already there
  EXPECT_TRUE(EnsureDirectory(dir_ + "/a/d/"));
  EXPECT_TRUE(fs::is_directory(dir_ + "/a/d"));
  // A file in the way cannot become a directory.
  std::ofstream(dir_ + "/plain") << "x";
  EXPECT_FALSE(EnsureDirectory(dir_ + "/plain/sub/file"));
}

TEST_F(SettingsTest, ProgramDirectoryHoldsTheRunningExecutable) {
  EXPECT_EQ(ProgramDirectory(), fs::canonical("/proc/self/exe").parent_path().string() + "/");
}

}  // namespace
