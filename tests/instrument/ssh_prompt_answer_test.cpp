#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "instrument/ssh_connection.h"

namespace {

LIBSSH2_USERAUTH_KBDINT_PROMPT Prompt(const char* text, bool echo) {
  LIBSSH2_USERAUTH_KBDINT_PROMPT prompt;
  prompt.text = const_cast<char*>(text);
  prompt.length = static_cast<unsigned>(std::strlen(text));
  prompt.echo = echo ? 1 : 0;
  return prompt;
}

struct Answers {
  ~Answers() {
    for (auto& response : responses) std::free(response.text);
  }
  LIBSSH2_USERAUTH_KBDINT_RESPONSE responses[2] = {{reinterpret_cast<char*>(1), 9},
                                                   {reinterpret_cast<char*>(1), 9}};
};

TEST(SshPromptAnswer, OneHiddenPromptGetsThePassword) {
  LIBSSH2_USERAUTH_KBDINT_PROMPT prompts[] = {Prompt("Password: ", false)};
  Answers answers;
  answers.responses[1] = {nullptr, 0};
  ASSERT_TRUE(AnswerPasswordPrompts("kdrun64", 1, prompts, answers.responses));
  ASSERT_NE(answers.responses[0].text, nullptr);
  EXPECT_EQ(std::string(answers.responses[0].text, answers.responses[0].length), "kdrun64");
}

TEST(SshPromptAnswer, EchoedOrSeveralPromptsCannotBeAnswered) {
  LIBSSH2_USERAUTH_KBDINT_PROMPT echoed[] = {Prompt("Login: ", true)};
  Answers first;
  first.responses[1] = {nullptr, 0};
  EXPECT_FALSE(AnswerPasswordPrompts("kdrun64", 1, echoed, first.responses));
  EXPECT_EQ(first.responses[0].text, nullptr);

  LIBSSH2_USERAUTH_KBDINT_PROMPT two[] = {Prompt("Password: ", false), Prompt("Code: ", false)};
  Answers second;
  EXPECT_FALSE(AnswerPasswordPrompts("kdrun64", 2, two, second.responses));
  EXPECT_EQ(second.responses[0].text, nullptr);
  EXPECT_EQ(second.responses[1].text, nullptr);
  EXPECT_EQ(second.responses[1].length, 0u);
}

TEST(SshPromptAnswer, RequestWithoutPromptsNeedsNoAnswer) {
  EXPECT_TRUE(AnswerPasswordPrompts("kdrun64", 0, nullptr, nullptr));
}

}  // namespace
