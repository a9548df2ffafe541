#pragma once
// Client of an instrument's VXI-11 core channel (device "inst0"): open a
// link, write a command in chunks, read the reply to its end, close.
#include <cstddef>

#include "vxi11_core.h"

// What callers hold for one open link.
struct Vxi11Link {
  CLIENT* client = nullptr;
  Create_LinkResp* link = nullptr;  // zero-filled at open, freed at close
};

constexpr int VXI11_DEFAULT_TIMEOUT = 10000;  // ms
constexpr int VXI11_MAX_CLIENTS = 256;
constexpr int VXI11_NULL_READ_RESP = 50;
constexpr int VXI11_NULL_WRITE_RESP = 51;
constexpr unsigned long VXI11_FALLBACK_CHUNK = 4096;
constexpr long VXI11_BUFFER_FULL = -100;
constexpr int VXI11_ATTEMPTS = 10;
// A write that keeps being accepted with size 0 this many times in a row
// is given up as an I/O error instead of being repeated for ever.
constexpr int VXI11_ZERO_ACCEPT_LIMIT = 5;
// A read that keeps returning no data, no reason and no error this many
// times in a row is given up likewise.
constexpr int VXI11_EMPTY_READ_LIMIT = 5;

// 0; -1 no RPC client; -2 create_link failed; -256 client table full.
int vxi11_open_device(const char* address, Vxi11Link* vxiLink);
// 0; -1 destroy_link failed; -4 address not in the table.
int vxi11_close_device(const char* address, Vxi11Link* vxiLink);

// 0; -51 a write got no RPC reply; minus the device error.
int vxi11_send(Vxi11Link* vxiLink, const char* text);
int vxi11_send(Vxi11Link* vxiLink, const char* bytes, std::size_t length);

// Bytes read; -50 no RPC reply; minus the device error; -100 buffer full
// before the end of the reply.
long vxi11_receive(Vxi11Link* vxiLink, char* buffer, unsigned long length,
                   unsigned long timeoutMs);

// Reply bytes (> 0); -1 send failed; -2 read failed; else the last receive
// result once the attempts ran out.
long vxi11_send_and_receive(Vxi11Link* vxiLink, const char* command, char* buffer,
                            unsigned long length, unsigned long timeoutMs);

// Blanks every slot of the client table.
void vxi11_reset_clients();

// Per RPC client, beneath open and close of a device.
int vxi11_open_link(const char* address, CLIENT* client, Create_LinkResp** link);
int vxi11_close_link(const char* address, CLIENT* client, Create_LinkResp* link);

// Introspection of the client table: slots used, and the link count of an
// address (0 when it holds no slot).
int vxi11_clients_used();
int vxi11_link_count(const char* address);
