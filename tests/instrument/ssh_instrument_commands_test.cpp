#include "instrument/instrument_commands.h"

#include <gtest/gtest.h>

#include "tests/instrument/controller_fakes_support.h"

namespace {

using InstrumentCommands = instrument_test::ScriptedControllerTest;

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
