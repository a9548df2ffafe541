// The script language against a scripted shell: what each line sends, with
// which suffix, and what the answers do to the run.
#include <gtest/gtest.h>
#include <unistd.h>

#include "instrument/discovery.h"
#include "scripts/reboot_wait.h"
#include "scripts/script_interpreter.h"
#include "tests/scripts/fake_shell_support.h"

namespace {

const std::string kSuffix = " >/dev/null 2>&1 && sync && echo yes || echo no";

class InterpreterTest : public fake::FakeInstrumentTest {
 protected:
  InterpreterTest() : FakeInstrumentTest("198.18.0.11") {
    controller.progressStep = 10;
    // Unit tests never broadcast: the search finds nothing.
    SetRebootSearch([this](UpdaterController&) {
      ++searches;
      ClearDiscoveredInstruments();
      return 0;
    });
  }

  ScriptResult Run(const std::string& piece) { return RunScriptSection(controller, piece, variables); }

  ScriptVariables variables;
  int searches = 0;
};

TEST(NormalizeLineTest, StripsLeadingSpacesThenTabsOnceAndEveryLineBreak) {
  const std::pair<const char*, const char*> cases[] = {
      {"  \t\t x\r\n", " x"},
      {"\t  y", "  y"},  // tabs first: the spaces after them stay
      {"a\rb\nc", "abc"},
      {"   ", ""}};
  for (const auto& [in, out] : cases) {
    std::string line = in;
    NormalizeLine(line);
    EXPECT_EQ(line, out) << in;
  }
}

TEST(ExpandVariablesTest, ReplacesBothFormsInNameOrderAndLeavesUnknownNamesToTheShell) {
  const ScriptVariables ab{{"A", "1"}, {"AB", "2"}};
  const struct {
    const char* why;
    ScriptVariables variables;
    const char* line;
    const char* expanded;
  } cases[] = {
      {"both forms; unknown names stay", {{"A", "1"}, {"Path", "/tmp/x y"}},
       "cp $Path ${A}/$A $B ${B} $a", "cp /tmp/x y 1/1 $B ${B} $a"},
      {"a shorter name rewrites a longer reference", ab, "$A $AB", "1 1B"},
      {"unless the longer one comes first", ab, "$AB $A", "2 1"},
      {"or is braced", ab, "${AB} $A", "2 1"},
      {"a longer name without a value is eaten into", {{"A", "1"}}, "$AB $A", "1B 1"},
      {"a value that names itself is replaced once", {{"A", "$A$A"}}, "x $A y", "x $A$A y"},
  };
  for (const auto& c : cases) {
    std::string line = c.line;
    ExpandVariables(line, c.variables);
    EXPECT_EQ(line, c.expanded) << c.why;
  }
}

TEST_F(InterpreterTest, CommentsAndBlankLinesSendNothingButCountProgress) {
  EXPECT_EQ(Run(""), ScriptSuccess);  // an empty piece has no line at all
  EXPECT_TRUE(Notices().empty());
  const std::string piece = "# one\n   # two\n\t\t# three\n \t # four\n\n  \n\t\r\n# last";
  EXPECT_EQ(Run(piece), ScriptSuccess);
  EXPECT_TRUE(shell.calls.empty());
  std::vector<WorkerNotice> notices = Notices();
  ASSERT_EQ(notices.size(), 8u);
  for (std::size_t i = 0; i < notices.size(); ++i) {
    EXPECT_EQ(notices[i].code, NoticeProgress);
    EXPECT_DOUBLE_EQ(notices[i].value, 10.0 * (i + 1));
    EXPECT_EQ(notices[i].text, "");
  }
  EXPECT_DOUBLE_EQ(controller.progressValue, 80);
}

TEST_F(InterpreterTest, CommandLineIsSentAsTestAndMustAnswerYes) {
  shell.Succeed("touch /tmp/a");
  EXPECT_EQ(Run("  touch /tmp/a\r\n"), ScriptSuccess);
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].command, "touch /tmp/a" + kSuffix);
  EXPECT_EQ(shell.calls[0].expected, "yes\n");
  EXPECT_EQ(shell.calls[0].host, "198.18.0.11");
  EXPECT_EQ(shell.calls[0].user, "root");

  // "no", or "yes" without its line feed, ends the run.
  shell.Answer("false", "no\n");
  shell.Answer("almost", "yes");
  EXPECT_EQ(Run("false\ntouch /tmp/a\n"), ScriptError);
  EXPECT_EQ(Run("almost\n"), ScriptError);
  // A trailing shell comment swallows the suffix, so no "yes" comes back.
  shell.Answer("ls /tmp # note", "");
  EXPECT_EQ(Run("ls /tmp # note\n"), ScriptError);
  EXPECT_EQ(shell.calls.size(), 4u);
}

TEST_F(InterpreterTest, EchoPostsTheInstrumentsOutputWithoutLineFeeds) {
  shell.Answer("echo Model", "Model: TVS-8010\nfirmware 2\n");
  shell.Answer("echo -n", "");
  variables["Name"] = "TVS";
  EXPECT_EQ(Run("\techo Model $Name\r\necho -n\n"), ScriptSuccess);
  ASSERT_EQ(shell.calls.size(), 2u);
  EXPECT_EQ(shell.calls[0].command, "echo Model TVS");
  EXPECT_FALSE(shell.calls[0].hasExpected);
  EXPECT_TRUE(shell.calls[0].captured);
  EXPECT_EQ(shell.calls[0].capacity, 4095u);
  std::vector<WorkerNotice> notices = Notices();
  EXPECT_EQ(fake::TextsOf(notices, NoticeLog),
            (std::vector<std::string>{"Model: TVS-8010firmware 2", ""}));

  shell.Answer("echo broken", "", false);
  EXPECT_EQ(Run("echo broken\necho Model\n"), ScriptError);
  EXPECT_EQ(shell.calls.size(), 3u);
}

TEST_F(InterpreterTest, AssignmentStoresTheEchoedValueForLaterLines) {
  shell.Answer("Serial=", "(Serial===TV8010A0001)\n");
  shell.Succeed("test");
  variables["Dir"] = "/tvs/etc";
  EXPECT_EQ(Run("  Serial=$(cat $Dir/serial)\ntest $Serial = ${Serial}\n"), ScriptSuccess);
  ASSERT_EQ(shell.calls.size(), 2u);
  EXPECT_EQ(shell.calls[0].command,
            "Serial=$(cat /tvs/etc/serial) && echo \"(Serial===$Serial)\"");
  EXPECT_FALSE(shell.calls[0].hasExpected);
  EXPECT_EQ(shell.calls[0].capacity, 4095u);
  EXPECT_EQ(variables["Serial"], "TV8010A0001");
  EXPECT_EQ(shell.calls[1].command, "test TV8010A0001 = TV8010A0001" + kSuffix);
}

TEST_F(InterpreterTest, AssignmentValueRules) {
  // Allowed: letters, digits, _ - . : \ / and blanks; the echoed name is
  // not compared with the variable's.
  shell.Answer("Path=", "noise (Other===C:\\dir/a-b_1.2 x)\n");
  shell.Answer("List=", "(List===a,b)\n");
  shell.Answer("Quoted=", "(Quoted===say \"hi\")\n");
  shell.Answer("Silent=", "");
  variables["Silent"] = "old";
  EXPECT_EQ(Run("Path=x\nList=a,b\nQuoted=q\nSilent=1\n"), ScriptSuccess);
  EXPECT_EQ(variables["Path"], "C:\\dir/a-b_1.2 x");
  EXPECT_EQ(variables["List"], "");
  EXPECT_EQ(variables["Quoted"], "");
  EXPECT_EQ(variables["Silent"], "");

  shell.Answer("Down=", "", false);
  EXPECT_EQ(Run("Down=1\n"), ScriptError);
  EXPECT_EQ(variables.count("Down"), 0u);
}

TEST_F(InterpreterTest, IfElseOnSeveralLinesRunsTheChosenBranch) {
  const std::string piece =
      "if [ -e /tvs/$Flag ]; then\n"
      "  echo present\n"
      "else\n"
      "  echo absent\n"
      "fi\n"
      "echo after\n";
  variables["Flag"] = "pending";
  shell.Answer("[ -e /tvs/pending ]", "yes\n");
  EXPECT_EQ(Run(piece), ScriptSuccess);
  EXPECT_EQ(shell.Commands(), (std::vector<std::string>{"[ -e /tvs/pending ]" + kSuffix,
                                                        "echo present", "echo after"}));
  EXPECT_TRUE(shell.calls[0].hasExpected);
  EXPECT_EQ(shell.calls[0].expected, "yes\n");
  EXPECT_FALSE(shell.calls[0].captured);
  // The if line, the branch line and the line after; collected lines add
  // nothing.
  EXPECT_EQ(fake::CountOf(Notices(), NoticeProgress), 3);

  shell = fake::ScriptedShell();
  shell.Answer("[ -e", "no\n");
  EXPECT_EQ(Run(piece), ScriptSuccess);
  EXPECT_EQ(shell.Commands(), (std::vector<std::string>{"[ -e /tvs/pending ]" + kSuffix,
                                                        "echo absent", "echo after"}));
}

TEST_F(InterpreterTest, IfBlockFormsAndTheirFaults) {
  const std::string withElse = "if [ -e /x ]; then\n echo a\nelse\n echo b\nfi\n";
  const struct {
    const char* why;
    std::string piece;
    std::string condition;
    fake::ShellReply reply;  // to the condition; other lines succeed
    ScriptResult result;
    std::vector<std::string> commands;
  } cases[] = {
      {"false without else runs nothing", "if [ -d /a ]; then\n  echo yes-branch\nfi\necho next\n",
       "[ -d /a ]", {true, "no\n"}, ScriptSuccess, {"[ -d /a ]" + kSuffix, "echo next"}},
      {"then and else on the if line", "if [ 1 ]; then touch /a; else touch /b\nfi\n", "[ 1 ]",
       {true, "no\n"}, ScriptSuccess, {"[ 1 ]" + kSuffix, "touch /b" + kSuffix}},
      // The if line is never the end of its block: a block written wholly
      // on one line collects on, and here never ends.
      {"a block on one line", "if [ 1 ]; then touch /a; fi\necho x\n", "[ 1 ]", {true, "no\n"},
       ScriptError, {}},
      {"then and else in any case", "if [ -e /x ]; THEN\n echo a\nElse\n echo b\nfi\n", "[ -e /x ]",
       {true, "no\n"}, ScriptSuccess, {"[ -e /x ]" + kSuffix, "echo b"}},
      {"only a lower-case fi ends the block", "if [ -e /x ]; then\n echo a\nFI\n", "[ -e /x ]",
       {true, "no\n"}, ScriptError, {}},
      {"no semicolon", "if [ -e /x ]\nthen\n echo a\nfi\n", "[ -e /x ]", {true, "yes\n"}, ScriptError, {}},
      {"no fi", "if [ -e /x ]; then\n echo a\n", "[ -e /x ]", {true, "yes\n"}, ScriptError, {}},
      // An instrument that cannot be reached is not a false condition.
      {"unreachable", withElse, "[ -e /x ]", {false, ""}, ScriptError, {"[ -e /x ]" + kSuffix}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    shell = fake::ScriptedShell();
    shell.fallback = {true, "yes\n"};
    shell.Answer(c.condition, c.reply.output, c.reply.ok);
    EXPECT_EQ(Run(c.piece), c.result);
    EXPECT_EQ(shell.Commands(), c.commands);
  }
}

TEST_F(InterpreterTest, CommentEchoAndAssignmentLinesWithIfInThemOpenNoBlock) {
  shell.fallback = {true, "yes\n"};
  const struct {
    const char* line;
    std::vector<std::string> commands;
  } cases[] = {
      {"# if the mark is there; then skip\n", {}},
      {"echo if you see this; then fine\n", {"echo if you see this; then fine"}},
      {"Mode=$(if [ -e /x ]; then echo a; fi)\n",
       {"Mode=$(if [ -e /x ]; then echo a; fi) && echo \"(Mode===$Mode)\""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    shell.calls.clear();
    // No block is collected: the line after it runs on its own.
    EXPECT_EQ(Run(std::string(c.line) + "touch /after\n"), ScriptSuccess);
    std::vector<std::string> commands = c.commands;
    commands.push_back("touch /after" + kSuffix);
    EXPECT_EQ(shell.Commands(), commands);
  }
}

TEST_F(InterpreterTest, ExitWords) {
  EXPECT_EQ(Run("exit\necho never\n"), ScriptExit);
  EXPECT_EQ(Run("  exit version\n"), ScriptExitVersion);
  EXPECT_EQ(Run("exit versions\n"), ScriptExit);
  EXPECT_EQ(Run("exit success\necho never\n"), ScriptSuccess);
  EXPECT_EQ(Run("exit later\n"), ScriptExit);
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(InterpreterTest, RebootWithoutWaitStartsTheCommandAndGoesOn) {
  shell.Answer("reboot", "", false);  // a failed reboot command is ignored
  shell.Answer("echo", "after\n");
  variables["Delay"] = "5";
  EXPECT_EQ(Run("reboot -d $Delay\necho after\n"), ScriptSuccess);
  ASSERT_EQ(shell.calls.size(), 2u);
  EXPECT_EQ(shell.calls[0].command, "reboot -d $Delay");  // not expanded
  EXPECT_FALSE(shell.calls[0].hasExpected);
  EXPECT_FALSE(shell.calls[0].captured);
}

TEST_F(InterpreterTest, RebootWaitSendsRebootAndWaitsForTwoProbes) {
  shell.Succeed("pwd");
  shell.Answer("echo", "back\n");
  EXPECT_EQ(Run("\treboot wait\r\necho back\n"), ScriptSuccess);
  // The boot id is read first, so that the wait can tell a real restart.
  EXPECT_EQ(shell.Commands(),
            (std::vector<std::string>{"cat /proc/sys/kernel/random/boot_id", "reboot ",
                                      "pwd" + kSuffix, "pwd" + kSuffix, "echo back"}));
  std::vector<std::string> logs = fake::TextsOf(Notices(), NoticeLog);
  EXPECT_EQ(logs.front(), "Successfully reconnected to the instrument.");
}

TEST_F(InterpreterTest, RebootWaitThatTimesOutEndsTheRun) {
  shell.Answer("pwd", "", false);
  variables["SerialNumber"] = "TV8010A0001";
  EXPECT_EQ(Run("reboot wait\necho never\n"), ScriptReconnectFailed);
  EXPECT_EQ(shell.Commands().back(), "pwd" + kSuffix);
  EXPECT_GT(searches, 0);  // the serial number was handed to the wait
}

class CopyTest : public InterpreterTest {
 protected:
  void SetUp() override {
    char dir[] = "/tmp/tv_copy_XXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    directory = dir;
    source = directory + "/pkg (1).bin";
    ASSERT_TRUE(fake::WriteFile(source, "archive"));
    variables["SourceFilePath"] = source;
    variables["RemoteIP"] = "198.18.0.11";
  }
  void TearDown() override {
    ::unlink(source.c_str());
    ::rmdir(directory.c_str());
    InterpreterTest::TearDown();
  }
  std::string directory;
  std::string source;
};

TEST_F(CopyTest, CopyUploadsWithTheConnectionLoginAndDeletesTheSource) {
  EXPECT_EQ(Run("  scp $SourceFilePath $RemoteIP:/tmp/upload\r\n"), ScriptSuccess);
  ASSERT_EQ(shell.copies.size(), 1u);
  EXPECT_EQ(shell.copies[0].localPath, source);
  EXPECT_EQ(shell.copies[0].target, "198.18.0.11:/tmp/upload");
  EXPECT_EQ(shell.copies[0].user, "root");
  EXPECT_EQ(shell.copies[0].password, "kdrun64");
  EXPECT_TRUE(shell.copies[0].localFileExisted);
  EXPECT_FALSE(fake::FileExists(source));
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(CopyTest, FailedCopyStillDeletesTheSourceAndEndsTheRun) {
  shell.copySucceeds = false;
  EXPECT_EQ(Run("scp $SourceFilePath $RemoteIP:/tmp\necho never\n"), ScriptError);
  EXPECT_FALSE(fake::FileExists(source));
  EXPECT_TRUE(shell.calls.empty());
  // A missing source fails the same way.
  shell.copySucceeds = true;
  EXPECT_EQ(Run("scp $SourceFilePath $RemoteIP:/tmp\n"), ScriptError);
}

TEST_F(CopyTest, CopyWithoutLoginFailsWithoutConnecting) {
  controller.password.clear();
  EXPECT_EQ(Run("scp $SourceFilePath $RemoteIP:/tmp\n"), ScriptError);
  EXPECT_TRUE(shell.copies.empty());
  EXPECT_FALSE(fake::FileExists(source));
}

TEST_F(CopyTest, ACopyLineThatNoLongerMatchesOnceExpandedFailsAndTouchesNothing) {
  // The line is a copy as written; the value brings in a character no
  // copy operand may hold.
  const std::string odd = directory + "/pkg;1.bin";
  ASSERT_TRUE(fake::WriteFile(odd, "archive"));
  variables["SourceFilePath"] = odd;
  EXPECT_EQ(Run("scp $SourceFilePath $RemoteIP:/tmp\necho never\n"), ScriptError);
  EXPECT_TRUE(shell.copies.empty());
  EXPECT_TRUE(shell.calls.empty());
  EXPECT_TRUE(fake::FileExists(odd));
  ::unlink(odd.c_str());
}

TEST_F(CopyTest, BracesInTheSourceMakeItAPlainCommand) {
  shell.Answer("scp", "no\n");
  EXPECT_EQ(Run("scp ${SourceFilePath} $RemoteIP:/tmp\n"), ScriptError);
  EXPECT_TRUE(shell.copies.empty());
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0].command, "scp " + source + " 198.18.0.11:/tmp" + kSuffix);
  EXPECT_TRUE(fake::FileExists(source));
}

TEST_F(CopyTest, BracesInTheTargetStillCopy) {
  // The target operand is searched, not matched whole: its leading "$" is
  // enough before expansion, and the expanded line is a complete copy.
  EXPECT_EQ(Run("scp $SourceFilePath ${RemoteIP}:/tmp\n"), ScriptSuccess);
  ASSERT_EQ(shell.copies.size(), 1u);
  EXPECT_EQ(shell.copies[0].target, "198.18.0.11:/tmp");
}

TEST_F(InterpreterTest, CancelIsSeenBeforeTheNextLine) {
  shell.responder = [this](const fake::ShellCall& call) {
    // The operator presses Cancel while this command runs on the instrument.
    if (call.command.rfind("sleep", 0) == 0) controller.cancelRequested = true;
    return fake::ShellReply{true, "yes\n"};
  };
  EXPECT_EQ(Run("touch /a\nsleep 5\ntouch /b\n"), ScriptCancelled);
  EXPECT_EQ(shell.calls.size(), 2u);
  EXPECT_EQ(fake::CountOf(Notices(), NoticeProgress), 2);

  EXPECT_EQ(Run("# nothing runs\n"), ScriptCancelled);
  EXPECT_TRUE(Notices().empty());
}

TEST_F(InterpreterTest, NoLoginMeansTheFirstSendingStepFails) {
  controller.userName.clear();
  EXPECT_EQ(Run("# fine\necho hi\n"), ScriptError);
  EXPECT_EQ(Run("touch /a\n"), ScriptError);
  EXPECT_TRUE(shell.calls.empty());
}

}  // namespace
