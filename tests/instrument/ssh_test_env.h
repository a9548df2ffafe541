#pragma once
// Helpers of the SSH channel's tests: private directories (so that the
// known-host store of a test run starts empty and is its own), and a few
// wrappers around the calls.
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "instrument/ssh_channel.h"

namespace ssh_test {

using Clock = std::chrono::steady_clock;

// Puts an environment variable back as it was at the end of the scope.
class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const char* name) : name_(name) {
    const char* value = std::getenv(name);
    had_ = value != nullptr;
    if (had_) value_ = value;
  }
  ~EnvironmentGuard() {
    if (had_)
      setenv(name_, value_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string value_;
};

// A fresh directory under /tmp, removed with its contents at the end.
class TempDir {
 public:
  TempDir() {
    char pattern[] = "/tmp/tv_ssh_XXXXXX";
    if (mkdtemp(pattern) != nullptr) path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Points the configuration directory, and with it the known-host store,
// at a private directory.
class TempConfigHome {
 public:
  TempConfigHome() { setenv("XDG_CONFIG_HOME", dir_.path().c_str(), 1); }
  std::string StorePath() const { return dir_.path() + "/TavrinOperator/known_hosts"; }
  const std::string& dir() const { return dir_.path(); }

 private:
  EnvironmentGuard guard_{"XDG_CONFIG_HOME"};
  TempDir dir_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// A command run as root; the optional parts as ssh_run_command takes them.
inline bool RunAsRoot(const std::string& host, const char* password, const std::string& command,
                      const char* expected = nullptr, int* matched = nullptr,
                      char* output = nullptr, std::size_t capacity = 0) {
  return ssh_run_command(host.c_str(), "root", password, command.c_str(), expected, matched,
                         output, capacity);
}

struct Captured {
  bool ok = false;
  std::string text;
};

// A captured command with the callers' usual capacity.
inline Captured Capture(const char* host, const char* password, const std::string& command,
                        std::size_t capacity = 4095) {
  std::string buffer(capacity + 1, '\0');
  Captured result;
  result.ok = RunAsRoot(host, password, command, nullptr, nullptr, &buffer[0], capacity);
  result.text = buffer.c_str();
  return result;
}

struct Timed {
  bool result = true;
  Clock::duration elapsed{};
};

// Runs `call` while another thread cancels it `delay` after it started.
template <typename Call>
Timed CancelAfter(std::chrono::milliseconds delay, Call call) {
  std::atomic<bool> done{false};
  std::thread canceller([&] {
    std::this_thread::sleep_for(delay);
    while (!done && !ssh_cancel()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  });
  Timed timed;
  Clock::time_point start = Clock::now();
  timed.result = call();
  timed.elapsed = Clock::now() - start;
  done = true;
  canceller.join();
  return timed;
}

}  // namespace ssh_test
