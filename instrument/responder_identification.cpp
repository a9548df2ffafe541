#include "instrument/responder_identification.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "instrument/vxi11_user.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr std::size_t kIdnReplySize = 2048;
constexpr std::size_t kIdnChars = 255;
constexpr unsigned long kReadTimeoutMs = 50;

int RemainingMs(SteadyClock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
  return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

// A connected, blocking TCP socket, or -1. The wait for the connection is
// bounded by the deadline and ends early when the point is cut.
int ConnectWithin(const sockaddr_in& core, SteadyClock::time_point deadline, CutPoint& cut) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  if (!cut.Attach(fd)) {
    close(fd);
    return -1;
  }
  int rc = connect(fd, reinterpret_cast<const sockaddr*>(&core), sizeof core);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    int ready = 0;
    do {
      ready = poll(&p, 1, RemainingMs(deadline));
    } while (ready < 0 && errno == EINTR);
    rc = (ready == 1 && getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
             ? 0
             : -1;
  }
  if (rc != 0 || cut.IsCut() || fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) {
    cut.Detach();
    close(fd);
    return -1;
  }
  return fd;
}

// Every RPC call waits at most until the deadline.
bool LimitCalls(CLIENT* client, SteadyClock::time_point deadline) {
  int left = RemainingMs(deadline);
  if (left <= 0) return false;
  timeval wait{left / 1000, (left % 1000) * 1000};
  clnt_control(client, CLSET_TIMEOUT, reinterpret_cast<char*>(&wait));
  return true;
}

// "*IDN?" on an open link, read as the one-shot query reads it.
std::string AskIdentity(Vxi11Link& link, SteadyClock::time_point deadline) {
  if (!LimitCalls(link.client, deadline) || vxi11_send(&link, "*IDN?") != 0) return std::string();
  if (!LimitCalls(link.client, deadline)) return std::string();
  char reply[kIdnReplySize];
  std::memset(reply, 0, sizeof reply);
  long n = vxi11_receive(&link, reply, kIdnReplySize, kReadTimeoutMs);
  if (n < 1 || n >= static_cast<long>(kIdnReplySize)) return std::string();
  reply[n] = '\0';
  if (reply[n - 1] == '\n') reply[n - 1] = '\0';
  return std::string(reply, strnlen(reply, kIdnChars));
}

}  // namespace

bool CutPoint::Attach(int fd) {
  std::lock_guard<std::mutex> guard(mutex_);
  if (cut_) return false;
  fd_ = fd;
  return true;
}

void CutPoint::Detach() {
  std::lock_guard<std::mutex> guard(mutex_);
  fd_ = -1;
}

void CutPoint::Cut() {
  std::lock_guard<std::mutex> guard(mutex_);
  cut_ = true;
  if (fd_ >= 0) shutdown(fd_, SHUT_RDWR);
}

bool CutPoint::IsCut() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return cut_;
}

void CutPoint::Reset() {
  std::lock_guard<std::mutex> guard(mutex_);
  fd_ = -1;
  cut_ = false;
}

std::string identify_responder(const sockaddr_in& core, std::chrono::milliseconds limit,
                               CutPoint& cut) {
  const SteadyClock::time_point deadline = SteadyClock::now() + limit;
  int fd = ConnectWithin(core, deadline, cut);
  if (fd < 0) return std::string();
  sockaddr_in address = core;
  CLIENT* client = clnttcp_create(&address, DEVICE_CORE, DEVICE_CORE_VERSION, &fd, 0, 0);
  std::string idn;
  if (client != nullptr) {
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &core.sin_addr, text, sizeof text);
    Vxi11Link link;
    link.client = client;
    if (LimitCalls(client, deadline) && vxi11_open_link(text, client, &link.link) == 0) {
      idn = AskIdentity(link, deadline);
      // A responder past its time, or cut, gets no farewell: closing the
      // connection ends its link too.
      if (!cut.IsCut() && LimitCalls(client, deadline)) vxi11_close_link(text, client, link.link);
      std::free(link.link);
    }
    clnt_destroy(client);
  }
  cut.Detach();
  close(fd);
  return idn;
}
