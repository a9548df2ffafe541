#include "tests/console/term_runner.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cstring>

#include "tests/support/bench_env.h"

namespace console_test {

namespace {

double Now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}

[[noreturn]] void Exec(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  std::string path = BenchtermPath();
  argv.push_back(const_cast<char*>(path.c_str()));
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execv(path.c_str(), argv.data());
  _exit(127);
}

int StatusOf(int raw) { return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1; }

// Collects the child's output while feeding its input.
void Pump(int in, int out, int err, const std::string& input, PipedRun& run, double deadline) {
  std::size_t written = 0;
  if (input.empty()) close(in), in = -1;
  while ((out >= 0 || err >= 0) && Now() < deadline) {
    pollfd fds[3] = {{out, POLLIN, 0}, {err, POLLIN, 0}, {in, POLLOUT, 0}};
    if (poll(fds, 3, 200) <= 0) continue;
    char buf[65536];
    for (int i = 0; i < 2; ++i) {
      if (fds[i].revents == 0) continue;
      ssize_t n = read(fds[i].fd, buf, sizeof buf);
      if (n > 0) {
        (i == 0 ? run.out : run.err).append(buf, static_cast<std::size_t>(n));
      } else {
        close(fds[i].fd);
        (i == 0 ? out : err) = -1;
      }
    }
    if (in >= 0 && fds[2].revents != 0) {
      ssize_t n = write(in, input.data() + written, input.size() - written);
      if (n > 0) written += static_cast<std::size_t>(n);
      if (n <= 0 || written == input.size()) close(in), in = -1;
    }
  }
  for (int fd : {in, out, err})
    if (fd >= 0) close(fd);
}

}  // namespace

std::string BenchtermPath() { return bench::ProgramDir() + "benchterm"; }

PipedRun RunPiped(const std::vector<std::string>& args, const std::string& input,
                  int timeoutSeconds) {
  PipedRun run;
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    return run;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    Exec(args);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  double deadline = Now() + timeoutSeconds;
  Pump(in[1], out[0], err[0], input, run, deadline);
  int raw = 0;
  while (waitpid(pid, &raw, WNOHANG) == 0) {
    if (Now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &raw, 0);
      return run;
    }
    usleep(10000);
  }
  run.status = StatusOf(raw);
  return run;
}

PtySession::PtySession(const std::vector<std::string>& args) {
  pid_ = forkpty(&master_, nullptr, nullptr, nullptr);
  if (pid_ == 0) Exec(args);
}

PtySession::~PtySession() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
}

bool PtySession::ReadSome(int timeoutMs) {
  pollfd fd{master_, POLLIN, 0};
  if (poll(&fd, 1, timeoutMs) <= 0) return false;
  char buf[65536];
  ssize_t n = read(master_, buf, sizeof buf);
  if (n <= 0) return false;
  for (ssize_t i = 0; i < n; ++i)
    if (buf[i] != '\r') output_.push_back(buf[i]);
  return true;
}

bool PtySession::Expect(const std::string& text, int timeoutSeconds) {
  double deadline = Now() + timeoutSeconds;
  for (;;) {
    std::size_t at = output_.find(text, mark_);
    if (at != std::string::npos) {
      mark_ = at + text.size();
      return true;
    }
    if (Now() > deadline) return false;
    ReadSome(100);
  }
}

std::string PtySession::Settle(double seconds) {
  double deadline = Now() + seconds;
  while (Now() < deadline) ReadSome(50);
  std::string rest = output_.substr(mark_);
  mark_ = output_.size();
  return rest;
}

// The terminal echoes typed keys by itself until the program's line editor
// takes it over, which happens only after the prompt is drawn: keys typed in
// between would be echoed twice, once by the terminal and once by the
// editor. Waits (boundedly) for the editor to hold the terminal.
void PtySession::WaitForTheEditor() {
  double deadline = Now() + 10;
  termios mode{};
  while (tcgetattr(master_, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) != 0 &&
         Now() < deadline)
    usleep(2000);
}

void PtySession::Type(const std::string& line) {
  WaitForTheEditor();
  std::string keys = line + "\r";
  if (write(master_, keys.data(), keys.size()) < 0) return;
}

void PtySession::Interrupt() {
  char ctrl_c = 3;
  if (write(master_, &ctrl_c, 1) < 0) return;
}

int PtySession::Wait(int timeoutSeconds) {
  double deadline = Now() + timeoutSeconds;
  int raw = 0;
  while (Now() < deadline) {
    ReadSome(50);
    pid_t done = waitpid(pid_, &raw, WNOHANG);
    if (done == pid_) {
      pid_ = -1;
      while (ReadSome(50)) {
      }
      return StatusOf(raw);
    }
  }
  return -1;
}

}  // namespace console_test
