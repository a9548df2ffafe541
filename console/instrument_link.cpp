#include "console/instrument_link.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <time.h>

#include <cctype>
#include <cstdint>
#include <cstring>
#include <vector>

#include "console/options.h"
#include "console/read_resp_xdr.h"
#include "vxi11_core.h"

namespace console {

namespace {

constexpr unsigned long kLockTimeout = 1000;
constexpr unsigned long kIoTimeout = 5000;
constexpr long kFlagWaitLock = 1;
constexpr long kFlagEnd = 8;
constexpr long kFlagTermChar = 128;
const timeval kCallTimeout = {25, 0};

// create_link's clientId is a 32-bit XDR long; the handle's low bits are
// enough to tell the console's clients apart.
long client_id_of(CLIENT* client) {
  return static_cast<long>(static_cast<int32_t>(reinterpret_cast<uintptr_t>(client)));
}

CLIENT* open_abort_client(CLIENT* core, unsigned short abort_port) {
  sockaddr_storage server{};
  if (!clnt_control(core, CLGET_SERVER_ADDR, reinterpret_cast<char*>(&server))) return nullptr;
  if (server.ss_family != AF_INET) return nullptr;
  sockaddr_in address;
  std::memcpy(&address, &server, sizeof address);
  address.sin_port = htons(abort_port);
  int sock = RPC_ANYSOCK;
  return clnttcp_create(&address, DEVICE_ASYNC, DEVICE_ASYNC_VERSION, &sock, 0, 0);
}

// One device_read into the zeroed chunk buffer; the decoder refuses a chunk
// larger than the request.
int read_chunk(InstrumentLink& link, long flags, char term_char, char* chunk,
               u_int* length, long* reason) {
  Device_ReadParms parms{};
  parms.lid = link.lid;
  parms.requestSize = kChunkSize;
  parms.io_timeout = kIoTimeout;
  parms.lock_timeout = kLockTimeout;
  parms.flags = flags;
  parms.termChar = term_char;
  std::memset(chunk, 0, kChunkSize);
  BoundedReadResp result{};
  result.resp.data.data_val = chunk;
  result.limit = kChunkSize;
  enum clnt_stat status = clnt_call(
      link.core, device_read, reinterpret_cast<xdrproc_t>(xdr_Device_ReadParms),
      reinterpret_cast<caddr_t>(&parms), reinterpret_cast<xdrproc_t>(xdr_bounded_read_resp),
      reinterpret_cast<caddr_t>(&result), kCallTimeout);
  if (status != RPC_SUCCESS) return link_lost(link);
  if (result.resp.error != 0) return -static_cast<int>(result.resp.error);
  *length = result.resp.data.data_len;
  *reason = result.resp.reason;
  return 0;
}

// The record is overwritten by every attempt; the clients of the link it
// held go with it, so reconnecting does not pile up sockets and memory.
void release_clients(InstrumentLink& link) {
  if (link.abort != nullptr) clnt_destroy(link.abort);
  if (link.core != nullptr) clnt_destroy(link.core);
  link = InstrumentLink();
}

// What a call returns without a core client: nothing to call (0), or,
// after a lost link that could not be opened again, error 17.
int no_link(const InstrumentLink& link) { return link.outOfStep ? -kIoError : 0; }

}  // namespace

void link_close(InstrumentLink& link) { release_clients(link); }

int link_lost(InstrumentLink& link) {
  link.outOfStep = true;
  return -kIoError;
}

int link_reopen(InstrumentLink& link) {
  if (!link.outOfStep) return 1;
  std::string host = link.host;
  int rc = link_open(link, host.c_str(), "inst0");
  if (rc > 0) return rc;
  release_clients(link);  // a half-made link has no usable lid
  link.host = host;
  link.outOfStep = true;
  return rc;
}

int link_open(InstrumentLink& link, const char* host, const char* device) {
  std::string target(host);  // host may be the record's own, which goes now
  release_clients(link);
  link.host = target;
  link.core = clnt_create(target.c_str(), DEVICE_CORE, DEVICE_CORE_VERSION, "tcp");
  if (link.core == nullptr) return 0;
  Create_LinkParms parms{};
  parms.clientId = client_id_of(link.core);
  parms.lockDevice = FALSE;
  parms.lock_timeout = kLockTimeout;
  parms.device = const_cast<char*>(device != nullptr && device[0] != '\0' ? device : "inst0");
  Create_LinkResp resp{};
  if (create_link_1(&parms, &resp, link.core) != RPC_SUCCESS) return link_lost(link);
  if (resp.error != 0) return -static_cast<int>(resp.error);
  link.lid = resp.lid;
  link.abort = open_abort_client(link.core, resp.abortPort);
  if (link.abort == nullptr) return 0;
  link.intrChannel = false;
  return 1;
}

int link_write(InstrumentLink& link, const char* data, long length, bool wait_lock, bool end) {
  if (link.core == nullptr) return no_link(link);
  if (length < 0) length = static_cast<long>(std::strlen(data));
  Device_WriteParms parms{};
  parms.lid = link.lid;
  parms.io_timeout = kIoTimeout;
  parms.lock_timeout = kLockTimeout;
  parms.flags = (end ? kFlagEnd : 0) | (wait_lock ? kFlagWaitLock : 0);
  parms.data.data_len = static_cast<u_int>(length);
  parms.data.data_val = const_cast<char*>(data);
  Device_WriteResp resp{};
  if (device_write_1(&parms, &resp, link.core) != RPC_SUCCESS) return link_lost(link);
  if (resp.error != 0) return -static_cast<int>(resp.error);
  return static_cast<int>(resp.size);
}

void append_chunk(ReplyCursor& cursor, const char* chunk, std::size_t length) {
  std::size_t n = length < cursor.remaining ? length : cursor.remaining;
  if (n == 0) return;
  std::strncpy(cursor.buffer + (cursor.capacity - cursor.remaining), chunk, n);
  cursor.remaining -= n;
}

int link_read(InstrumentLink& link, char* buffer, std::size_t capacity, bool wait_lock,
              bool use_term_char, char term_char, long* reason) {
  if (link.core == nullptr) return no_link(link);
  long flags = (wait_lock ? kFlagWaitLock : 0) | (use_term_char ? kFlagTermChar : 0);
  char chunk[kChunkSize];
  ReplyCursor cursor{buffer, capacity, capacity};
  for (;;) {
    u_int length = 0;
    long chunk_reason = 0;
    int rc = read_chunk(link, flags, use_term_char ? term_char : 0, chunk, &length, &chunk_reason);
    if (rc < 0) return rc;
    append_chunk(cursor, chunk, length);
    if (reason != nullptr) *reason = chunk_reason;
    if ((chunk_reason & kReasonEnd) != 0) return static_cast<int>(capacity - cursor.remaining);
  }
}

int link_read_stb(InstrumentLink& link, bool wait_lock) {
  if (link.core == nullptr) return no_link(link);
  Device_GenericParms parms{};
  parms.lid = link.lid;
  parms.flags = wait_lock ? kFlagWaitLock : 0;
  parms.lock_timeout = kLockTimeout;
  parms.io_timeout = kIoTimeout;
  Device_ReadStbResp resp{};
  if (device_readstb_1(&parms, &resp, link.core) != RPC_SUCCESS) return link_lost(link);
  if (resp.error != 0) return -static_cast<int>(resp.error);
  return 256 + resp.stb;
}

std::string link_local_address(const InstrumentLink& link) {
  int fd = -1;
  if (link.core == nullptr || !clnt_control(link.core, CLGET_FD, reinterpret_cast<char*>(&fd)))
    return std::string();
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0 ||
      local.sin_family != AF_INET)
    return std::string();
  char text[INET_ADDRSTRLEN];
  if (inet_ntop(AF_INET, &local.sin_addr, text, sizeof text) == nullptr) return std::string();
  return text;
}

int link_send_command(InstrumentLink& link, const std::string& line) {
  return link_write(link, line.data(), static_cast<long>(line.size()), false, true);
}

bool link_closed_by_instrument(const InstrumentLink& link) {
  int fd = -1;
  if (link.core == nullptr || !clnt_control(link.core, CLGET_FD, reinterpret_cast<char*>(&fd)))
    return false;
  pollfd p{fd, POLLIN | POLLRDHUP, 0};
  if (poll(&p, 1, 0) != 1) return false;
  if ((p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0) return true;
  // Readable with nothing outstanding: only the end of the stream can be there.
  char byte;
  return recv(fd, &byte, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
}

bool is_stb_query(const std::string& command) {
  std::string lower(command);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("*stb?") != std::string::npos;
}

void retry_pause() {
  if (!sleepFlag) return;
  timespec pause{0, 1000000};
  nanosleep(&pause, nullptr);
}

}  // namespace console
