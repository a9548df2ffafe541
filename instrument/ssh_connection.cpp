#include "instrument/ssh_connection.h"

#include <arpa/inet.h>
#include <malloc.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "instrument/cancel_event.h"
#include "instrument/known_hosts.h"
#include "instrument/ssh_kex_offer.h"
#include "instrument/ssh_diagnostics.h"

namespace {

// Linux alone would retry a SYN for about two minutes; the window waits on
// the credential probe, so the connect is bounded far shorter.
constexpr int kConnectTimeoutMs = 20000;
// A peer that accepts the connection but never finishes the login (no
// banner, a stalled key exchange) would hold the call for ever; a healthy
// instrument logs in within a few seconds.
constexpr int kLoginTimeoutMs = 30000;
// The goodbye of a connection: a live peer closes a finished channel at
// once, so only a silent one ever meets this bound.
constexpr int kTearDownTimeoutMs = 30000;
// A peer that vanishes (power cut, cable pulled) sends nothing more. The
// kernel probes an idle connection and gives up on unanswered probes or
// unacknowledged data after kDeadPeerMs; a live instrument answers probes
// even while a long command runs, so slow work is never cut short.
constexpr int kKeepIdleSeconds = 10;
constexpr int kKeepIntervalSeconds = 5;
constexpr int kKeepCount = 8;
constexpr unsigned kDeadPeerMs = 40000;
constexpr int kCancelledCode = -1000;
// The server's first message is kept only this far: enough for any real
// KEXINIT, and bounded whatever the peer sends.
constexpr std::size_t kKeptReceived = 64 * 1024;
constexpr std::size_t kStandardErrorTail = 1024;

// The library's memory is wiped before it is released, since its buffers
// carry the password on its way into a packet.
void* WipingAlloc(std::size_t count, void** /*abstract*/) { return std::malloc(count); }

void WipingFree(void* block, void** /*abstract*/) {
  if (block == nullptr) return;
  explicit_bzero(block, malloc_usable_size(block));
  std::free(block);
}

void* WipingRealloc(void* block, std::size_t count, void** abstract) {
  void* fresh = std::malloc(count);
  if (fresh == nullptr || block == nullptr) return fresh;
  std::memcpy(fresh, block, std::min(count, malloc_usable_size(block)));
  WipingFree(block, abstract);
  return fresh;
}

ssize_t SendBytes(libssh2_socket_t socket, const void* buffer, std::size_t length, int flags,
                  void** /*abstract*/) {
  ssize_t n = send(socket, buffer, length, flags | MSG_NOSIGNAL);
  return n < 0 ? -errno : n;
}

ssize_t ReceiveBytes(libssh2_socket_t socket, void* buffer, std::size_t length, int flags,
                     void** abstract) {
  ssize_t n = recv(socket, buffer, length, flags);
  if (n > 0)
    static_cast<SshConnection*>(*abstract)->NoteReceived(static_cast<const char*>(buffer),
                                                         static_cast<std::size_t>(n));
  return n < 0 ? -errno : n;
}

void OnPrompts(const char* /*name*/, int /*nameLength*/, const char* /*instruction*/,
               int /*instructionLength*/, int count, const LIBSSH2_USERAUTH_KBDINT_PROMPT* prompts,
               LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses, void** abstract) {
  static_cast<SshConnection*>(*abstract)->AnswerPrompts(count, prompts, responses);
}

void OnDisconnect(LIBSSH2_SESSION* /*session*/, int /*reason*/, const char* message, int length,
                  const char* /*language*/, int /*languageLength*/, void** abstract) {
  static_cast<SshConnection*>(*abstract)->NoteDisconnect(message, length);
}

void InitialiseLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { libssh2_init(0); });
}

std::string LocalUserName() {
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr && entry->pw_name != nullptr ? entry->pw_name : "root";
}

bool HasMethod(const std::string& methods, const char* wanted) {
  std::size_t start = 0;
  while (start <= methods.size()) {
    std::size_t end = methods.find(',', start);
    if (end == std::string::npos) end = methods.size();
    if (methods.compare(start, end - start, wanted) == 0) return true;
    start = end + 1;
  }
  return false;
}

}  // namespace

SshConnection::SshConnection(int cancelFd) : cancelFd_(cancelFd) { InitialiseLibraryOnce(); }

SshConnection::~SshConnection() { FreeAll(); }

bool SshConnection::Open(const char* host, const char* user, const char* password,
                         const std::string& command) {
  if (host == nullptr || *host == '\0') {
    SshDiagnostic("no host given");
    return false;
  }
  host_ = host;
  havePassword_ = password != nullptr;
  if (havePassword_) password_ = password;
  std::string userName = user != nullptr ? user : LocalUserName();
  if (!ConnectSocket(host)) {
    if (!cancelled_) failureStage_ = LoginStage::Unreachable;
    return false;
  }
  SetDeadline(kLoginTimeoutMs);
  bool started = false;
  if (!StartSession(host))
    failureStage_ = failureStage_ == LoginStage::None ? LoginStage::NoLogin : failureStage_;
  else if (!Authenticate(userName))
    failureStage_ = LoginStage::Authentication;
  else if (!StartCommand(command))
    failureStage_ = LoginStage::Command;
  else
    started = true;
  if (cancelled_) failureStage_ = LoginStage::None;  // the caller's own doing
  ClearDeadline();
  commandStarted_ = started;
  return started;
}

void SshConnection::SetDeadline(int milliseconds) {
  deadline_ = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  haveDeadline_ = true;
}

void SshConnection::ClearDeadline() { haveDeadline_ = false; }

// Milliseconds the next wait may last: `wanted` (-1: no limit of its own)
// cut to the deadline.
int SshConnection::WaitLimit(int wanted) const {
  if (!haveDeadline_) return wanted;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                  deadline_ - std::chrono::steady_clock::now())
                  .count();
  left = std::max<long long>(0, left);
  return wanted < 0 ? static_cast<int>(left) : static_cast<int>(std::min<long long>(wanted, left));
}

bool SshConnection::DeadlinePassed() const {
  return haveDeadline_ && std::chrono::steady_clock::now() >= deadline_;
}

bool SshConnection::ConnectSocket(const char* host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  int rc = getaddrinfo(host, "22", &hints, &found);
  if (rc != 0 || found == nullptr) {
    SshDiagnostic("%s: cannot resolve: %s", host, gai_strerror(rc));
    return false;
  }
  socket_ = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (socket_ >= 0) {
    // Without it Nagle's algorithm holds back handshake packets for tens
    // of milliseconds per connection.
    int one = 1;
    setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    WatchForDeadPeer();
    rc = connect(socket_, found->ai_addr, found->ai_addrlen);
  }
  freeaddrinfo(found);
  if (socket_ < 0 || (rc != 0 && errno != EINPROGRESS)) {
    SshDiagnostic("%s: cannot connect: %s", host, std::strerror(errno));
    return false;
  }
  if (rc == 0) return true;

  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kConnectTimeoutMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd fds[2] = {{socket_, POLLOUT, 0}, {cancelFd_, POLLIN, 0}};
    int n = poll(fds, cancelFd_ >= 0 ? 2 : 1, static_cast<int>(std::max<long>(0, left.count())));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      SshDiagnostic("%s: cannot connect: %s", host, std::strerror(errno));
      return false;
    }
    if (cancelFd_ >= 0 && (fds[1].revents & POLLIN) != 0) {
      CancelEventConsume(cancelFd_);
      cancelled_ = true;
      SshDiagnostic("%s: cancelled while connecting", host);
      return false;
    }
    if (n == 0) {
      SshDiagnostic("%s: cannot connect: timed out", host);
      return false;
    }
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(socket_, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) SshDiagnostic("%s: cannot connect: %s", host, std::strerror(error));
    return error == 0;
  }
}

void SshConnection::WatchForDeadPeer() {
  int one = 1;
  setsockopt(socket_, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  setsockopt(socket_, IPPROTO_TCP, TCP_KEEPIDLE, &kKeepIdleSeconds, sizeof kKeepIdleSeconds);
  setsockopt(socket_, IPPROTO_TCP, TCP_KEEPINTVL, &kKeepIntervalSeconds,
             sizeof kKeepIntervalSeconds);
  setsockopt(socket_, IPPROTO_TCP, TCP_KEEPCNT, &kKeepCount, sizeof kKeepCount);
  setsockopt(socket_, IPPROTO_TCP, TCP_USER_TIMEOUT, &kDeadPeerMs, sizeof kDeadPeerMs);
}

bool SshConnection::StartSession(const char* host) {
  session_ = libssh2_session_init_ex(WipingAlloc, WipingFree, WipingRealloc, this);
  if (session_ == nullptr) {
    SshDiagnostic("%s: cannot create a session", host);
    return false;
  }
  libssh2_session_set_blocking(session_, 0);
  libssh2_session_callback_set(session_, LIBSSH2_CALLBACK_SEND, reinterpret_cast<void*>(SendBytes));
  libssh2_session_callback_set(session_, LIBSSH2_CALLBACK_RECV,
                               reinterpret_cast<void*>(ReceiveBytes));
  libssh2_session_callback_set(session_, LIBSSH2_CALLBACK_DISCONNECT,
                               reinterpret_cast<void*>(OnDisconnect));
  int rc = Retry([&] { return libssh2_session_handshake(session_, socket_); });
  if (rc != 0) {
    Fail("key exchange failed", rc);
    ExplainKeyExchange();
    return false;
  }
  keepReceived_ = false;
  received_.clear();
  received_.shrink_to_fit();
  std::size_t keyLength = 0;
  int keyType = 0;
  const char* key = libssh2_session_hostkey(session_, &keyLength, &keyType);
  if (key == nullptr) {
    Fail("no host key", libssh2_session_last_errno(session_));
    return false;
  }
  AcceptHostKey(session_, KnownHostsPath(), host, key, keyLength, keyType);
  return true;
}

void SshConnection::NoteReceived(const char* data, std::size_t length) {
  if (keepReceived_ && received_.size() < kKeptReceived)
    received_.append(data, std::min(length, kKeptReceived - received_.size()));
}

// Names the algorithm kinds where the instrument's offer and ours do not
// meet: the diagnostics list both sides, and the operator gets one line.
void SshConnection::ExplainKeyExchange() {
  KexOffer offer;
  if (Ended() || !ParseKexOffer(received_, &offer)) return;
  const int methods[KexKindCount] = {LIBSSH2_METHOD_KEX, LIBSSH2_METHOD_HOSTKEY,
                                     LIBSSH2_METHOD_CRYPT_CS, LIBSSH2_METHOD_MAC_CS};
  std::vector<std::string> supported[KexKindCount];
  for (int kind = 0; kind < KexKindCount; ++kind) {
    const char** names = nullptr;
    int count = libssh2_session_supported_algs(session_, methods[kind], &names);
    for (int i = 0; i < count; ++i) supported[kind].push_back(names[i]);
    if (names != nullptr) libssh2_free(session_, names);
    SshDiagnostic("%s: the instrument offers %s: %s; we support: %s", host_.c_str(),
                  KexKindName(static_cast<KexKind>(kind)),
                  JoinNames(offer.algorithms[kind]).c_str(), JoinNames(supported[kind]).c_str());
  }
  std::vector<KexKind> unmet = KexKindsWithoutMatch(offer, supported);
  if (unmet.empty()) return;
  std::string lists;
  for (KexKind kind : unmet)
    lists += std::string(lists.empty() ? "" : " and ") + "the " + KexKindName(kind) +
             " algorithms " + JoinNames(offer.algorithms[kind]);
  failureStage_ = LoginStage::KeyExchange;
  failureCause_ = "The instrument's SSH algorithms and this program's do not meet: it offers only " +
                  lists + ", which this program lacks.";
}

bool SshConnection::Authenticate(const std::string& user) {
  const char* offered = nullptr;
  for (;;) {
    offered = libssh2_userauth_list(session_, user.c_str(), static_cast<unsigned>(user.size()));
    if (offered != nullptr) break;
    if (libssh2_userauth_authenticated(session_)) return true;
    int rc = libssh2_session_last_errno(session_);
    if (rc != LIBSSH2_ERROR_EAGAIN || !WaitSocket()) {
      Fail("authentication could not start", rc == LIBSSH2_ERROR_EAGAIN ? kCancelledCode : rc);
      return false;
    }
  }
  std::string methods(offered);
  bool usePassword = HasMethod(methods, "password");
  if (!havePassword_ || (!usePassword && !HasMethod(methods, "keyboard-interactive"))) {
    SshDiagnostic("%s: no password to offer by the methods \"%s\"", host_.c_str(), methods.c_str());
    return false;
  }
  // The same password answers every request until the server gives up.
  for (;;) {
    int rc = 0;
    if (AuthenticateOnce(user, usePassword, &rc)) return true;
    if (rc != LIBSSH2_ERROR_AUTHENTICATION_FAILED || unanswerablePrompt_) {
      if (!unanswerablePrompt_) Fail("authentication failed", rc);
      return false;
    }
    SshDiagnostic("%s: access denied for %s", host_.c_str(), user.c_str());
  }
}

bool SshConnection::AuthenticateOnce(const std::string& user, bool usePassword, int* result) {
  unsigned userLength = static_cast<unsigned>(user.size());
  if (usePassword)
    *result = Retry([&] {
      return libssh2_userauth_password_ex(session_, user.c_str(), userLength, password_.c_str(),
                                          static_cast<unsigned>(password_.size()), nullptr);
    });
  else
    *result = Retry([&] {
      return libssh2_userauth_keyboard_interactive_ex(session_, user.c_str(), userLength,
                                                      OnPrompts);
    });
  return *result == 0;
}

bool AnswerPasswordPrompts(const std::string& password, int count,
                           const LIBSSH2_USERAUTH_KBDINT_PROMPT* prompts,
                           LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses) {
  for (int i = 0; i < count; ++i) {
    responses[i].text = nullptr;
    responses[i].length = 0;
  }
  if (count == 0) return true;  // an information message
  if (count != 1 || prompts[0].echo != 0) return false;
  char* answer = static_cast<char*>(std::malloc(password.size() + 1));
  if (answer == nullptr) return false;
  std::memcpy(answer, password.c_str(), password.size() + 1);
  responses[0].text = answer;
  responses[0].length = static_cast<unsigned>(password.size());
  return true;
}

void SshConnection::AnswerPrompts(int count, const LIBSSH2_USERAUTH_KBDINT_PROMPT* prompts,
                                  LIBSSH2_USERAUTH_KBDINT_RESPONSE* responses) {
  if (AnswerPasswordPrompts(password_, count, prompts, responses)) return;
  unanswerablePrompt_ = true;
  SshDiagnostic("%s: cannot answer a request of %d prompt(s)%s", host_.c_str(), count,
                count == 1 ? " that echoes" : "");
}

void SshConnection::NoteDisconnect(const char* message, int length) {
  std::string text(message != nullptr ? message : "", message != nullptr ? length : 0);
  SshDiagnostic("%s: the server disconnected: %s", host_.c_str(), text.c_str());
}

bool SshConnection::StartCommand(const std::string& command) {
  for (;;) {
    channel_ = libssh2_channel_open_session(session_);
    if (channel_ != nullptr) break;
    int rc = libssh2_session_last_errno(session_);
    if (rc != LIBSSH2_ERROR_EAGAIN || !WaitSocket()) {
      Fail("cannot open a channel", rc == LIBSSH2_ERROR_EAGAIN ? kCancelledCode : rc);
      return false;
    }
  }
  int rc = Retry([&] { return libssh2_channel_exec(channel_, command.c_str()); });
  if (rc != 0) {
    Fail("the command was not started", rc);
    return false;
  }
  return true;
}

long SshConnection::Read(char* buffer, std::size_t length) {
  if (channel_ == nullptr) return -1;
  bool drained = false;
  for (;;) {
    ssize_t n = libssh2_channel_read(channel_, buffer, length);
    if (n > 0) return static_cast<long>(n);
    if (n == 0) {
      DrainStandardError();
      return 0;
    }
    if (n != LIBSSH2_ERROR_EAGAIN) {
      Fail("connection lost", static_cast<int>(n));
      return -1;
    }
    // Reading standard error takes every packet off the socket, output and
    // end of file included; read once more before waiting on the socket, or
    // the wait could be for data that has already arrived.
    if (!drained) {
      DrainStandardError();
      drained = true;
      continue;
    }
    drained = false;
    if (!WaitSocket()) return -1;
  }
}

void SshConnection::DrainStandardError() {
  char chunk[1024];
  for (;;) {
    ssize_t n = libssh2_channel_read_stderr(channel_, chunk, sizeof chunk);
    if (n <= 0) return;
    WriteSshDiagnosticText(chunk, static_cast<std::size_t>(n));
    stderrTail_.append(chunk, static_cast<std::size_t>(n));
    if (stderrTail_.size() > kStandardErrorTail)
      stderrTail_.erase(0, stderrTail_.size() - kStandardErrorTail);
  }
}

bool SshConnection::Write(const char* data, std::size_t length) {
  if (channel_ == nullptr) return false;
  while (length > 0) {
    // One call sends at most one packet; a short count is normal.
    ssize_t n = libssh2_channel_write(channel_, data, length);
    if (n > 0) {
      data += n;
      length -= static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && n != LIBSSH2_ERROR_EAGAIN) {
      Fail("connection lost while sending", static_cast<int>(n));
      return false;
    }
    if (!WaitSocket()) return false;
  }
  return true;
}

bool SshConnection::SendEof() {
  if (eofSent_) return true;
  if (channel_ == nullptr || Ended()) return false;
  eofSent_ = true;
  return Retry([&] { return libssh2_channel_send_eof(channel_); }) == 0;
}

bool SshConnection::Close(bool awaitRemoteClose) {
  bool closed = true;
  SetDeadline(kTearDownTimeoutMs);
  if (channel_ != nullptr && !Ended()) {
    SendEof();
    // A channel whose command was refused gets no end-of-file from the
    // server: there is nothing to wait for.
    if (awaitRemoteClose && commandStarted_ && !Ended()) {
      // Closing the channel waits for the remote side's own close.
      closed = Retry([&] { return libssh2_channel_wait_eof(channel_); }) == 0 &&
               Retry([&] { return libssh2_channel_close(channel_); }) == 0 &&
               Retry([&] { return libssh2_channel_wait_closed(channel_); }) == 0;
      if (closed) NoteExit();
    }
  }
  if (session_ != nullptr && !Ended())
    Retry([&] {
      return libssh2_session_disconnect_ex(session_, SSH_DISCONNECT_BY_APPLICATION, "done", "");
    });
  FreeAll();
  return closed && !Ended();
}

// A command that was killed reports a signal instead of a status; one whose
// session was cut reports nothing (the channel never closes properly).
void SshConnection::NoteExit() {
  char* signal = nullptr;
  std::size_t signalLength = 0;
  libssh2_channel_get_exit_signal(channel_, &signal, &signalLength, nullptr, nullptr, nullptr,
                                  nullptr);
  if (signal != nullptr) {
    SshDiagnostic("%s: the command was ended by signal %.*s", host_.c_str(),
                  static_cast<int>(signalLength), signal);
    libssh2_free(session_, signal);
    return;
  }
  haveExitStatus_ = true;
  exitStatus_ = libssh2_channel_get_exit_status(channel_);
}

void SshConnection::FreeAll() {
  // A shut-down socket makes whatever the library still tries fail at once
  // instead of waiting for the peer.
  if (socket_ >= 0) shutdown(socket_, SHUT_RDWR);
  if (channel_ != nullptr) libssh2_channel_free(channel_);
  channel_ = nullptr;
  if (session_ != nullptr) libssh2_session_free(session_);
  session_ = nullptr;
  if (socket_ >= 0) close(socket_);
  socket_ = -1;
  if (!password_.empty()) explicit_bzero(&password_[0], password_.size());
  password_.clear();
}

bool SshConnection::WaitSocket() {
  if (Ended()) return false;
  int directions = session_ != nullptr ? libssh2_session_block_directions(session_) : 0;
  short events = 0;
  if ((directions & LIBSSH2_SESSION_BLOCK_INBOUND) != 0) events |= POLLIN;
  if ((directions & LIBSSH2_SESSION_BLOCK_OUTBOUND) != 0) events |= POLLOUT;
  // The library may ask for a retry without naming a direction; a short
  // wait for input stands in for it.
  int wanted = events != 0 ? -1 : 10;
  if (events == 0) events = POLLIN;
  for (;;) {
    pollfd fds[2] = {{socket_, events, 0}, {cancelFd_, POLLIN, 0}};
    int n = poll(fds, cancelFd_ >= 0 ? 2 : 1, WaitLimit(wanted));
    if (n < 0 && errno == EINTR) continue;
    if (cancelFd_ >= 0 && (fds[1].revents & POLLIN) != 0) {
      CancelEventConsume(cancelFd_);
      cancelled_ = true;
      // As though the peer had gone: every later read or write fails.
      shutdown(socket_, SHUT_RDWR);
      SshDiagnostic("%s: cancelled", host_.c_str());
      return false;
    }
    if (n == 0 && DeadlinePassed()) {
      timedOut_ = true;
      shutdown(socket_, SHUT_RDWR);
      SshDiagnostic("%s: the server did not answer in time", host_.c_str());
      return false;
    }
    return n >= 0;
  }
}

template <typename Op>
int SshConnection::Retry(Op op) {
  for (;;) {
    int rc = op();
    if (rc != LIBSSH2_ERROR_EAGAIN) return rc;
    if (!WaitSocket()) return kCancelledCode;
  }
}

void SshConnection::Fail(const char* what, int code) {
  if (Ended() || code == kCancelledCode) return;  // already reported
  char* message = nullptr;
  if (session_ != nullptr) libssh2_session_last_error(session_, &message, nullptr, 0);
  SshDiagnostic("%s: %s: %s (%d)", host_.c_str(), what,
                message != nullptr && *message != '\0' ? message : "error", code);
}
