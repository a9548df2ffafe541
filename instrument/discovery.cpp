#include "instrument/discovery.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <rpc/rpc.h>
#include <rpc/pmap_prot.h>

#include "core/settings.h"
#include "core/updater_controller.h"
#include "instrument/broadcast_pass.h"
#include "instrument/discovery_listing.h"
#include "instrument/identification_pool.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t kMaxLocalAddresses = 255;
constexpr auto kSilence = std::chrono::milliseconds(1000);
// A pass's whole life, however its replies come. A portmapper answers from
// its table at once, so every genuine reply to the one request arrives
// within a fraction of a second, and the second of silence is already the
// allowance for a slow host. Replies still coming after five seconds are a
// replay or a flood, not answers: five seconds still hears a chain of slow
// hosts, each up to a second behind the last, and keeps a discovery (this
// plus one identification's bound) inside the reboot wait's 15 s between
// searches.
constexpr auto kPassLimit = std::chrono::milliseconds(5000);
// A healthy instrument answers "*IDN?" in milliseconds.
constexpr auto kIdentifyLimit = std::chrono::milliseconds(5000);
constexpr std::size_t kIdentifyingThreads = 16;
// How often the pass loop looks at the stop flag, the identifications and
// the entries that became due.
constexpr int kTickMs = 50;

std::atomic<bool> g_stop{false};
std::atomic<int> g_networksReached{0};
// Set by begin_discovery: the next discovery keeps the stop flag as it is.
std::atomic<bool> g_begun{false};

std::mutex g_listMutex;
std::vector<InstrumentInfo> g_discovered;

struct LocalAddress {
  std::string text;
  std::uint32_t network = 0;  // the address with its netmask applied
};

std::vector<LocalAddress> ListLocalAddresses() {
  std::vector<LocalAddress> addresses;
  ifaddrs* all = nullptr;
  if (getifaddrs(&all) != 0) return addresses;
  for (ifaddrs* it = all; it != nullptr && addresses.size() < kMaxLocalAddresses;
       it = it->ifa_next) {
    if (it->ifa_addr == nullptr || it->ifa_addr->sa_family != AF_INET) continue;
    if ((it->ifa_flags & IFF_UP) == 0 || (it->ifa_flags & IFF_LOOPBACK) != 0) continue;
    char text[INET_ADDRSTRLEN] = {0};
    const auto* in = reinterpret_cast<const sockaddr_in*>(it->ifa_addr);
    if (inet_ntop(AF_INET, &in->sin_addr, text, sizeof text) == nullptr) continue;
    std::uint32_t mask = 0xFFFFFFFFu;
    if (it->ifa_netmask != nullptr && it->ifa_netmask->sa_family == AF_INET)
      mask = reinterpret_cast<const sockaddr_in*>(it->ifa_netmask)->sin_addr.s_addr;
    addresses.push_back({std::string(text).substr(0, kAddressChars), in->sin_addr.s_addr & mask});
  }
  freeifaddrs(all);
  return addresses;
}

std::string AddressText(const sockaddr_in& address) {
  char text[22] = {0};
  inet_ntop(AF_INET, &address.sin_addr, text, sizeof text);
  return text;
}

// The broadcast passes of one discovery, one per local address, run side
// by side; each ends after a second without a reply, or at its limit.
struct RunningPass {
  BroadcastPass socket;
  Clock::time_point started;
  Clock::time_point lastHeard;
  bool ended = false;
};

class DiscoveryRun {
 public:
  DiscoveryRun(const std::vector<LocalAddress>& locals, const InstrumentCollector& collector)
      : collector_(collector),
        listing_(NetworksOf(locals)),
        pool_(kIdentifyingThreads, kIdentifyLimit),
        passes_(locals.size()) {
    for (std::size_t i = 0; i < locals.size(); ++i) {
      passes_[i].started = passes_[i].lastHeard = Clock::now();
      if (!passes_[i].socket.Start(locals[i].text)) EndPass(i);
    }
  }

  int PassesStarted() const {
    return static_cast<int>(std::count_if(passes_.begin(), passes_.end(),
                                          [](const RunningPass& pass) { return !pass.ended; }));
  }

  // On a stop no further reply is taken and no identification starts; the
  // ones under way end within their bound and are listed.
  void Run() {
    for (;;) {
      if (!stopped_ && g_stop.load()) Stop();
      EndQuietPasses();
      WaitForReplies();
      TakeIdentifications();
      pool_.CutOverdue();
      listing_.Deliver(collector_);
      if (listing_.Complete()) break;
    }
  }

 private:
  static std::vector<std::uint32_t> NetworksOf(const std::vector<LocalAddress>& locals) {
    std::vector<std::uint32_t> networks;
    for (const LocalAddress& local : locals) networks.push_back(local.network);
    return networks;
  }

  void Stop() {
    stopped_ = true;
    for (std::size_t i = 0; i < passes_.size(); ++i) {
      if (!passes_[i].ended) EndPass(i);
    }
    pool_.DropWaiting();
  }

  void EndPass(std::size_t i) {
    passes_[i].ended = true;
    passes_[i].socket.Close();
    listing_.EndPass(i);
  }

  void EndQuietPasses() {
    const Clock::time_point now = Clock::now();
    for (std::size_t i = 0; i < passes_.size(); ++i) {
      const RunningPass& pass = passes_[i];
      if (!pass.ended && (now - pass.lastHeard >= kSilence || now - pass.started >= kPassLimit))
        EndPass(i);
    }
  }

  void WaitForReplies() {
    std::vector<pollfd> fds;
    std::vector<std::size_t> which;
    for (std::size_t i = 0; i < passes_.size(); ++i) {
      if (passes_[i].ended) continue;
      fds.push_back({passes_[i].socket.fd(), POLLIN, 0});
      which.push_back(i);
    }
    if (poll(fds.data(), fds.size(), kTickMs) < 0 && errno != EINTR) {
      std::fprintf(stderr, "Broadcast select problem: %s\n", std::strerror(errno));
      for (std::size_t i : which) EndPass(i);
      return;
    }
    for (std::size_t k = 0; k < fds.size(); ++k) {
      if (fds[k].revents != 0) ReadPass(which[k]);
    }
  }

  // Only a reply to this pass's request restarts its second of silence.
  void ReadPass(std::size_t i) {
    std::vector<sockaddr_in> responders;
    int replies = passes_[i].socket.ReadReplies(responders);
    if (replies > 0) passes_[i].lastHeard = Clock::now();
    for (const sockaddr_in& responder : responders) {
      std::string address = AddressText(responder);
      if (listing_.AddReply(i, address)) jobs_.emplace(address, pool_.Submit(responder));
    }
    if (replies < 0) EndPass(i);
  }

  void TakeIdentifications() {
    for (auto it = jobs_.begin(); it != jobs_.end();) {
      const IdentificationPool::Job& job = *it->second;
      if (!pool_.Finished(job)) {
        ++it;
        continue;
      }
      if (job.dropped)
        listing_.Skip(it->first);
      else
        listing_.SetIdentified(it->first, job.idn);
      it = jobs_.erase(it);
    }
  }

  const InstrumentCollector& collector_;
  DiscoveryListing listing_;
  IdentificationPool pool_;
  std::vector<RunningPass> passes_;
  std::map<std::string, std::shared_ptr<IdentificationPool::Job>> jobs_;
  bool stopped_ = false;
};

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

void begin_discovery() {
  g_stop = false;
  g_begun = true;
}

void discover_instruments(const InstrumentCollector& collector) {
  if (!g_begun.exchange(false)) g_stop = false;
  g_networksReached = 0;
  std::vector<LocalAddress> locals = ListLocalAddresses();
  if (locals.empty() || g_stop.load()) return;
  DiscoveryRun run(locals, collector);
  g_networksReached = run.PassesStarted();
  run.Run();
}

void stop_discovery() { g_stop = true; }

int discovery_networks_reached() { return g_networksReached.load(); }

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
  begin_discovery();
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
