#include "core/settings.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/updater_controller.h"

namespace {

namespace fs = std::filesystem;

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tv_settings_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = std::string(name) + "/";
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::vector<std::string> TypesFrom(const std::string& json) {
    const std::string path = dir_ + "InstrumentConfig.json";
    std::ofstream(path, std::ios::binary) << json;
    controller_.instrumentTypes = {"left over"};
    LoadInstrumentTypes(controller_, path);
    return controller_.instrumentTypes;
  }

  std::string dir_;
  UpdaterController controller_;
};

using Types = std::vector<std::string>;

TEST_F(SettingsTest, ReadsInstrumentTypesLowerCasedInOrder) {
  EXPECT_EQ(TypesFrom(R"({"InstrumentType": ["TVS-80", "TVS-90"]})"), (Types{"tvs-80", "tvs-90"}));
  EXPECT_EQ(TypesFrom(R"({"Other": 1, "InstrumentType": ["Ab", ""], "More": {}})"),
            (Types{"ab", ""}));
  // Bytes beyond ASCII pass unchanged.
  EXPECT_EQ(TypesFrom("{\"InstrumentType\": [\"M\xC3\x89SA\"]}"), (Types{"m\xC3\x89sa"}));
}

TEST_F(SettingsTest, KeepsStringsReadBeforeABadElement) {
  EXPECT_EQ(TypesFrom(R"({"InstrumentType": ["AB", 7, "cd"]})"), (Types{"ab"}));
  EXPECT_EQ(TypesFrom(R"({"InstrumentType": [null, "cd"]})"), Types{});
}

TEST_F(SettingsTest, AnythingButAnArrayUnderTheKeyGivesNothing) {
  EXPECT_EQ(TypesFrom(R"({"InstrumentType": "TVS-80"})"), Types{});
  EXPECT_EQ(TypesFrom(R"({"InstrumentType": {"a": "TVS-80"}})"), Types{});
  EXPECT_EQ(TypesFrom(R"({"instrumenttype": ["TVS-80"]})"), Types{});
  EXPECT_EQ(TypesFrom(R"(["TVS-80"])"), Types{});
  EXPECT_EQ(TypesFrom(R"({"InstrumentType": ["TVS-80")"), Types{});
  EXPECT_EQ(TypesFrom(""), Types{});
  controller_.instrumentTypes = {"left over"};
  LoadInstrumentTypes(controller_, dir_ + "absent.json");
  EXPECT_TRUE(controller_.instrumentTypes.empty());
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

  ::unsetenv("TAVRINOPERATOR");
  controller_.installDirectory = "stale";
  LoadInstallDirectory(controller_);
  EXPECT_EQ(controller_.installDirectory, "");

  ::setenv("TAVRINOPERATOR", "/opt/tavrin", 1);
  LoadInstallDirectory(controller_);
  EXPECT_EQ(controller_.installDirectory, "/opt/tavrin");  // used as is, no '/' added

  const std::string fits(259, 'd');
  ::setenv("TAVRINOPERATOR", fits.c_str(), 1);
  LoadInstallDirectory(controller_);
  EXPECT_EQ(controller_.installDirectory, fits);

  ::setenv("TAVRINOPERATOR", (fits + "d").c_str(), 1);
  LoadInstallDirectory(controller_);
  EXPECT_EQ(controller_.installDirectory, "");

  if (saved) ::setenv("TAVRINOPERATOR", keep.c_str(), 1); else ::unsetenv("TAVRINOPERATOR");
}

TEST_F(SettingsTest, EnsureDirectoryCreatesEveryMissingLevel) {
  EXPECT_TRUE(EnsureDirectory(dir_ + "a/b/c/file.data"));
  EXPECT_TRUE(fs::is_directory(dir_ + "a/b/c"));
  EXPECT_FALSE(fs::exists(dir_ + "a/b/c/file.data"));
  EXPECT_TRUE(EnsureDirectory(dir_ + "a/b/c/file.data"));  // already there
  EXPECT_TRUE(EnsureDirectory(dir_ + "a/d/"));
  EXPECT_TRUE(fs::is_directory(dir_ + "a/d"));
  // A file in the way cannot become a directory.
  std::ofstream(dir_ + "plain") << "x";
  EXPECT_FALSE(EnsureDirectory(dir_ + "plain/sub/file"));
}

TEST_F(SettingsTest, ProgramDirectoryHoldsTheRunningExecutable) {
  const std::string directory = ProgramDirectory();
  ASSERT_FALSE(directory.empty());
  EXPECT_EQ(directory.back(), '/');
  EXPECT_EQ(fs::canonical("/proc/self/exe").parent_path().string() + "/", directory);
}

}  // namespace
