#include "core/single_instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

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

// Without $XDG_RUNTIME_DIR the lock lies in a directory of the user's own in
// a shared parent; whatever another user put there first must not hold the
// lock, and starts must still go on.
TEST_F(SingleInstanceTest, PrivateDirectoryIsMadeOrElseRefusedWhenOthersCouldReachIt) {
  const struct {
    const char* why;
    std::function<void(const std::string& place)> prepare;
    bool guarded;
  } cases[] = {
      {"missing, so made", [](const std::string&) {}, true},
      {"already the user's own", [](const std::string& p) { ::mkdir(p.c_str(), 0700); }, true},
      {"open to others",
       [](const std::string& p) {
         ::mkdir(p.c_str(), 0700);
         ::chmod(p.c_str(), 0733);
       },
       false},
      {"another user's",
       [](const std::string& p) {
         ::mkdir(p.c_str(), 0700);
         // Without the right to give it away, one open to all stands in.
         if (::chown(p.c_str(), ::getuid() + 1, ::getgid()) != 0) ::chmod(p.c_str(), 0777);
       },
       false},
      {"a symbolic link to a directory of the user's",
       [](const std::string& p) {
         ::mkdir((p + ".real").c_str(), 0700);
         if (::symlink((p + ".real").c_str(), p.c_str()) != 0) ADD_FAILURE() << "no link " << p;
       },
       false},
      {"a file", [](const std::string& p) { ::close(::creat(p.c_str(), 0600)); }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string parent = dir_ + "/" + std::to_string(&c - cases);
    ASSERT_EQ(::mkdir(parent.c_str(), 0777), 0);
    const std::string place = parent + "/TavrinOperator-" + std::to_string(::getuid());
    c.prepare(place);
    EXPECT_EQ(PrivateDirectory(parent), place);

    SingleInstance first(place);
    EXPECT_TRUE(first.Acquire());  // unguarded rather than never starting
    EXPECT_EQ(first.ListenFd() >= 0, c.guarded);
    if (c.guarded) {
      struct stat made {};
      ASSERT_EQ(::lstat(place.c_str(), &made), 0);
      EXPECT_TRUE(S_ISDIR(made.st_mode));
      EXPECT_EQ(made.st_mode & 0777, 0700u);
      EXPECT_EQ(made.st_uid, ::getuid());
      SingleInstance second(place);
      EXPECT_FALSE(second.Acquire());
      EXPECT_TRUE(second.NotifyFirst());
      EXPECT_TRUE(first.ReadRaiseRequest());
    } else {
      EXPECT_FALSE(fs::exists(first.LockPath()));
    }
  }
}

// A runtime directory that is not the user's own (root under `sudo -E`)
// is left for the private directory under /tmp; the user's own is used.
TEST_F(SingleInstanceTest, ABorrowedRuntimeDirectoryGivesWayToThePrivateOneInTmp) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedValue = saved != nullptr ? saved : "";
  const std::string own = dir_ + "/own";
  const std::string others = dir_ + "/others";
  ASSERT_EQ(::mkdir(own.c_str(), 0700), 0);
  ASSERT_EQ(::mkdir(others.c_str(), 0700), 0);
  // Without the right to give it away, one others may enter stands in.
  if (::chown(others.c_str(), ::getuid() + 1, ::getgid()) != 0) ::chmod(others.c_str(), 0755);
  ASSERT_EQ(::symlink(own.c_str(), (dir_ + "/link").c_str()), 0);
  const std::string tmpLock =
      PrivateDirectory("/tmp") + "/TavrinOperator-" + std::to_string(::getuid()) + ".lock";
  const struct {
    std::string runtime;
    std::string lockDirectory;
  } cases[] = {
      {others, ""},
      {dir_ + "/link/", ""},
      {dir_ + "/missing", ""},
      {own + "/", own},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.runtime);
    ::setenv("XDG_RUNTIME_DIR", c.runtime.c_str(), 1);
    const SingleInstance instance;
    if (c.lockDirectory.empty())
      EXPECT_EQ(instance.LockPath(), tmpLock);
    else
      EXPECT_EQ(fs::path(instance.LockPath()).parent_path(), c.lockDirectory);
  }
  if (saved != nullptr)
    ::setenv("XDG_RUNTIME_DIR", savedValue.c_str(), 1);
  else
    ::unsetenv("XDG_RUNTIME_DIR");
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
