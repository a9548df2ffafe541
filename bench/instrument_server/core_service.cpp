#include "core_service.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "knobs.h"
#include "scpi_device.h"
#include "vxi11_core.h"
#include "vxi11_intr.h"

namespace {

constexpr long kErrNone = 0;
constexpr long kErrDeviceNotAccessible = 3;
constexpr long kErrInvalidLink = 4;
constexpr long kErrChannelNotEstablished = 6;
constexpr long kErrNotSupported = 8;
constexpr long kErrIoTimeout = 15;
constexpr long kFlagEnd = 8;
constexpr long kFlagTermCharSet = 128;
constexpr long kReasonRequestCount = 1;
constexpr long kReasonTermChar = 2;
constexpr long kReasonEnd = 4;
constexpr std::uint64_t kLongestWaitMs = 60000;  // a bound on any io_timeout we honour
constexpr int kConnectTimeoutMs = 2000;
constexpr time_t kSrqCallSeconds = 2;
constexpr std::size_t kOversizeExtra = 64;
constexpr std::size_t kMaxHandle = 40;
constexpr std::uint64_t kLateAnswerMs = 26000;  // past the clients' 25-second call timeout

struct Link {
  unsigned long maxRecvSize = 0;
  std::string pending;  // the program message being written
  std::vector<WriteChunk> chunks;
  OutputQueue out;
  bool srqEnabled = false;
  std::string handle;
  std::uint8_t requesting = 0;  // status bits enabled by *SRE, last seen
  int fd = -1;                  // the connection it was made on
};

ServiceSetup g_setup;
std::unique_ptr<ScpiDevice> g_device;
std::map<long, Link> g_links;
long g_nextLid = 1;
CLIENT* g_interrupt = nullptr;
std::string g_readData;              // outlives the reply that points into it
unsigned long g_lateWrites = 0;  // since the knobs were last set
unsigned long g_lateReads = 0;
unsigned long g_lostReads = 0;
std::map<int, std::uint64_t> g_lastCall;  // connection -> time of its last call
int g_callFd = -1;                        // the connection of the call being served
bool g_rotatePort = false;

std::uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<std::uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void SleepMs(std::uint64_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// The bench replaces the knobs file whenever it sets a knob: a new file
// starts the counts of late answers again.
Knobs CurrentKnobs() {
  static struct stat last {};
  struct stat now {};
  if (stat(g_setup.knobsPath.c_str(), &now) == 0 &&
      (now.st_ino != last.st_ino || now.st_mtim.tv_sec != last.st_mtim.tv_sec ||
       now.st_mtim.tv_nsec != last.st_mtim.tv_nsec)) {
    g_lateWrites = 0;
    g_lateReads = 0;
    g_lostReads = 0;
    last = now;
  }
  return ReadKnobs(g_setup.knobsPath);
}

Link* FindLink(long lid) {
  auto it = g_links.find(lid);
  return it == g_links.end() ? nullptr : &it->second;
}

void CloseInterruptChannel() {
  if (g_interrupt != nullptr) clnt_destroy(g_interrupt);
  g_interrupt = nullptr;
}

// A TCP connection to the client's interrupt server, bounded in time.
int ConnectBounded(const sockaddr_in& address) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  int rc = connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (rc != 0 && errno == EINPROGRESS) {
    pollfd p{fd, POLLOUT, 0};
    int error = 0;
    socklen_t length = sizeof error;
    rc = (poll(&p, 1, kConnectTimeoutMs) == 1 &&
          getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0)
             ? 0
             : -1;
  }
  if (rc != 0) {
    close(fd);
    return -1;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

void SendServiceRequest(Link& link) {
  if (g_interrupt == nullptr || !link.srqEnabled) return;
  Device_SrqParms parms{};
  parms.handle.handle_len = static_cast<u_int>(link.handle.size());
  parms.handle.handle_val = link.handle.data();
  char nothing = 0;
  enum clnt_stat stat = device_intr_srq_1(&parms, &nothing, g_interrupt);
  // A client that has gone away takes its channel with it.
  if (stat != RPC_SUCCESS && stat != RPC_TIMEDOUT) CloseInterruptChannel();
}

void FillChunk(const Device_ReadParms* parms, Device_ReadResp* result, const Knobs& knobs,
               OutputQueue& out) {
  int termChar = (parms->flags & kFlagTermCharSet) != 0 ? static_cast<unsigned char>(parms->termChar) : -1;
  bool ended = false;
  bool sawTerm = false;
  g_readData = out.TakeReply(parms->requestSize, termChar, &ended, &sawTerm);
  if (knobs.oversizeReply) {
    // A hostile answer: more than was asked for, the rest of the reply lost.
    g_readData.resize(parms->requestSize + kOversizeExtra, '#');
    if (!ended) out.DropReply();
    ended = true;
  }
  result->reason = 0;
  if (ended) result->reason |= kReasonEnd;
  if (sawTerm) result->reason |= kReasonTermChar;
  if (!ended && g_readData.size() == parms->requestSize) result->reason |= kReasonRequestCount;
  result->data.data_len = static_cast<u_int>(g_readData.size());
  result->data.data_val = g_readData.data();
}

// Answers the first `wanted` calls since the knobs were last set only
// after the client's call has timed out. The late answer still comes: a
// TCP client that never gets one loses step with its replies for good.
void AnswerLate(unsigned long wanted, unsigned long& count) {
  if (count >= wanted) return;
  ++count;
  SleepMs(kLateAnswerMs);
}

bool_t AnswerForLink(Device_Link lid, Device_Error* result) {
  result->error = FindLink(lid) == nullptr ? kErrInvalidLink : kErrNone;
  return TRUE;
}

}  // namespace

void ServiceInit(const ServiceSetup& setup) {
  g_setup = setup;
  g_device = std::make_unique<ScpiDevice>(setup.idn, setup.root);
}

void ServiceAfterRequests() {
  std::uint64_t now = NowMs();
  for (auto& entry : g_links) {
    Link& link = entry.second;
    std::uint8_t requesting = g_device->StatusByte(now, link.out) &
                              g_device->ServiceRequestEnable() &
                              static_cast<std::uint8_t>(~ScpiDevice::kMss);
    std::uint8_t rising = requesting & static_cast<std::uint8_t>(~link.requesting);
    link.requesting = requesting;
    if (rising != 0) SendServiceRequest(link);
  }
}

int ServiceNextWakeMs() {
  std::uint64_t at = UINT64_MAX;
  for (const auto& entry : g_links) at = std::min(at, entry.second.out.NextReadyAt());
  std::uint64_t now = NowMs();
  if (at == UINT64_MAX || at <= now) return -1;
  return static_cast<int>(std::min<std::uint64_t>(at - now, kLongestWaitMs));
}

void ServiceNoteCall(int fd) {
  g_callFd = fd;
  g_lastCall[fd] = NowMs();
}

int ServiceCloseIdle() {
  const unsigned long idleSeconds = CurrentKnobs().idleCloseSeconds;
  if (idleSeconds == 0) {
    g_lastCall.clear();
    return -1;
  }
  const std::uint64_t limit = idleSeconds * 1000ULL;
  const std::uint64_t now = NowMs();
  std::uint64_t next = UINT64_MAX;
  for (auto it = g_lastCall.begin(); it != g_lastCall.end();) {
    bool open = false;
    for (int i = 0; i < svc_max_pollfd; ++i) open = open || svc_pollfd[i].fd == it->first;
    if (open && now - it->second < limit) {
      next = std::min(next, it->second + limit - now);
      ++it;
      continue;
    }
    // Shut down, not closed: the RPC layer sees the end and frees its side.
    if (open) shutdown(it->first, SHUT_RDWR);
    for (auto link = g_links.begin(); link != g_links.end();)
      link = link->second.fd == it->first ? g_links.erase(link) : std::next(link);
    it = g_lastCall.erase(it);
  }
  return next == UINT64_MAX ? -1 : static_cast<int>(next);
}

bool ServiceTakePortRotation() {
  bool rotate = g_rotatePort;
  g_rotatePort = false;
  return rotate;
}

bool ServiceStalled() { return CurrentKnobs().stallAfterLink; }

bool ServiceLosesRead() {
  if (g_lostReads >= CurrentKnobs().lostReads) return false;
  ++g_lostReads;
  return true;
}

void ServiceShutdown() { CloseInterruptChannel(); }

extern "C" {

bool_t create_link_1_svc(Create_LinkParms* parms, Create_LinkResp* result, struct svc_req*) {
  Knobs knobs = CurrentKnobs();
  result->error = kErrNone;
  result->lid = 0;
  result->abortPort = g_setup.abortPort;
  result->maxRecvSize = knobs.maxRecvSize;
  // The instrument has one device, and it answers only to its own name.
  if (parms->device == nullptr || std::string(parms->device) != "inst0") {
    result->error = kErrDeviceNotAccessible;
    return TRUE;
  }
  if (knobs.linkError != 0) {
    result->error = knobs.linkError;
    return TRUE;
  }
  long lid = g_nextLid++;
  g_links[lid].maxRecvSize = knobs.maxRecvSize;
  g_links[lid].fd = g_callFd;
  g_rotatePort = knobs.rotateCorePort;
  result->lid = lid;
  return TRUE;
}

bool_t device_write_1_svc(Device_WriteParms* parms, Device_WriteResp* result, struct svc_req*) {
  Knobs knobs = CurrentKnobs();
  result->error = kErrNone;
  result->size = 0;
  Link* link = FindLink(parms->lid);
  if (link == nullptr) {
    result->error = kErrInvalidLink;
    return TRUE;
  }
  if (knobs.acceptZero) return TRUE;
  std::size_t offered = parms->data.data_len;
  std::size_t taken = offered;
  if (link->maxRecvSize != 0) taken = std::min<std::size_t>(offered, link->maxRecvSize);
  link->pending.append(parms->data.data_val, taken);
  link->chunks.push_back(WriteChunk{offered, parms->flags});
  result->size = taken;
  if ((parms->flags & kFlagEnd) != 0 && taken == offered) {
    g_device->Execute(link->pending, link->chunks, NowMs(), knobs.replyDelayMs, link->out);
    link->pending.clear();
    link->chunks.clear();
  }
  AnswerLate(knobs.lateWrites, g_lateWrites);
  return TRUE;
}

bool_t device_read_1_svc(Device_ReadParms* parms, Device_ReadResp* result, struct svc_req*) {
  Knobs knobs = CurrentKnobs();
  result->error = kErrNone;
  result->reason = 0;
  result->data.data_len = 0;
  result->data.data_val = nullptr;
  Link* link = FindLink(parms->lid);
  if (link == nullptr) {
    result->error = kErrInvalidLink;
    return TRUE;
  }
  std::uint64_t now = NowMs();
  std::uint64_t deadline = now + std::min<std::uint64_t>(parms->io_timeout, kLongestWaitMs);
  std::uint64_t readyAt = knobs.stallRead ? UINT64_MAX : link->out.NextReadyAt();
  if (readyAt > deadline) {
    SleepMs(deadline - now);
    result->error = kErrIoTimeout;
    return TRUE;
  }
  if (readyAt > now) SleepMs(readyAt - now);
  FillChunk(parms, result, knobs, link->out);
  AnswerLate(knobs.lateReads, g_lateReads);
  return TRUE;
}

bool_t device_readstb_1_svc(Device_GenericParms* parms, Device_ReadStbResp* result,
                            struct svc_req*) {
  Link* link = FindLink(parms->lid);
  result->error = link == nullptr ? kErrInvalidLink : kErrNone;
  result->stb = link == nullptr ? 0 : g_device->StatusByte(NowMs(), link->out);
  return TRUE;
}

bool_t device_trigger_1_svc(Device_GenericParms* parms, Device_Error* result, struct svc_req*) {
  return AnswerForLink(parms->lid, result);
}

bool_t device_clear_1_svc(Device_GenericParms* parms, Device_Error* result, struct svc_req*) {
  Link* link = FindLink(parms->lid);
  result->error = link == nullptr ? kErrInvalidLink : kErrNone;
  if (link != nullptr) {
    link->out.Clear();
    link->pending.clear();
    link->chunks.clear();
  }
  return TRUE;
}

bool_t device_remote_1_svc(Device_GenericParms* parms, Device_Error* result, struct svc_req*) {
  return AnswerForLink(parms->lid, result);
}

bool_t device_local_1_svc(Device_GenericParms* parms, Device_Error* result, struct svc_req*) {
  return AnswerForLink(parms->lid, result);
}

bool_t device_lock_1_svc(Device_LockParms* parms, Device_Error* result, struct svc_req*) {
  return AnswerForLink(parms->lid, result);
}

bool_t device_unlock_1_svc(Device_Link* lid, Device_Error* result, struct svc_req*) {
  return AnswerForLink(*lid, result);
}

bool_t device_enable_srq_1_svc(Device_EnableSrqParms* parms, Device_Error* result,
                               struct svc_req*) {
  Link* link = FindLink(parms->lid);
  result->error = link == nullptr ? kErrInvalidLink : kErrNone;
  if (link == nullptr) return TRUE;
  link->srqEnabled = parms->enable != 0;
  std::size_t length = std::min<std::size_t>(parms->handle.handle_len, kMaxHandle);
  link->handle.assign(parms->handle.handle_val != nullptr ? parms->handle.handle_val : "", length);
  return TRUE;
}

bool_t device_docmd_1_svc(Device_DocmdParms*, Device_DocmdResp* result, struct svc_req*) {
  result->error = kErrNotSupported;
  result->data_out.data_out_len = 0;
  result->data_out.data_out_val = nullptr;
  return TRUE;
}

bool_t destroy_link_1_svc(Device_Link* lid, Device_Error* result, struct svc_req*) {
  result->error = g_links.erase(*lid) == 0 ? kErrInvalidLink : kErrNone;
  return TRUE;
}

bool_t create_intr_chan_1_svc(Device_RemoteFunc* parms, Device_Error* result, struct svc_req*) {
  result->error = kErrNone;
  if (parms->progFamily != DEVICE_TCP || CurrentKnobs().noInterrupt) {
    result->error = kErrNotSupported;
    return TRUE;
  }
  // A new channel replaces the old one: one client owns the SRQ line.
  CloseInterruptChannel();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(static_cast<std::uint32_t>(parms->hostAddr));
  address.sin_port = htons(parms->hostPort);
  int fd = ConnectBounded(address);
  CLIENT* client = fd < 0 ? nullptr
                          : clnttcp_create(&address, parms->progNum, parms->progVers, &fd, 0, 0);
  if (client == nullptr) {
    if (fd >= 0) close(fd);
    result->error = kErrChannelNotEstablished;
    return TRUE;
  }
  clnt_control(client, CLSET_FD_CLOSE, nullptr);
  timeval wait{kSrqCallSeconds, 0};
  clnt_control(client, CLSET_TIMEOUT, reinterpret_cast<char*>(&wait));
  g_interrupt = client;
  return TRUE;
}

bool_t destroy_intr_chan_1_svc(void*, Device_Error* result, struct svc_req*) {
  result->error = g_interrupt == nullptr ? kErrChannelNotEstablished : kErrNone;
  CloseInterruptChannel();
  return TRUE;
}

bool_t device_abort_1_svc(Device_Link* lid, Device_Error* result, struct svc_req*) {
  // Calls are served one at a time, so nothing is ever in progress here.
  return AnswerForLink(*lid, result);
}

// Replies point into storage of our own: nothing to free.
int device_core_1_freeresult(SVCXPRT*, xdrproc_t, caddr_t) { return 1; }
int device_async_1_freeresult(SVCXPRT*, xdrproc_t, caddr_t) { return 1; }

}  // extern "C"
