// The sample update scripts of both families on the bench: the sections
// that leave the instrument as it was, with the results their lines predict.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "core/updater_controller.h"
#include "instrument/instrument_commands.h"
#include "scripts/script_files.h"
#include "scripts/script_interpreter.h"
#include "tests/scripts/bench_script_support.h"
#include "tests/scripts/fake_shell_support.h"
#include "tests/support/bench_env.h"

namespace {

struct Family {
  const char* script;
  const char* address;
  const char* password;
  const char* model;
  const char* serial;
  // A hostname the family's script refuses, and the line it then shows.
  std::string refusedName;
  const char* refusal;
};

const Family kFamilies[] = {
    {"UpdatingScript_kfw.sh", bench::kI1, bench::kKfwPassword, "TVS-8010", "TV8010A0001",
     "bad name!", "A hostname may hold letters, digits and hyphens only"},
    {"UpdatingScript_kf4.sh", bench::kI2, bench::kKf4Password, "TVS-9020", "TV9020B0002",
     std::string(64, 'h'), "The hostname is longer than 63 characters"},
};

std::string Section(const char* script, const char* name) {
  std::ifstream in(bench::SourceDir() + "/examples/" + script, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string all = text.str();
  std::string body;
  ExtractSection(name, all, body);
  return body;
}

// Output of a command on the instrument, or "" when it failed.
std::string Output(UpdaterController& controller, const std::string& command) {
  std::vector<char> buffer(4096, '\0');
  if (!RunInstrumentCommand(controller, command.c_str(), nullptr, nullptr, buffer.data(), 4095))
    return "";
  return buffer.data();
}

std::string VersionOf(const std::string& file, const std::string& key) {
  std::istringstream lines(file);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(key + ": ", 0) == 0) return line.substr(key.size() + 2);
  return "";
}

class SampleScriptsBenchTest : public ::testing::TestWithParam<Family> {
 protected:
  void SetUp() override {
    if (!bench::Available()) GTEST_SKIP() << "bench not up or not root";
    benchscript::Connect(controller, queue, GetParam().address, GetParam().password);
  }
  UpdaterController controller;
  NoticeQueue queue;
};

TEST_P(SampleScriptsBenchTest, DeviceInfoGivesIdentityAndHostName) {
  const std::string versions = Output(controller, "cat /tvs/releases/package_version");
  const std::string hostName = Output(controller, "hostname");
  ASSERT_FALSE(versions.empty());
  ScriptVariables variables;
  ASSERT_EQ(RunScriptSection(controller, Section(GetParam().script, "DeviceInfoSection"), variables),
            ScriptSuccess);
  EXPECT_EQ(variables["ModelSerial"], std::string(GetParam().model) + ":" + GetParam().serial + ":" +
                                          VersionOf(versions, "package") + ":" +
                                          VersionOf(versions, "ui"));
  EXPECT_EQ(variables["HostName"] + "\n", hostName);
}

TEST_P(SampleScriptsBenchTest, PendingCheckFollowsTheMarkFile) {
  const std::string marked = std::string("[ -e /tvs/releases/update_pending ]") + kTestSuffix;
  const bool pending = TestInstrumentCommand(controller, marked.c_str());
  ScriptVariables variables;
  EXPECT_EQ(RunScriptSection(controller, Section(GetParam().script, "CheckUpdatePendingSection"),
                             variables),
            pending ? ScriptSuccess : ScriptExit);
}

TEST_P(SampleScriptsBenchTest, RefusedHostNameStopsBeforeAnyChange) {
  const std::string before = Output(controller, "hostname");
  ScriptVariables variables{{"HostName", GetParam().refusedName}};
  EXPECT_EQ(RunScriptSection(controller, Section(GetParam().script, "SetHostNameSection"), variables),
            ScriptExit);
  EXPECT_EQ(fake::TextsOf(fake::TakeNotices(queue), NoticeLog),
            std::vector<std::string>{GetParam().refusal});
  EXPECT_EQ(Output(controller, "hostname"), before);
}

INSTANTIATE_TEST_SUITE_P(Families, SampleScriptsBenchTest, ::testing::ValuesIn(kFamilies),
                         [](const ::testing::TestParamInfo<Family>& info) {
                           return std::string(info.param.script).substr(15, 3);
                         });

}  // namespace
