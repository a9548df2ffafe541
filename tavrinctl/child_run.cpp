#include "tavrinctl/child_run.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace {

// Reads both pipes to their ends.
void Collect(int outFd, int errFd, ChildResult& result) {
  struct pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
  std::string* texts[2] = {&result.out, &result.err};
  int open = 2;
  char buffer[4096];
  while (open > 0) {
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n > 0) {
        texts[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        fds[i].fd = -1;  // poll ignores it from now on
        --open;
      }
    }
  }
}

int ExitStatusOf(int waitStatus) { return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1; }

}  // namespace

ChildResult ChildRuns::Run(const std::vector<std::string>& arguments) {
  ChildResult result;
  // Close-on-exec, so that a child started meanwhile by another thread
  // holds no end of these pipes and their ends arrive.
  int outPipe[2], errPipe[2];
  if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
  if (::pipe2(errPipe, O_CLOEXEC) != 0) {
    ::close(outPipe[0]);
    ::close(outPipe[1]);
    return result;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attributes, 0);

  std::vector<std::string> words = arguments;
  words.insert(words.begin(), "tavrinctl");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  pid_t child = -1;
  {
    // Under the lock: Stop either sees the child or keeps it from starting.
    std::lock_guard<std::mutex> lock(mutex_);
    if (!stopped_ &&
        posix_spawn(&child, "/proc/self/exe", &actions, &attributes, argv.data(), environ) == 0)
      running_.insert(child);
  }
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  ::close(outPipe[1]);
  ::close(errPipe[1]);
  if (child > 0) Collect(outPipe[0], errPipe[0], result);
  ::close(outPipe[0]);
  ::close(errPipe[0]);
  if (child <= 0) return result;
  // Ended but not yet reaped, its number cannot go to another process
  // while Stop may still signal it.
  siginfo_t ended {};
  while (::waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    running_.erase(child);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  result.status = ExitStatusOf(status);
  return result;
}

void ChildRuns::Stop() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (stopped_) return;
  stopped_ = true;
  for (pid_t child : running_) ::kill(child, SIGTERM);
}

bool ChildRuns::Stopped() {
  std::lock_guard<std::mutex> lock(mutex_);
  return stopped_;
}
