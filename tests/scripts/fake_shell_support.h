#pragma once
// A scripted instrument shell and a clock that advances only when slept
// on, for running script pieces and the reboot wait without an instrument.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/notice_queue.h"
#include "core/remote_shell.h"
#include "core/updater_controller.h"

namespace fake {

struct ShellCall {
  std::string host;
  std::string user;
  std::string command;
  bool hasExpected = false;
  std::string expected;
  bool captured = false;  // an output buffer was given
  std::size_t capacity = 0;
};

struct ShellReply {
  bool ok = true;      // the SSH call itself succeeded
  std::string output;  // the command's standard output
};

struct CopyCall {
  std::string user;
  std::string password;
  std::string localPath;
  std::string target;
  bool localFileExisted = false;
};

// Answers each command from a table (first rule whose text the command
// contains), or from a responder when one is set; records every call.
class ScriptedShell : public RemoteShell {
 public:
  void Answer(const std::string& needle, const std::string& output, bool ok = true);
  // Replies "yes\n" to commands containing `needle` (a test that succeeds).
  void Succeed(const std::string& needle) { Answer(needle, "yes\n"); }

  std::function<ShellReply(const ShellCall&)> responder;
  ShellReply fallback;  // when no rule applies: success, no output
  bool copySucceeds = true;

  std::vector<ShellCall> calls;
  std::vector<CopyCall> copies;
  int cancels = 0;

  std::vector<std::string> Commands() const;

  bool RunCommand(const char* host, const char* user, const char* password, const char* command,
                  const char* expected, int* matched, char* output,
                  std::size_t outputCapacity) override;
  bool SendFile(const char* user, const char* password, const char* localPath,
                const char* remoteTarget) override;
  bool Cancel() override;

 private:
  struct Rule {
    std::string needle;
    ShellReply reply;
  };
  std::vector<Rule> rules_;
};

// Monotonic time that moves only by SleepMs (and Advance).
class FakeClock : public Clock {
 public:
  std::uint64_t NowMs() override { return now_; }
  void SleepMs(std::uint32_t ms) override { now_ += ms; }
  void Advance(std::uint64_t ms) { now_ += ms; }

 private:
  std::uint64_t now_ = 1000000;
};

// A controller logged in as root with the kfw password at `address`,
// through the stand-ins above. Afterwards the reboot wait's search is the
// real one again and the discovered list is empty.
class FakeInstrumentTest : public ::testing::Test {
 protected:
  explicit FakeInstrumentTest(const std::string& address);
  void TearDown() override;
  std::vector<WorkerNotice> Notices();

  UpdaterController controller;
  ScriptedShell shell;
  FakeClock clock;
  NoticeQueue queue;
};

// Everything queued so far, oldest first.
std::vector<WorkerNotice> TakeNotices(NoticeQueue& queue);
std::vector<std::string> TextsOf(const std::vector<WorkerNotice>& notices, int code);
int CountOf(const std::vector<WorkerNotice>& notices, int code);

// Makes `path` a small file; true when it was written.
bool WriteFile(const std::string& path, const std::string& content);
bool FileExists(const std::string& path);

}  // namespace fake
