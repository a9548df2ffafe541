// The operation log held by another process: a run goes on without it and
// leaves the holder's file as it was. Uses i3 (kfw), which it only reads.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "tests/support/bench_env.h"
#include "tests/tavrinctl/ctl_runner_support.h"

namespace {

// A child process that holds the file under an exclusive lock, as a first
// TavrinOperator would, until the holder goes.
class LockHolder {
 public:
  explicit LockHolder(const std::string& path) {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release_, O_CLOEXEC) != 0) return;
    child_ = fork();
    if (child_ == 0) {
      // Only async-signal-safe calls between fork and _exit.
      close(ready[0]);
      close(release_[1]);
      const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
      const char answer = fd >= 0 && flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
      (void)!write(ready[1], &answer, 1);
      char byte;
      (void)!read(release_[0], &byte, 1);  // returns once the parent closes its end
      _exit(0);
    }
    close(ready[1]);
    close(release_[0]);
    char answer = 'n';
    locked_ = child_ > 0 && read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
  }
  ~LockHolder() {
    close(release_[1]);
    if (child_ > 0) waitpid(child_, nullptr, 0);
  }
  bool locked() const { return locked_; }

 private:
  int release_[2] = {-1, -1};
  pid_t child_ = -1;
  bool locked_ = false;
};

}  // namespace

TEST(LogFaultBench, ALogHeldByAnotherProcessDoesNotStopTheRun) {
  REQUIRE_BENCH();
  const std::string log = bench::ProgramDir() + "TavrinOperator.log";
  LockHolder holder(log);
  ASSERT_TRUE(holder.locked());
  const std::string before = ReadFile(log);

  CtlRun run = RunCtl("connect 198.18.0.13");

  EXPECT_EQ(run.status, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("status: Connection established.\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Serial Number: TV8010A0003\n"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(log), before) << "the holder's file stays as it was";
}
