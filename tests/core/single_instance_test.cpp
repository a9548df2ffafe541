#include "core/single_instance.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "tests/core/temp_dir_support.h"

namespace {

namespace fs = std::filesystem;

// Runs `body` in a child process and returns its exit status.
template <typename Body>
int InChild(Body body) {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(body());
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool Readable(int fd, int timeoutMs) {
  pollfd entry{fd, POLLIN, 0};
  return ::poll(&entry, 1, timeoutMs) == 1;
}

using SingleInstanceTest = core_test::TempDirTest;

TEST_F(SingleInstanceTest, SecondStartIsRefusedAndRaisesTheFirst) {
  SingleInstance first(dir_);
  EXPECT_FALSE(first.NotifyFirst());  // nobody listens yet
  ASSERT_TRUE(first.Acquire());
  ASSERT_GE(first.ListenFd(), 0);
  EXPECT_FALSE(Readable(first.ListenFd(), 0));

  const int second = InChild([this] {
    SingleInstance again(dir_);
    if (again.Acquire()) return 1;
    return again.NotifyFirst() ? 0 : 2;
  });
  EXPECT_EQ(second, 0);

  ASSERT_TRUE(Readable(first.ListenFd(), 2000));
  EXPECT_TRUE(first.ReadRaiseRequest());
  EXPECT_FALSE(first.ReadRaiseRequest());  // one request, one raise
}

TEST_F(SingleInstanceTest, SeveralRequestsBeforeTheWindowLooksRaiseOnce) {
  SingleInstance first(dir_);
  ASSERT_TRUE(first.Acquire());
  SingleInstance second(dir_);
  SingleInstance third(dir_);
  EXPECT_FALSE(second.Acquire());
  EXPECT_FALSE(third.Acquire());
  EXPECT_TRUE(second.NotifyFirst());
  EXPECT_TRUE(third.NotifyFirst());
  EXPECT_TRUE(first.ReadRaiseRequest());
  EXPECT_FALSE(Readable(first.ListenFd(), 0));
}

TEST_F(SingleInstanceTest, UnusableLockPlaceStillLetsTheProgramStart) {
  SingleInstance first(dir_ + "/missing");
  EXPECT_TRUE(first.Acquire());
  EXPECT_EQ(first.ListenFd(), -1);
  EXPECT_FALSE(first.ReadRaiseRequest());
}

TEST_F(SingleInstanceTest, LockIsFreeAgainWhenTheHolderEnds) {
  {
    SingleInstance first(dir_);
    ASSERT_TRUE(first.Acquire());
  }
  // A holder that died without cleaning up leaves its socket file behind.
  EXPECT_EQ(InChild([this] {
              SingleInstance crashed(dir_);
              if (!crashed.Acquire()) return 1;
              ::_exit(0);  // no destructor
            }),
            0);
  EXPECT_TRUE(fs::exists(SingleInstance(dir_).SocketPath()));

  SingleInstance next(dir_);
  ASSERT_TRUE(next.Acquire());
  SingleInstance later(dir_);
  EXPECT_TRUE(later.NotifyFirst());
  EXPECT_TRUE(next.ReadRaiseRequest());
}

TEST_F(SingleInstanceTest, StartedProgramsDoNotKeepTheLock) {
  pid_t sleeper = -1;
  {
    SingleInstance first(dir_);
    ASSERT_TRUE(first.Acquire());
    sleeper = core_test::SpawnSleeper();
  }
  SingleInstance next(dir_);
  EXPECT_TRUE(next.Acquire());
  core_test::EndSleeper(sleeper);
}

}  // namespace
