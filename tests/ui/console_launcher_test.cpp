// Starting the console in a terminal: choosing the terminal and a real,
// unwaited start through a stand-in terminal script.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "tests/ui/recording_window_support.h"
#include "ui/console_launcher.h"

namespace {

class ConsoleLauncherTest : public testing::Test {
 protected:
  void SetUp() override { dir_ = MakeTempDirectory(); }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }

  std::string Script(const std::string& name, const std::string& body) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path) << "#!/bin/sh\n" << body;
    chmod(path.c_str(), 0755);
    return path;
  }
  bool WaitForFile(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
      if (access(path.c_str(), F_OK) == 0) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  std::string dir_;
};

TEST_F(ConsoleLauncherTest, TheTerminalIsChosenInOrderWithItsOwnExecOption) {
  Script("xterm", "");
  Script("gnome-terminal", "");
  const std::string mine = Script("myterm", "");
  using Words = std::vector<std::string>;
  EXPECT_EQ(TerminalCommand("myterm", dir_, "/opt/benchterm", "rip=1.2.3.4"),
            (Words{mine, "-e", "/opt/benchterm", "rip=1.2.3.4"}));
  // An unusable $TERMINAL falls back to the list.
  EXPECT_EQ(TerminalCommand("missing", dir_, "/b", "rip=")[0], dir_ + "/xterm");
  const std::string alternative = Script("x-terminal-emulator", "");
  EXPECT_EQ(TerminalCommand("", dir_, "/b", "rip=")[0], alternative);
  unlink(alternative.c_str());
  unlink((dir_ + "/xterm").c_str());
  EXPECT_EQ(TerminalCommand("", dir_, "/b", "rip="),
            (Words{dir_ + "/gnome-terminal", "--", "/b", "rip="}));
  EXPECT_TRUE(TerminalCommand("", dir_ + "/nothing-here", "/b", "rip=").empty());
}

TEST_F(ConsoleLauncherTest, TheConsoleStartsWithoutBeingWaitedFor) {
  // The stand-in terminal only writes its arguments once the test lets it,
  // so a start that waited for it would never return.
  const std::string go = dir_ + "/go";
  const std::string seen = dir_ + "/seen";
  Script("xterm", "PATH=/usr/bin:/bin\nwhile [ ! -e '" + go + "' ]; do sleep 0.05; done\necho \"$@\" > '" + seen +
                      ".tmp'\nmv '" + seen + ".tmp' '" + seen + "'\n");
  const std::string console = Script("bench term", "");  // a blank in the path
  const char* oldPath = std::getenv("PATH");
  const std::string savedPath = oldPath ? oldPath : "";
  setenv("PATH", dir_.c_str(), 1);
  unsetenv("TERMINAL");
  const bool started = StartInTerminal(console, "rip=198.18.0.11");
  const bool missing = StartInTerminal(dir_ + "/benchterm", "rip=198.18.0.11");
  setenv("PATH", savedPath.c_str(), 1);

  EXPECT_TRUE(started);
  EXPECT_FALSE(missing);
  std::ofstream(go) << "";
  ASSERT_TRUE(WaitForFile(seen));
  EXPECT_EQ(ReadWholeFile(seen), "-e " + console + " rip=198.18.0.11\n");
}

TEST_F(ConsoleLauncherTest, ATerminalThatCannotRunIsAFailedStart) {
  const std::string broken = Script("brokenterm", "");
  std::ofstream(broken) << "#!/nonexistent/interpreter\n";
  EXPECT_FALSE(SpawnDetached({broken, "-e", "/bin/true"}));
  EXPECT_TRUE(SpawnDetached({"/bin/true"}));
  EXPECT_FALSE(SpawnDetached({}));
}

}  // namespace
