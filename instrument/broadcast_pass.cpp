#include "instrument/broadcast_pass.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <rpc/rpc.h>
#include <rpc/pmap_prot.h>

#include "instrument/discovery.h"

namespace {

constexpr rpcprog_t kCoreProgram = 0x0607AF;
constexpr rpcvers_t kCoreVersion = 1;
constexpr std::size_t kRequestSize = 1400;
constexpr std::size_t kReceiveSize = 8800;
// Datagrams read at one call: a flood arriving as fast as it is read must
// not keep the caller from its clock.
constexpr int kReadsPerCall = 512;

void Complain(const char* what) { std::fprintf(stderr, "%s: %s\n", what, std::strerror(errno)); }

std::uint32_t TransactionId() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return static_cast<std::uint32_t>(getpid()) ^ static_cast<std::uint32_t>(now.tv_sec) ^
         static_cast<std::uint32_t>(now.tv_usec);
}

}  // namespace

BroadcastPass::~BroadcastPass() { Close(); }

void BroadcastPass::Close() {
  if (fd_ >= 0) close(fd_);
  fd_ = -1;
}

bool BroadcastPass::Start(const std::string& localAddress) {
  Close();
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd_ < 0) return false;
  int on = 1;
  if (setsockopt(fd_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    Complain("Cannot set socket option SO_BROADCAST");
    Close();
    return false;
  }
  char request[kRequestSize];
  xid_ = TransactionId();
  std::size_t requestLength =
      EncodePortmapGetport(xid_, kCoreProgram, kCoreVersion, IPPROTO_TCP, request, sizeof request);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = 0;
  if (requestLength == 0 || inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr) != 1 ||
      bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    Close();
    return false;
  }
  sockaddr_in everyone{};
  everyone.sin_family = AF_INET;
  everyone.sin_port = htons(PMAPPORT);
  everyone.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  if (sendto(fd_, request, requestLength, 0, reinterpret_cast<sockaddr*>(&everyone),
             sizeof everyone) < 0) {
    Complain("Cannot send broadcast packet");
    Close();
    return false;
  }
  return true;
}

int BroadcastPass::ReadReplies(std::vector<sockaddr_in>& responders) {
  std::vector<char> reply(kReceiveSize);
  int replies = 0;
  for (int reads = 0; reads < kReadsPerCall; ++reads) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t got = recvfrom(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                           &fromLength);
    if (got < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return replies;
      Complain("Cannot receive reply to broadcast");
      return -1;
    }
    unsigned long port = 0;
    if (got < 4 || !DecodePortmapReply(reply.data(), static_cast<std::size_t>(got), xid_, &port))
      continue;
    from.sin_port = htons(static_cast<std::uint16_t>(port));
    responders.push_back(from);
    ++replies;
  }
  return replies;
}
