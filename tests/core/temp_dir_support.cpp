#include "tests/core/temp_dir_support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace core_test {

void TempDirTest::SetUp() {
  char name[] = "/tmp/tv_core_XXXXXX";
  ASSERT_NE(::mkdtemp(name), nullptr);
  dir_ = name;
}

void TempDirTest::TearDown() {
  if (!dir_.empty()) std::filesystem::remove_all(dir_);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

pid_t SpawnSleeper() {
  int ready[2];
  if (::pipe2(ready, O_CLOEXEC) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::execlp("sleep", "sleep", "5", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(ready[1]);
  char byte;
  while (::read(ready[0], &byte, 1) > 0) {
  }
  ::close(ready[0]);
  return child;
}

void EndSleeper(pid_t sleeper) {
  if (sleeper <= 0) return;
  ::kill(sleeper, SIGTERM);
  ::waitpid(sleeper, nullptr, 0);
}

}  // namespace core_test
