#pragma once
// The instrument's shell as the controller reaches it: one command or one
// file copy per call. Production uses the SSH channel; tests may script it.
#include <cstddef>
#include <string>

// How far the last failed call got before it failed.
enum class LoginStage {
  None,            // it did not fail, or failed after its command started
  Unreachable,     // no connection: refused, unreachable, timed out
  NoLogin,         // connected, but no banner or key exchange came to an end
  KeyExchange,     // the instrument's algorithms and ours have none in common
  Authentication,  // the password was refused or a prompt could not be answered
  Command,         // logged in, but the command could not be started
};

struct LoginFailure {
  LoginStage stage = LoginStage::None;
  std::string cause;  // one line for the operator naming the cause, or empty
};

// Which way the last copied file went to the instrument.
enum class CopyRoute { Unknown, Scp, Shell };

class RemoteShell {
 public:
  virtual ~RemoteShell() = default;
  // Same contract as ssh_run_command: any pointer may be null.
  virtual bool RunCommand(const char* host, const char* user, const char* password,
                          const char* command, const char* expected, int* matched,
                          char* output, std::size_t outputCapacity) = 0;
  // Same contract as scp_send_file.
  virtual bool SendFile(const char* user, const char* password, const char* localPath,
                        const char* remoteTarget) = 0;
  // Same contract as ssh_cancel: callable from any thread.
  virtual bool Cancel() = 0;
  // Why the last call failed, as far as the shell can tell.
  virtual LoginFailure LastLoginFailure() { return LoginFailure(); }
  // Which way the last SendFile's file went.
  virtual CopyRoute LastCopyRoute() { return CopyRoute::Unknown; }
};
