// Ctrl-C inside a query ends only the query; at the prompt it ends the
// console, unless the console was started with it ignored.
#include "console/query_interrupt.h"

#include <signal.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace console {
namespace {

TEST(QueryInterruptDeathTest, CtrlCEndsAQueryOnlyButAtThePromptEndsTheConsole) {
  EXPECT_EXIT(
      {
        for (int query = 0; query < 2; ++query) {
          QueryInterruptScope scope;
          raise(SIGINT);
          if (!query_interrupted()) _exit(3);
        }
        raise(SIGINT);
        _exit(0);
      },
      testing::KilledBySignal(SIGINT), "");
}

TEST(QueryInterruptDeathTest, AConsoleStartedWithCtrlCIgnoredKeepsIgnoringIt) {
  EXPECT_EXIT(
      {
        signal(SIGINT, SIG_IGN);
        { QueryInterruptScope scope; }
        raise(SIGINT);
        _exit(0);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace console
