#include "instrument/instrument_commands.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/remote_shell.h"
#include "core/updater_controller.h"

namespace {

// Records what reaches the shell and answers with fixed output.
class ScriptedShell : public RemoteShell {
 public:
  bool RunCommand(const char* host, const char* user, const char* password, const char* command,
                  const char* expected, int* matched, char* /*output*/,
                  std::size_t /*outputCapacity*/) override {
    calls.push_back(std::string(host) + "|" + user + "|" + password + "|" + command);
    if (expected != nullptr && matched != nullptr) *matched = answer == expected ? 1 : 0;
    return succeed;
  }
  bool SendFile(const char*, const char*, const char*, const char*) override { return false; }
  bool Cancel() override { return false; }

  std::vector<std::string> calls;
  std::string answer = "yes\n";
  bool succeed = true;
};

class InstrumentCommands : public testing::Test {
 protected:
  void SetUp() override {
    controller.shell = &shell;
    controller.targetAddress = "198.18.0.11";
    controller.userName = "root";
    controller.password = "kdrun64";
  }
  UpdaterController controller;
  ScriptedShell shell;
};

TEST_F(InstrumentCommands, MissingCredentialsMakeNoCall) {
  controller.password.clear();
  EXPECT_FALSE(RunInstrumentCommand(controller, "pwd", nullptr, nullptr, nullptr, 0));
  EXPECT_FALSE(TestInstrumentCommand(controller, "true"));
  controller.password = "kdrun64";
  controller.userName.clear();
  EXPECT_FALSE(TestInstrumentCommand(controller, "true"));
  EXPECT_TRUE(shell.calls.empty());
}

TEST_F(InstrumentCommands, TestNeedsBothSuccessAndTheYesAnswer) {
  EXPECT_TRUE(TestInstrumentCommand(controller, "true"));
  ASSERT_EQ(shell.calls.size(), 1u);
  EXPECT_EQ(shell.calls[0], "198.18.0.11|root|kdrun64|true");

  shell.answer = "no\n";
  EXPECT_FALSE(TestInstrumentCommand(controller, "false"));
  shell.answer = "yes\n";
  shell.succeed = false;
  EXPECT_FALSE(TestInstrumentCommand(controller, "true"));
}

}  // namespace
