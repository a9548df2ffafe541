#include "instrument/ssh_channel.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "core/remote_shell.h"
#include "instrument/cancel_event.h"
#include "instrument/scp_target.h"
#include "instrument/ssh_connection.h"
#include "instrument/ssh_diagnostics.h"
#include "instrument/ssh_output_capture.h"

namespace {

// The file goes out in large pieces: the library sends one packet per
// write, so small writes cost throughput; the buffer stays bounded.
constexpr std::size_t kCopyChunk = 256 * 1024;
constexpr std::size_t kAckMessageMax = 2048;

// Calls are one at a time across the process; the cancel event is not
// behind this lock, so a cancel reaches a call that holds it.
std::mutex g_callMutex;

// Why the last call failed and which way its file went; written and read
// under g_callMutex's turn (calls are one at a time).
LoginFailure g_lastFailure;
CopyRoute g_lastRoute = CopyRoute::Unknown;

void NoteFailure(const SshConnection& connection) {
  g_lastFailure.stage = connection.FailureStage();
  g_lastFailure.cause = connection.FailureCause();
}

// The call's cancel event, from set-up to the end of tear-down.
class CancelScope {
 public:
  CancelScope() : fd_(CancelEventCreate()) {}
  ~CancelScope() { CancelEventDestroy(); }
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

class LocalFile {
 public:
  ~LocalFile() {
    if (fd_ >= 0) close(fd_);
  }
  // A missing or unreadable file, or anything but a regular file, is refused.
  bool Open(const char* path) {
    if (path == nullptr || *path == '\0') {
      SshDiagnostic("no local file given");
      return false;
    }
    // Non-blocking, so that a FIFO is refused instead of waited on.
    fd_ = open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat info {};
    if (fd_ < 0 || fstat(fd_, &info) != 0) {
      SshDiagnostic("%s: %s", path, std::strerror(errno));
      return false;
    }
    if (!S_ISREG(info.st_mode)) {
      SshDiagnostic("%s: not a regular file", path);
      return false;
    }
    size_ = static_cast<unsigned long long>(info.st_size);
    return true;
  }
  int fd() const { return fd_; }
  unsigned long long size() const { return size_; }

 private:
  int fd_ = -1;
  unsigned long long size_ = 0;
};

void ReadCapturedOutput(SshConnection& connection, SshOutputCapture& capture) {
  char chunk[4096];
  for (;;) {
    long n = connection.Read(chunk, sizeof chunk);
    if (n <= 0) return;  // the end, or a lost or cancelled connection
    capture.Append(chunk, static_cast<std::size_t>(n));
  }
}

// One acknowledgement of the sink: 0 is success; 1 and 2 come with a
// message line, and any other byte starts such a line.
bool ReadAcknowledgement(SshConnection& connection) {
  char code = 0;
  if (connection.Read(&code, 1) != 1) {
    if (!connection.Cancelled()) SshDiagnostic("scp: the connection ended before the sink answered");
    return false;
  }
  if (code == 0) return true;
  std::string line;
  if (code != 1 && code != 2) line.push_back(code);
  char c = 0;
  while (line.size() < kAckMessageMax && (line.empty() || line.back() != '\n') &&
         connection.Read(&c, 1) == 1)
    line.push_back(c);
  if (line.empty() || line.back() != '\n') line.push_back('\n');
  line.insert(0, code == 1 ? "ssh: the sink warns: " : "ssh: the sink refused: ");
  WriteSshDiagnosticText(line.data(), line.size());
  return false;
}

bool SendContents(SshConnection& connection, const LocalFile& file) {
  std::vector<char> buffer(kCopyChunk);
  unsigned long long left = file.size();
  while (left > 0) {
    std::size_t want = static_cast<std::size_t>(std::min<unsigned long long>(left, buffer.size()));
    ssize_t got = read(file.fd(), buffer.data(), want);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) {
      SshDiagnostic("scp: the local file ended or failed before its announced size");
      return false;
    }
    if (!connection.Write(buffer.data(), static_cast<std::size_t>(got))) return false;
    left -= static_cast<unsigned long long>(got);
  }
  return true;
}

// The sink dialogue: ready, file header, contents, final zero byte; the
// sink acknowledges each step. A refused header ends it before any content.
bool SendThroughSink(SshConnection& connection, const LocalFile& file, const std::string& name,
                     bool* sinkAnswered) {
  if (!ReadAcknowledgement(connection)) return false;
  *sinkAnswered = true;
  std::string header = "C0644 " + std::to_string(file.size()) + " " + name + "\n";
  if (!connection.Write(header.data(), header.size()) || !ReadAcknowledgement(connection))
    return false;
  const char end = 0;
  return SendContents(connection, file) && connection.Write(&end, 1) &&
         ReadAcknowledgement(connection);
}

// The instrument's shell could not start scp: "not found", status 127.
bool ScpMissing(const SshConnection& connection) {
  return (connection.HasExitStatus() && connection.ExitStatus() == 127) ||
         connection.StandardErrorTail().find("not found") != std::string::npos;
}

// The file through the instrument's shell: contents on standard input,
// end-of-file, then the shell's word that the file was written and a
// clean exit status. Nothing less counts as a copy.
bool SendThroughShell(const ScpTarget& target, const char* login, const char* password,
                      const char* localPath, int cancelFd) {
  LocalFile file;
  if (!file.Open(localPath)) return false;
  SshConnection connection(cancelFd);
  if (!connection.Open(target.host.c_str(), login, password,
                       ShellSinkCommand(localPath, target.path))) {
    NoteFailure(connection);
    connection.Close(false);
    return false;
  }
  SshOutputCapture capture(kShellSinkDone, nullptr, 0);
  bool sent = SendContents(connection, file) && connection.SendEof();
  if (sent) ReadCapturedOutput(connection, capture);
  bool closed = connection.Close(true);
  bool written = sent && closed && capture.Matches() && connection.HasExitStatus() &&
                 connection.ExitStatus() == 0;
  if (!written && !connection.Cancelled())
    SshDiagnostic("%s: the instrument's shell did not confirm the file", target.host.c_str());
  return written;
}

class SshRemoteShell : public RemoteShell {
 public:
  bool RunCommand(const char* host, const char* user, const char* password, const char* command,
                  const char* expected, int* matched, char* output,
                  std::size_t outputCapacity) override {
    return ssh_run_command(host, user, password, command, expected, matched, output,
                           outputCapacity);
  }
  bool SendFile(const char* user, const char* password, const char* localPath,
                const char* remoteTarget) override {
    return scp_send_file(user, password, localPath, remoteTarget);
  }
  bool Cancel() override { return ssh_cancel(); }
  LoginFailure LastLoginFailure() override { return g_lastFailure; }
  CopyRoute LastCopyRoute() override { return g_lastRoute; }
};

}  // namespace

bool ssh_run_command(const char* host, const char* user, const char* password,
                     const char* command, const char* expected, int* matched, char* output,
                     std::size_t outputCapacity) {
  std::lock_guard<std::mutex> call(g_callMutex);
  CancelScope cancel;
  unsigned errors = 0;
  bool captured = expected != nullptr || output != nullptr;
  if (matched != nullptr && expected != nullptr) *matched = 0;

  SshConnection connection(cancel.fd());
  bool started = connection.Open(host, user, password, command != nullptr ? command : "");
  NoteFailure(connection);
  if (!started) {
    ++errors;
  } else if (captured) {
    // A cancelled connection just ends the output: what came counts.
    SshOutputCapture capture(expected, output, outputCapacity);
    ReadCapturedOutput(connection, capture);
    if (matched != nullptr && expected != nullptr) *matched = capture.Matches() ? 1 : 0;
  }
  connection.Close(captured);
  // A command whose channel ended without an exit status (its session was
  // cut, or it was killed) did not run to its end: whatever it printed,
  // the line failed.
  if (started && captured && !connection.Cancelled() && !connection.HasExitStatus()) {
    SshDiagnostic("%s: the command ended without an exit status", host);
    ++errors;
  }
  return errors == 0;
}

bool scp_send_file(const char* user, const char* password, const char* localPath,
                   const char* remoteTarget) {
  std::lock_guard<std::mutex> call(g_callMutex);
  CancelScope cancel;
  ScpTarget target;
  if (!ParseScpTarget(remoteTarget, &target)) {
    SshDiagnostic("scp: \"%s\" names no remote host", remoteTarget != nullptr ? remoteTarget : "");
    return false;
  }
  LocalFile file;
  if (!file.Open(localPath)) return false;

  g_lastRoute = CopyRoute::Unknown;
  unsigned errors = 0;
  SshConnection connection(cancel.fd());
  const char* login = target.user.empty() ? user : target.user.c_str();
  bool started = connection.Open(target.host.c_str(), login, password,
                                 ScpSinkCommand(localPath, target.path));
  NoteFailure(connection);
  bool sinkAnswered = false;
  if (!started || !SendThroughSink(connection, file, ScpBaseName(localPath), &sinkAnswered))
    ++errors;
  connection.Close(true);
  if (connection.Cancelled()) ++errors;
  if (errors == 0) g_lastRoute = CopyRoute::Scp;
  // An instrument without scp still has a shell that can write the file.
  if (started && !sinkAnswered && !connection.Cancelled() && ScpMissing(connection)) {
    SshDiagnostic("%s: no scp on the instrument; sending the file through its shell",
                  target.host.c_str());
    if (!SendThroughShell(target, login, password, localPath, cancel.fd())) return false;
    g_lastRoute = CopyRoute::Shell;
    return true;
  }
  return errors == 0;
}

bool ssh_cancel() { return CancelEventSignal(); }

RemoteShell& SshShell() {
  static SshRemoteShell shell;
  return shell;
}
