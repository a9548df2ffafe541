// The interpreter against a simulated instrument over real SSH: one piece
// that uses every statement form, an upload and a reboot with its wait.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/updater_controller.h"
#include "instrument/instrument_commands.h"
#include "scripts/script_interpreter.h"
#include "tests/scripts/bench_script_support.h"
#include "tests/scripts/fake_shell_support.h"
#include "tests/support/bench_env.h"

namespace {

TEST(InterpreterBenchTest, EveryStatementFormOnARealInstrument) {
  REQUIRE_BENCH();
  UpdaterController controller;
  NoticeQueue queue;
  benchscript::Connect(controller, queue, bench::kI1, bench::kKfwPassword);

  char directory[] = "/tmp/tv_upload_XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string source = std::string(directory) + "/package (copy).tar";
  ASSERT_TRUE(fake::WriteFile(source, "tv-upload-marker\n"));

  const std::string piece =
      "# every statement form once\n"
      "\techo serial $(cat /tvs/etc/serial)\r\n"
      "SerialNumber=$(cat /tvs/etc/serial)\n"
      "if [ -e /tvs/etc/model ]; then\n"
      "  Model=$(cat /tvs/etc/model)\n"
      "else\n"
      "  Model=none\n"
      "fi\n"
      "Target=/tmp/tv_upload\n"
      "rm -rf $Target && mkdir -p ${Target}\n"
      "scp $SourceFilePath $RemoteIP:$Target\n"
      "grep -q tv-upload-marker \"$Target/$SourceFileName\"\n"
      "\n"
      "reboot wait\n"
      "Back=$(cat /tvs/etc/model)\n"
      "exit success\n"
      "echo never\n";
  ScriptVariables variables{{"SourceFilePath", source},
                            {"SourceFileName", "package (copy).tar"},
                            {"RemoteIP", bench::kI1}};
  controller.progressStep = 5;
  EXPECT_EQ(RunScriptSection(controller, piece, variables), ScriptSuccess);
  ::rmdir(directory);

  EXPECT_EQ(variables["SerialNumber"], "TV8010A0001");
  EXPECT_EQ(variables["Model"], "TVS-8010");
  EXPECT_EQ(variables["Back"], "TVS-8010");
  EXPECT_FALSE(fake::FileExists(source));
  EXPECT_EQ(controller.targetAddress, bench::kI1);
  EXPECT_DOUBLE_EQ(controller.progressValue, 5.0 * 13);  // up to the exit line, one branch line

  std::vector<WorkerNotice> notices = fake::TakeNotices(queue);
  std::vector<std::string> logs = fake::TextsOf(notices, NoticeLog);
  ASSERT_FALSE(logs.empty());
  EXPECT_EQ(logs.front(), "serial TV8010A0001");
  EXPECT_EQ(logs.back(), "Successfully reconnected to the instrument.");
  EXPECT_EQ(std::count(logs.begin(), logs.end(), "Instrument moved to " + std::string(bench::kI1)), 0);
  EXPECT_EQ(fake::TextsOf(notices, NoticeInstrumentAddress).back(), bench::kI1);

  // Whatever the wait saw, leave the instrument up for the next test.
  EXPECT_TRUE(benchscript::WaitUntilAnswering(controller, 90));
}

TEST(InterpreterBenchTest, FailingStepsOnARealInstrument) {
  REQUIRE_BENCH();
  UpdaterController controller;
  NoticeQueue queue;
  benchscript::Connect(controller, queue, bench::kI2, bench::kKf4Password);
  ScriptVariables variables;
  // A false test ends the run; a false condition only picks the else part.
  EXPECT_EQ(RunScriptSection(controller, "if [ -e /no/such ]; then\n false\nelse\n true\nfi\n", variables),
            ScriptSuccess);
  EXPECT_EQ(RunScriptSection(controller, "rm -f /tmp/tv_after\nfalse\ntouch /tmp/tv_after\n", variables),
            ScriptError);
  const std::string absent = std::string("[ ! -e /tmp/tv_after ]") + kTestSuffix;
  EXPECT_TRUE(TestInstrumentCommand(controller, absent.c_str()));
}

}  // namespace
