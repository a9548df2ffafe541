#pragma once
// Helpers of the SSH channel's tests: a private configuration directory, so
// that the known-host store of a test run starts empty and is its own, and
// a few wrappers around the calls.
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "instrument/ssh_channel.h"

namespace ssh_test {

using Clock = std::chrono::steady_clock;

class TempConfigHome {
 public:
  TempConfigHome() {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    hadOld_ = old != nullptr;
    if (hadOld_) old_ = old;
    char pattern[] = "/tmp/tv_ssh_config_XXXXXX";
    if (mkdtemp(pattern) != nullptr) dir_ = pattern;
    setenv("XDG_CONFIG_HOME", dir_.c_str(), 1);
  }
  ~TempConfigHome() {
    if (hadOld_)
      setenv("XDG_CONFIG_HOME", old_.c_str(), 1);
    else
      unsetenv("XDG_CONFIG_HOME");
    if (!dir_.empty()) std::system(("rm -rf " + dir_).c_str());
  }
  std::string StorePath() const { return dir_ + "/TavrinOperator/known_hosts"; }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
  std::string old_;
  bool hadOld_ = false;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
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
  result.ok = ssh_run_command(host, "root", password, command.c_str(), nullptr, nullptr,
                              &buffer[0], capacity);
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
