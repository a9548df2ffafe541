#include "tests/instrument/discovery_peers_support.h"

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include <rpc/rpc.h>
#include <rpc/pmap_clnt.h>

#include "tests/support/bench_env.h"

namespace {

bool InBench(const sockaddr_in& address) {
  return (ntohl(address.sin_addr.s_addr) & 0xFFFE0000u) == 0xC6120000u;  // 198.18.0.0/15
}

// An accepted, successful portmapper reply to `xid` naming `port`.
std::vector<char> Reply(std::uint32_t xid, u_long port) {
  std::vector<char> wire(128);
  XDR xdr;
  xdrmem_create(&xdr, wire.data(), static_cast<u_int>(wire.size()), XDR_ENCODE);
  rpc_msg msg{};
  msg.rm_xid = xid;
  msg.rm_direction = REPLY;
  msg.rm_reply.rp_stat = MSG_ACCEPTED;
  msg.acpted_rply.ar_verf = _null_auth;
  msg.acpted_rply.ar_stat = SUCCESS;
  msg.acpted_rply.ar_results.where = reinterpret_cast<caddr_t>(&port);
  msg.acpted_rply.ar_results.proc = reinterpret_cast<xdrproc_t>(xdr_u_long);
  xdr_replymsg(&xdr, &msg);
  wire.resize(xdr_getpos(&xdr));
  xdr_destroy(&xdr);
  return wire;
}

}  // namespace

JunkSender::JunkSender(unsigned short lookAlikePort) : lookAlikePort_(lookAlikePort) {
  fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in portmapper{};
  portmapper.sin_family = AF_INET;
  portmapper.sin_port = htons(111);
  ok = fd_ >= 0 && bind(fd_, reinterpret_cast<sockaddr*>(&portmapper), sizeof portmapper) == 0;
  if (ok) thread_ = std::thread([this] { Serve(); });
}

JunkSender::~JunkSender() {
  done_ = true;
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) close(fd_);
}

void JunkSender::Send(const Target& target) {
  std::vector<std::vector<char>> datagrams = {std::vector<char>(200, '\xA5'), {'\x01', '\x02'},
                                              Reply(target.xid + 1, 1022)};
  if (lookAlikePort_ != 0) datagrams.push_back(Reply(target.xid, lookAlikePort_));
  for (const std::vector<char>& datagram : datagrams)
    sendto(fd_, datagram.data(), datagram.size(), 0,
           reinterpret_cast<const sockaddr*>(&target.to), sizeof target.to);
}

void JunkSender::Serve() {
  std::vector<Target> targets;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done_ && std::chrono::steady_clock::now() < end) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 50) == 1) {
      char request[1400];
      sockaddr_in from{};
      socklen_t length = sizeof from;
      ssize_t got =
          recvfrom(fd_, request, sizeof request, 0, reinterpret_cast<sockaddr*>(&from), &length);
      if (got >= 4 && InBench(from)) {
        std::uint32_t xid = 0;
        std::memcpy(&xid, request, sizeof xid);
        targets.push_back({from, ntohl(xid)});
        targets_ = static_cast<int>(targets.size());
      }
    }
    for (const Target& target : targets) Send(target);
  }
}

SlowRelay::SlowRelay() {
  i1_.sin_family = AF_INET;
  inet_pton(AF_INET, bench::kI1, &i1_.sin_addr);
  i1_.sin_port = htons(pmap_getport(&i1_, 0x0607AF, 1, IPPROTO_TCP));
  listen_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in any{};
  any.sin_family = AF_INET;
  socklen_t length = sizeof any;
  if (i1_.sin_port == 0 || listen_ < 0 ||
      bind(listen_, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0 || listen(listen_, 8) != 0 ||
      getsockname(listen_, reinterpret_cast<sockaddr*>(&any), &length) != 0)
    return;
  port = ntohs(any.sin_port);
  accepting_ = std::thread([this] { Accept(); });
}

SlowRelay::~SlowRelay() {
  done_ = true;
  if (accepting_.joinable()) accepting_.join();
  for (std::thread& relay : relays_) relay.join();
  if (listen_ >= 0) close(listen_);
}

void SlowRelay::Accept() {
  while (!done_) {
    pollfd p{listen_, POLLIN, 0};
    if (poll(&p, 1, 50) != 1) continue;
    int client = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client >= 0) relays_.emplace_back([this, client] { Relay(client); });
  }
}

void SlowRelay::Relay(int client) {
  int upstream = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  bool open = connect(upstream, reinterpret_cast<const sockaddr*>(&i1_), sizeof i1_) == 0;
  while (open && !done_) {
    pollfd p[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
    if (poll(p, 2, 50) <= 0) continue;
    char piece[8192];
    for (int k = 0; k < 2 && open; ++k) {
      if (p[k].revents == 0) continue;
      ssize_t got = read(p[k].fd, piece, sizeof piece);
      if (k == 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
      open = got > 0 && write(p[1 - k].fd, piece, static_cast<std::size_t>(got)) == got;
    }
  }
  close(upstream);
  close(client);
}
