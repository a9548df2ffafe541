#include "instrument/discovery.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include <rpc/rpc.h>
#include <rpc/pmap_prot.h>

#include "core/settings.h"
#include "core/updater_controller.h"
#include "instrument/instrument_info.h"

namespace {

constexpr rpcprog_t kCoreProgram = 0x0607AF;
constexpr rpcvers_t kCoreVersion = 1;
constexpr std::size_t kMaxLocalAddresses = 255;
constexpr std::size_t kMaxSeen = 1000;
constexpr std::size_t kAddressChars = 19;
constexpr int kSilenceMs = 1000;
constexpr std::size_t kRequestSize = 1400;
constexpr std::size_t kReceiveSize = 8800;
constexpr int kQuerySize = 2048;
constexpr std::size_t kIdnChars = 255;

std::atomic<bool> g_stop{false};
// Both used by the discovering thread only.
std::vector<std::string> g_seen;
std::vector<std::string> g_seenIdn;

std::mutex g_listMutex;
std::vector<InstrumentInfo> g_discovered;

// Called with each responder; true ends the pass.
using Responder = bool (*)(const sockaddr_in& from, const InstrumentCollector& collector);

void Complain(const char* what) {
  std::fprintf(stderr, "%s: %s\n", what, std::strerror(errno));
}

std::vector<std::string> ListLocalAddresses() {
  std::vector<std::string> addresses;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return addresses;
  for (ifaddrs* it = all; it != nullptr && addresses.size() < kMaxLocalAddresses;
       it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
    if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
    char text[INET_ADDRSTRLEN] = {0};
    const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) continue;
    addresses.emplace_back(std::string(text).substr(0, kAddressChars));
  }
  freeifaddrs(all);
  return addresses;
}

std::uint32_t TransactionId() {
  timeval now{};
  gettimeofday(&now, nullptr);
  return static_cast<std::uint32_t>(getpid()) ^ static_cast<std::uint32_t>(now.tv_sec) ^
         static_cast<std::uint32_t>(now.tv_usec);
}

// Waits up to the silence limit for a datagram: 1 ready, 0 silence,
// -1 failure. A signal restarts the wait.
int WaitForReply(int fd) {
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    int ready = poll(&p, 1, kSilenceMs);
    if (ready > 0) return 1;
    if (ready == 0) return 0;
    if (errno == EINTR) continue;
    Complain("Broadcast select problem");
    return -1;
  }
}

void BroadcastPass(const std::string& localAddress, Responder responder,
                   const InstrumentCollector& collector) {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  int on = 1;
  if (setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on) != 0) {
    Complain("Cannot set socket option SO_BROADCAST");
    close(fd);
    return;
  }
  char request[kRequestSize];
  std::uint32_t xid = TransactionId();
  std::size_t requestLength =
      EncodePortmapGetport(xid, kCoreProgram, kCoreVersion, IPPROTO_TCP, request, sizeof request);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = 0;
  if (requestLength == 0 || inet_pton(AF_INET, localAddress.c_str(), &local.sin_addr) != 1 ||
      bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
    close(fd);
    return;
  }
  sockaddr_in everyone{};
  everyone.sin_family = AF_INET;
  everyone.sin_port = htons(PMAPPORT);
  everyone.sin_addr.s_addr = htonl(INADDR_BROADCAST);
  if (sendto(fd, request, requestLength, 0, reinterpret_cast<sockaddr*>(&everyone),
             sizeof everyone) < 0) {
    Complain("Cannot send broadcast packet");
    close(fd);
    return;
  }
  std::vector<char> reply(kReceiveSize);
  while (WaitForReply(fd) == 1) {
    sockaddr_in from{};
    socklen_t fromLength = sizeof from;
    ssize_t got = recvfrom(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr*>(&from),
                           &fromLength);
    if (got < 0) {
      if (errno == EINTR) continue;
      Complain("Cannot receive reply to broadcast");
      break;
    }
    if (got < 4) continue;
    unsigned long port = 0;
    if (!DecodePortmapReply(reply.data(), static_cast<std::size_t>(got), xid, &port)) continue;
    from.sin_port = htons(static_cast<std::uint16_t>(port));
    if (responder(from, collector)) break;
  }
  close(fd);
}

bool AlreadySeen(const std::string& address) {
  return std::find(g_seen.begin(), g_seen.end(), address) != g_seen.end();
}

bool AlreadyIdentified(const std::string& idn) {
  return !idn.empty() && std::find(g_seenIdn.begin(), g_seenIdn.end(), idn) != g_seenIdn.end();
}

bool IdentifyResponder(const sockaddr_in& from, const InstrumentCollector& collector) {
  char text[22] = {0};
  inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  std::string address(text);
  if (!AlreadySeen(address)) {
    InstrumentInfo instrumentInfo;
    instrumentInfo.ip = address;
    char buffer[kQuerySize];
    std::memset(buffer, 0, sizeof buffer);
    if (instrument_query(text, "*IDN?", buffer, kQuerySize - 1, false) == 1) {
      instrumentInfo.idn.assign(buffer, strnlen(buffer, kIdnChars));
    }
    // An instrument on two of our networks answers each pass from another
    // address; its identification (with its serial number) tells it is the
    // same one, and the first address found stays the one listed.
    if (!AlreadyIdentified(instrumentInfo.idn) && collector) collector(instrumentInfo);
    if (!instrumentInfo.idn.empty()) g_seenIdn.push_back(instrumentInfo.idn);
    if (g_seen.size() < kMaxSeen) g_seen.push_back(address.substr(0, kAddressChars));
  }
  return g_stop.load();
}

}  // namespace

std::size_t EncodePortmapGetport(std::uint32_t xid, unsigned long program, unsigned long version,
                                 unsigned long protocol, char* out, std::size_t capacity) {
  XDR xdr;
  xdrmem_create(&xdr, out, static_cast<u_int>(capacity), XDR_ENCODE);
  rpc_msg call{};
  call.rm_xid = xid;
  call.rm_direction = CALL;
  call.rm_call.cb_rpcvers = RPC_MSG_VERSION;
  call.rm_call.cb_prog = PMAPPROG;
  call.rm_call.cb_vers = PMAPVERS;
  call.rm_call.cb_proc = PMAPPROC_GETPORT;
  call.rm_call.cb_cred = _null_auth;
  call.rm_call.cb_verf = _null_auth;
  pmap args{};
  args.pm_prog = program;
  args.pm_vers = version;
  args.pm_prot = protocol;
  args.pm_port = 0;
  std::size_t length = 0;
  if (xdr_callmsg(&xdr, &call) && xdr_pmap(&xdr, &args)) length = xdr_getpos(&xdr);
  xdr_destroy(&xdr);
  return length;
}

// The accept status arrives as any 32-bit number and the library stores it
// as is; it is read as a number, since an enum holding a value it does not
// name is undefined behaviour here.
namespace {
int AcceptStatusOf(const rpc_msg& reply) {
  static_assert(sizeof reply.acpted_rply.ar_stat == sizeof(int), "accept_stat is an int");
  int status = 0;
  std::memcpy(&status, &reply.acpted_rply.ar_stat, sizeof status);
  return status;
}
}  // namespace

bool DecodePortmapReply(const char* data, std::size_t length, std::uint32_t xid,
                        unsigned long* port) {
  XDR xdr;
  xdrmem_create(&xdr, const_cast<char*>(data), static_cast<u_int>(length), XDR_DECODE);
  u_long decodedPort = 0;
  rpc_msg reply{};
  reply.acpted_rply.ar_verf = _null_auth;
  reply.acpted_rply.ar_results.where = reinterpret_cast<caddr_t>(&decodedPort);
  reply.acpted_rply.ar_results.proc = reinterpret_cast<xdrproc_t>(xdr_u_long);
  bool decoded = xdr_replymsg(&xdr, &reply);
  bool good = decoded && reply.rm_xid == xid && reply.rm_direction == REPLY &&
              reply.rm_reply.rp_stat == MSG_ACCEPTED && AcceptStatusOf(reply) == SUCCESS &&
              decodedPort != 0;
  // Free what decoding allocated (the verifier's body).
  xdr.x_op = XDR_FREE;
  reply.acpted_rply.ar_results.proc =
      reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(xdr_void));
  xdr_replymsg(&xdr, &reply);
  xdr_destroy(&xdr);
  if (good) *port = decodedPort;
  return good;
}

void discover_instruments(const InstrumentCollector& collector) {
  g_stop = false;
  g_seen.clear();
  g_seenIdn.clear();
  std::vector<std::string> ipInfo = ListLocalAddresses();
  for (const std::string& address : ipInfo) {
    if (g_stop.load()) break;
    BroadcastPass(address, IdentifyResponder, collector);
  }
}

void stop_discovery() { g_stop = true; }

void collect_instrument(const InstrumentInfo& info) {
  std::lock_guard<std::mutex> guard(g_listMutex);
  g_discovered.push_back(info);
}

std::vector<InstrumentInfo> DiscoveredInstruments() {
  std::lock_guard<std::mutex> guard(g_listMutex);
  return g_discovered;
}

void ClearDiscoveredInstruments() {
  std::lock_guard<std::mutex> guard(g_listMutex);
  g_discovered.clear();
}

int DiscoverInstruments(UpdaterController& controller) {
  controller.discoveryActive = true;
  ClearDiscoveredInstruments();
  discover_instruments(collect_instrument);
  controller.discoveryActive = false;
  return FilterDiscoveryResults(controller);
}

int FilterDiscoveryResults(UpdaterController& controller) {
  std::lock_guard<std::mutex> guard(g_listMutex);
  g_discovered.erase(std::remove_if(g_discovered.begin(), g_discovered.end(),
                                    [&controller](const InstrumentInfo& info) {
                                      return !MatchesInstrumentType(controller, info.idn);
                                    }),
                     g_discovered.end());
  return static_cast<int>(g_discovered.size());
}
