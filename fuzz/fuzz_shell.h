#pragma once
// The instrument's shell and a clock for the targets that run controller
// operations: every command is answered by a function of the target, and
// time moves only when slept on.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/remote_shell.h"

namespace fuzz {

struct Reply {
  bool ok = true;      // the SSH call itself succeeded
  std::string output;  // the command's standard output
};

class AnsweringShell : public RemoteShell {
 public:
  // Called with each command; an unset function answers every call with
  // success and no output.
  std::function<Reply(const std::string& command)> answer;
  bool copySucceeds = true;
  std::vector<std::string> copiedFiles;  // local paths, in order

  bool RunCommand(const char* host, const char* user, const char* password, const char* command,
                  const char* expected, int* matched, char* output,
                  std::size_t outputCapacity) override;
  bool SendFile(const char* user, const char* password, const char* localPath,
                const char* remoteTarget) override;
  bool Cancel() override { return true; }
};

class SteppingClock : public Clock {
 public:
  std::uint64_t NowMs() override { return now_; }
  void SleepMs(std::uint32_t ms) override { now_ += ms; }

 private:
  std::uint64_t now_ = 1000000;
};

}  // namespace fuzz
