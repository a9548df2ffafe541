#include "tests/scripts/fake_shell_support.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "instrument/discovery.h"
#include "scripts/reboot_wait.h"

namespace fake {

void ScriptedShell::Answer(const std::string& needle, const std::string& output, bool ok) {
  rules_.push_back(Rule{needle, ShellReply{ok, output}});
}

std::vector<std::string> ScriptedShell::Commands() const {
  std::vector<std::string> commands;
  for (const ShellCall& call : calls) commands.push_back(call.command);
  return commands;
}

bool ScriptedShell::RunCommand(const char* host, const char* user, const char*,
                               const char* command, const char* expected, int* matched,
                               char* output, std::size_t outputCapacity) {
  ShellCall call;
  call.host = host != nullptr ? host : "";
  call.user = user != nullptr ? user : "";
  call.command = command != nullptr ? command : "";
  call.hasExpected = expected != nullptr;
  call.expected = expected != nullptr ? expected : "";
  call.captured = output != nullptr;
  call.capacity = outputCapacity;
  calls.push_back(call);

  ShellReply reply = fallback;
  if (responder) {
    reply = responder(call);
  } else {
    for (const Rule& rule : rules_) {
      if (call.command.find(rule.needle) != std::string::npos) {
        reply = rule.reply;
        break;
      }
    }
  }
  if (!reply.ok) return false;
  // The channel's contract: at most `outputCapacity` bytes, no terminator;
  // a match compares the first 256 bytes with the expected text.
  if (output != nullptr)
    std::memcpy(output, reply.output.data(), std::min(reply.output.size(), outputCapacity));
  if (expected != nullptr && matched != nullptr) *matched = reply.output.substr(0, 256) == expected;
  return true;
}

bool ScriptedShell::SendFile(const char* user, const char* password, const char* localPath,
                             const char* remoteTarget) {
  CopyCall copy{user, password, localPath, remoteTarget, FileExists(localPath)};
  copies.push_back(copy);
  return copySucceeds && copy.localFileExisted;
}

bool ScriptedShell::Cancel() {
  ++cancels;
  return true;
}

FakeInstrumentTest::FakeInstrumentTest(const std::string& address) {
  controller.shell = &shell;
  controller.noticeSink = &queue;
  controller.clock = &clock;
  controller.userName = "root";
  controller.password = "kdrun64";
  controller.targetAddress = address;
}

void FakeInstrumentTest::TearDown() {
  SetRebootSearch(nullptr);
  ClearDiscoveredInstruments();
}

std::vector<WorkerNotice> FakeInstrumentTest::Notices() { return TakeNotices(queue); }

std::vector<WorkerNotice> TakeNotices(NoticeQueue& queue) {
  std::vector<WorkerNotice> notices;
  queue.Drain([&](const WorkerNotice& notice) { notices.push_back(notice); });
  return notices;
}

std::vector<std::string> TextsOf(const std::vector<WorkerNotice>& notices, int code) {
  std::vector<std::string> texts;
  for (const WorkerNotice& notice : notices)
    if (notice.code == code) texts.push_back(notice.text);
  return texts;
}

int CountOf(const std::vector<WorkerNotice>& notices, int code) {
  return static_cast<int>(
      std::count_if(notices.begin(), notices.end(), [&](const WorkerNotice& n) { return n.code == code; }));
}

bool WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
  return static_cast<bool>(out);
}

bool FileExists(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0;
}

}  // namespace fake
