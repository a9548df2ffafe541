#include "instrument/vxi11_user.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "vxi11_read_into.h"

namespace {

constexpr long kFlagEnd = 8;
constexpr long kReasonTermChar = 2;
constexpr long kReasonEnd = 4;
constexpr long kDeviceIoError = 17;
constexpr std::size_t kAddressSize = 20;
const timeval kCallTimeout = {25, 0};

struct ClientSlot {
  char address[kAddressSize];
  CLIENT* client;
  int linkCount;
};

// The window thread and the worker may both query; the table is guarded,
// and open and close run under the guard from lookup to record.
std::mutex g_tableMutex;
ClientSlot g_slots[VXI11_MAX_CLIENTS];
int g_slotsUsed = 0;

// The address as a slot holds it: at most 19 characters.
void SlotKey(const char* address, char key[kAddressSize]) {
  std::strncpy(key, address != nullptr ? address : "", kAddressSize - 1);
  key[kAddressSize - 1] = '\0';
}

// The last slot holding the address wins. A blanked slot has no client
// and never matches, not even an empty address.
int FindSlot(const char* key) {
  int found = -1;
  for (int i = 0; i < VXI11_MAX_CLIENTS; ++i) {
    if (g_slots[i].client != nullptr && std::strcmp(g_slots[i].address, key) == 0) found = i;
  }
  return found;
}

bool LinkUsable(const Vxi11Link* vxiLink) {
  return vxiLink != nullptr && vxiLink->client != nullptr && vxiLink->link != nullptr;
}

int SlotOfClient(const CLIENT* client) {
  for (int i = 0; i < VXI11_MAX_CLIENTS; ++i)
    if (client != nullptr && g_slots[i].client == client) return i;
  return -1;
}

// Before an attempt is repeated. A call that got no reply leaves the RPC
// client out of step: its record stream still waits for the rest of the
// missing reply and swallows the next reply in its place, so every later
// call on it times out. A fresh client with a fresh link puts that right.
// A client that serves other links too is kept, for their sake. False when
// no fresh connection could be made: the instrument is gone.
bool Reconnect(Vxi11Link* vxiLink) {
  std::lock_guard<std::mutex> guard(g_tableMutex);
  const int slot = SlotOfClient(vxiLink->client);
  if (slot < 0 || g_slots[slot].linkCount != 1) return true;
  const char* address = g_slots[slot].address;
  // A name of 19 characters or more may have been cut to fit the slot, and
  // the cut name could reach another host.
  if (std::strlen(address) >= kAddressSize - 1) return true;
  CLIENT* client = clnt_create(address, DEVICE_CORE, DEVICE_CORE_VERSION, "tcp");
  if (client == nullptr) return false;
  Create_LinkResp* link = nullptr;
  if (vxi11_open_link(address, client, &link) != 0) {
    clnt_destroy(client);
    return false;
  }
  // Closing the old connection ends the old link on the instrument.
  clnt_destroy(vxiLink->client);
  std::free(vxiLink->link);
  g_slots[slot].client = client;
  vxiLink->client = client;
  vxiLink->link = link;
  return true;
}

}  // namespace

int vxi11_open_link(const char* address, CLIENT* client, Create_LinkResp** link) {
  Create_LinkParms parms{};
  parms.clientId = static_cast<long>(reinterpret_cast<std::intptr_t>(client));
  parms.lockDevice = 0;
  parms.lock_timeout = VXI11_DEFAULT_TIMEOUT;
  parms.device = const_cast<char*>("inst0");
  auto* record = static_cast<Create_LinkResp*>(std::calloc(1, sizeof(Create_LinkResp)));
  if (record == nullptr) return -2;
  if (create_link_1(&parms, record, client) != RPC_SUCCESS) {
    clnt_perror(client, address);
    std::free(record);
    *link = nullptr;
    return -2;
  }
  // The reply's error is not examined: later calls use its lid as given.
  *link = record;
  return 0;
}

int vxi11_close_link(const char* address, CLIENT* client, Create_LinkResp* link) {
  if (client == nullptr || link == nullptr) return -1;
  Device_Error dev_error{};
  Device_Link lid = link->lid;
  if (destroy_link_1(&lid, &dev_error, client) != RPC_SUCCESS) {
    clnt_perror(client, address);
    return -1;
  }
  return 0;
}

int vxi11_open_device(const char* address, Vxi11Link* vxiLink) {
  if (address == nullptr || vxiLink == nullptr) return -1;
  std::lock_guard<std::mutex> guard(g_tableMutex);
  char key[kAddressSize];
  SlotKey(address, key);
  int slot = FindSlot(key);
  if (slot >= 0) {
    int ret = vxi11_open_link(address, g_slots[slot].client, &vxiLink->link);
    if (ret == 0) {
      vxiLink->client = g_slots[slot].client;
      ++g_slots[slot].linkCount;
    }
    return ret;
  }
  if (g_slotsUsed >= VXI11_MAX_CLIENTS) {
    std::printf("Error: maximum of %d clients allowed\n", VXI11_MAX_CLIENTS);
    return -VXI11_MAX_CLIENTS;
  }
  CLIENT* client = clnt_create(address, DEVICE_CORE, DEVICE_CORE_VERSION, "tcp");
  if (client == nullptr) return -1;
  int ret = vxi11_open_link(address, client, &vxiLink->link);
  if (ret != 0) {
    clnt_destroy(client);
    return ret;
  }
  vxiLink->client = client;
  ClientSlot& fresh = g_slots[g_slotsUsed++];
  std::memcpy(fresh.address, key, kAddressSize);
  fresh.client = client;
  fresh.linkCount = 1;
  return 0;
}

int vxi11_close_device(const char* address, Vxi11Link* vxiLink) {
  std::lock_guard<std::mutex> guard(g_tableMutex);
  char key[kAddressSize];
  SlotKey(address, key);
  int slot = FindSlot(key);
  if (slot < 0 || vxiLink == nullptr) {
    std::printf("vxi11_close_device: error: I have no record of you ever opening device\n");
    std::printf("                    with IP address %s\n", address != nullptr ? address : "");
    return -4;
  }
  ClientSlot& entry = g_slots[slot];
  int ret = vxi11_close_link(address, entry.client, vxiLink->link);
  if (entry.linkCount < 2) {
    clnt_destroy(entry.client);
    entry.address[0] = '\0';
    entry.client = nullptr;
    entry.linkCount = 0;
  } else {
    --entry.linkCount;
  }
  // Every closed link's record is freed, not only the last one's.
  std::free(vxiLink->link);
  vxiLink->link = nullptr;
  vxiLink->client = nullptr;
  return ret;
}

int vxi11_send(Vxi11Link* vxiLink, const char* text) {
  return vxi11_send(vxiLink, text, text != nullptr ? std::strlen(text) : 0);
}

int vxi11_send(Vxi11Link* vxiLink, const char* bytes, std::size_t length) {
  if (!LinkUsable(vxiLink)) return -4;
  std::vector<char> copy(length + 1, '\0');
  if (length > 0) std::memcpy(copy.data(), bytes, length);
  Device_WriteParms parms{};
  parms.lid = vxiLink->link->lid;
  parms.io_timeout = VXI11_DEFAULT_TIMEOUT;
  parms.lock_timeout = VXI11_DEFAULT_TIMEOUT;
  unsigned long limit = vxiLink->link->maxRecvSize;
  if (limit == 0) limit = VXI11_FALLBACK_CHUNK;
  unsigned long remaining = length;
  int zeroAccepts = 0;
  do {
    Device_WriteResp resp{};
    bool last = remaining <= limit;
    parms.flags = last ? kFlagEnd : 0;
    parms.data.data_len = static_cast<u_int>(last ? remaining : limit);
    parms.data.data_val = copy.data() + (length - remaining);
    if (device_write_1(&parms, &resp, vxiLink->client) != RPC_SUCCESS) return -VXI11_NULL_WRITE_RESP;
    if (resp.error != 0) {
      std::printf("vxi11_user: write error: %d\n", static_cast<int>(resp.error));
      return -static_cast<int>(resp.error);
    }
    if (resp.size > remaining) break;
    // An instrument that keeps taking nothing would hold us here for ever.
    zeroAccepts = (resp.size == 0 && remaining > 0) ? zeroAccepts + 1 : 0;
    if (zeroAccepts >= VXI11_ZERO_ACCEPT_LIMIT) {
      std::printf("vxi11_user: write error: %d\n", static_cast<int>(kDeviceIoError));
      return -static_cast<int>(kDeviceIoError);
    }
    remaining -= resp.size;
  } while (remaining > 0);
  return 0;
}

long vxi11_receive(Vxi11Link* vxiLink, char* buffer, unsigned long length,
                   unsigned long timeoutMs) {
  if (!LinkUsable(vxiLink) || buffer == nullptr) return -4;
  Device_ReadParms parms{};
  parms.lid = vxiLink->link->lid;
  parms.io_timeout = timeoutMs;
  parms.lock_timeout = timeoutMs;
  parms.flags = 0;
  parms.termChar = 0;
  unsigned long position = 0;
  int emptyReads = 0;
  for (;;) {
    parms.requestSize = length - position;
    Device_ReadRespInto resp{};
    resp.data = buffer + position;
    resp.capacity = static_cast<u_int>(parms.requestSize > UINT_MAX ? UINT_MAX : parms.requestSize);
    enum clnt_stat stat = clnt_call(vxiLink->client, device_read,
                                    reinterpret_cast<xdrproc_t>(xdr_Device_ReadParms),
                                    reinterpret_cast<caddr_t>(&parms),
                                    reinterpret_cast<xdrproc_t>(xdr_Device_ReadRespInto),
                                    reinterpret_cast<caddr_t>(&resp), kCallTimeout);
    if (stat != RPC_SUCCESS) return -VXI11_NULL_READ_RESP;
    if (resp.error != 0) {
      std::printf("vxi11_user: read error: %d\n", static_cast<int>(resp.error));
      return -resp.error;
    }
    if (position + resp.length <= length) position += resp.length;
    if ((resp.reason & (kReasonEnd | kReasonTermChar)) != 0) return static_cast<long>(position);
    if (position == length) {
      std::printf(
          "xvi11_user: read error: buffer too small. Read %d bytes without hitting terminator.\n",
          static_cast<int>(position));
      return VXI11_BUFFER_FULL;
    }
    // Nothing, no reason and no error, again and again: give up.
    emptyReads = resp.length == 0 ? emptyReads + 1 : 0;
    if (emptyReads >= VXI11_EMPTY_READ_LIMIT) {
      std::printf("vxi11_user: read error: %d\n", static_cast<int>(kDeviceIoError));
      return -kDeviceIoError;
    }
  }
}

long vxi11_send_and_receive(Vxi11Link* vxiLink, const char* command, char* buffer,
                            unsigned long length, unsigned long timeoutMs) {
  long received = 0;
  int sent = 0;
  int attempts = 0;
  do {
    if (attempts > 0 && !Reconnect(vxiLink)) break;
    ++attempts;
    sent = vxi11_send(vxiLink, command);
    if (sent != 0 && sent != -VXI11_NULL_WRITE_RESP) {
      std::printf("Error: vxi11_send_and_receive: could not send cmd.\n");
      std::printf("       The function vxi11_send returned %d. ", sent);
      return -1;
    }
    if (sent == -VXI11_NULL_WRITE_RESP) {
      std::printf("(Info: VXI11_NULL_WRITE_RESP in vxi11_send_and_receive, resending query)\n");
    }
    received = vxi11_receive(vxiLink, buffer, length, timeoutMs);
    if (received <= 0) {
      if (received > -VXI11_NULL_READ_RESP) {
        std::printf("Error: vxi11_send_and_receive: problem reading reply.\n");
        std::printf("       The function vxi11_receive returned %ld. ", received);
        return -2;
      }
      std::printf("(Info: VXI11_NULL_READ_RESP in vxi11_send_and_receive, resending query)\n");
    }
    // Neither call was answered: the instrument is silent, and each further
    // attempt would only wait as long again (up to 50 s).
    if (sent == -VXI11_NULL_WRITE_RESP && received == -VXI11_NULL_READ_RESP) break;
  } while (attempts < VXI11_ATTEMPTS &&
           (received == -VXI11_NULL_READ_RESP || sent == -VXI11_NULL_WRITE_RESP));
  return received;
}

void vxi11_reset_clients() {
  std::lock_guard<std::mutex> guard(g_tableMutex);
  std::memset(g_slots, 0, sizeof g_slots);
  g_slotsUsed = 0;
}

int vxi11_clients_used() {
  std::lock_guard<std::mutex> guard(g_tableMutex);
  return g_slotsUsed;
}

int vxi11_link_count(const char* address) {
  std::lock_guard<std::mutex> guard(g_tableMutex);
  char key[kAddressSize];
  SlotKey(address, key);
  int slot = FindSlot(key);
  return slot < 0 ? 0 : g_slots[slot].linkCount;
}
