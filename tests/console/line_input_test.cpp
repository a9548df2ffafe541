// Where the typed lines' history is kept, and what Tab completes.
#include "console/line_input.h"
#include "console/scpi_completion.h"

#include <stdlib.h>

#include <string>

#include <gtest/gtest.h>

namespace console {
namespace {

void SetOrUnset(const char* name, const char* value) {
  if (value != nullptr) setenv(name, value, 1);
  else unsetenv(name);
}

TEST(LineInput, HistoryPathFollowsXdgStateHomeOrFallsBackToHome) {
  struct Case {
    const char* state;
    const char* home;
    const char* path;
  } cases[] = {
      {"/var/state", "/home/op", "/var/state/benchterm/history"},
      {nullptr, "/home/op", "/home/op/.local/state/benchterm/history"},
      {"", "/home/op", "/home/op/.local/state/benchterm/history"},
      {"relative/state", "/home/op", "/home/op/.local/state/benchterm/history"},
      {nullptr, nullptr, ""},
      {nullptr, "relative", ""},
  };
  const char* home = getenv("HOME");
  const char* state = getenv("XDG_STATE_HOME");
  std::string savedHome = home != nullptr ? home : "";
  std::string savedState = state != nullptr ? state : "";
  for (const Case& c : cases) {
    SetOrUnset("XDG_STATE_HOME", c.state);
    SetOrUnset("HOME", c.home);
    EXPECT_EQ(history_path(), c.path) << (c.state ? c.state : "(unset)") << " "
                                      << (c.home ? c.home : "(unset)");
  }
  SetOrUnset("XDG_STATE_HOME", state != nullptr ? savedState.c_str() : nullptr);
  SetOrUnset("HOME", home != nullptr ? savedHome.c_str() : nullptr);
}

TEST(LineInput, TabCompletesTheCommonScpiWords) {
  struct Case {
    const char* typed;
    const char* added;
  } cases[] = {
      {"*i", "DN?"},         {"*idn", "?"},          {"*IDN?", ""},
      {"*R", "ST"},          {"*", ""},              {"*E", "SR?"},
      {"*O", "PC?"},         {":syst", "em:ERRor?"}, {"*CLS;*s", "TB?"},
      {"MEAS:VOLT? ; *c", "LS"}, {"", ""},           {"*X", ""},
      {"*C", "LS"},          {"x *i", "DN?"},
  };
  for (const Case& c : cases) EXPECT_EQ(scpi_completion(c.typed), c.added) << c.typed;
}

}  // namespace
}  // namespace console
