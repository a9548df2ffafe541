#pragma once
// One SSH connection of one call: TCP connect, key exchange, host-key
// policy, password authentication, and one exec channel without a
// pseudo-terminal. The session runs non-blocking; every wait polls the
// socket together with the call's cancel event, so another thread can end
// any wait at once. A silent or vanished peer is given up by itself: the
// login and the tear-down have deadlines, and the kernel's keepalive ends
// an established connection whose peer no longer answers.
#include <libssh2.h>

#include "core/remote_shell.h"

#include <chrono>
#include <cstddef>
#include <string>

// Answers one keyboard-interactive request: a single hidden prompt gets a
// copy of the password (released by the library); a request without
// prompts needs no answer. False when the request cannot be answered
// (several prompts, or one that echoes); then every answer stays empty.
bool AnswerPasswordPrompts(const std::string& password, int count,
                           const LIBSSH2_USERAUTH_KBDINT_PROMPT* prompts,
                           LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses);

class SshConnection {
 public:
  explicit SshConnection(int cancelFd);
  ~SshConnection();
  SshConnection(const SshConnection&) = delete;
  SshConnection& operator=(const SshConnection&) = delete;

  // Connects, authenticates and starts `command`; true once the server has
  // accepted the command. `user` null: the local account's name.
  bool Open(const char* host, const char* user, const char* password, const std::string& command);

  // Reads standard output: the byte count, 0 once the remote side has ended
  // it, -1 when the connection was lost or the call cancelled. The remote
  // standard error goes to our own as diagnostics meanwhile.
  long Read(char* buffer, std::size_t length);

  // Writes all of `data` to the command's standard input.
  bool Write(const char* data, std::size_t length);

  // Sends end-of-file on the command's standard input (once).
  bool SendEof();

  // Ends the connection: end-of-file on the channel, then, with
  // `awaitRemoteClose` and a started command, the wait until the remote
  // side closes it. False when that wait failed.
  bool Close(bool awaitRemoteClose);

  bool Cancelled() const { return cancelled_; }
  // How the command ended, known after Close(true): the channel was closed
  // by the remote side with an exit status (and which), or not.
  bool HasExitStatus() const { return haveExitStatus_; }
  int ExitStatus() const { return exitStatus_; }
  // The last of what the command wrote to its standard error.
  const std::string& StandardErrorTail() const { return stderrTail_; }
  // How far a login that failed got, and the cause to tell the operator
  // when one can be named (see LoginFailure).
  LoginStage FailureStage() const { return failureStage_; }
  const std::string& FailureCause() const { return failureCause_; }

  // Answers the server's keyboard-interactive requests (library callback).
  void AnswerPrompts(int count, const LIBSSH2_USERAUTH_KBDINT_PROMPT* prompts,
                     LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses);
  // Reports the reason the server gives for disconnecting (library callback).
  void NoteDisconnect(const char* message, int length);
  // Keeps the start of what the server sends, until the key exchange is
  // done (library callback).
  void NoteReceived(const char* data, std::size_t length);

 private:
  bool ConnectSocket(const char* host);
  void WatchForDeadPeer();
  void SetDeadline(int milliseconds);
  void ClearDeadline();
  int WaitLimit(int wanted) const;
  bool DeadlinePassed() const;
  bool Ended() const { return cancelled_ || timedOut_; }
  bool StartSession(const char* host);
  bool Authenticate(const std::string& user);
  bool AuthenticateOnce(const std::string& user, bool usePassword, int* result);
  bool StartCommand(const std::string& command);
  void ExplainKeyExchange();
  void NoteExit();
  void DrainStandardError();
  bool WaitSocket();
  template <typename Op>
  int Retry(Op op);
  void Fail(const char* what, int code);
  void FreeAll();

  int cancelFd_;
  int socket_ = -1;
  LIBSSH2_SESSION* session_ = nullptr;
  LIBSSH2_CHANNEL* channel_ = nullptr;
  std::string host_;
  std::string password_;
  bool havePassword_ = false;
  bool cancelled_ = false;
  bool timedOut_ = false;
  bool commandStarted_ = false;
  bool haveDeadline_ = false;
  std::chrono::steady_clock::time_point deadline_;
  bool unanswerablePrompt_ = false;
  bool eofSent_ = false;
  bool haveExitStatus_ = false;
  int exitStatus_ = -1;
  std::string stderrTail_;
  LoginStage failureStage_ = LoginStage::None;
  std::string failureCause_;
  std::string received_;  // the first bytes from the server, for its offer
  bool keepReceived_ = true;
};
