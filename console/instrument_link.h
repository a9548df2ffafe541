#pragma once
// The console's own VXI-11 client: one link (core and abort channel) to one
// instrument, writes, reads assembled from 2048-byte chunks, the status byte.
#include <cstddef>
#include <string>

#include <rpc/rpc.h>

namespace console {

struct InstrumentLink {
  CLIENT* core = nullptr;   // no core client: no link
  CLIENT* abort = nullptr;  // opened with every link, used by no call
  long lid = 0;
  bool intrChannel = false;  // create_intr_chan succeeded on this link
  std::string host;          // as given to link_open
  // A call on the core channel got no reply. The RPC client still waits
  // for that reply and would take the next one for it, so every later call
  // would time out: the link must be opened again. The mark stays until a
  // reopen succeeds; without a core client every call then fails as one
  // that got no reply.
  bool outOfStep = false;
};

constexpr std::size_t kChunkSize = 2048;
constexpr std::size_t kReplyCapacity = 512000;
constexpr long kReasonEnd = 4;
constexpr int kIoError = 17;  // also a call that got no reply

// 1 on success, 0 on failure, minus the error that create_link reported.
int link_open(InstrumentLink& link, const char* host, const char* device);
// Closes the link's clients; the record is empty afterwards.
void link_close(InstrumentLink& link);
// The error of a core-channel call that got no reply (-kIoError); marks
// the link out of step.
int link_lost(InstrumentLink& link);
// Opens a link that is out of step again, to the same host; 1 when the link
// is usable. A reopen that fails leaves no clients and keeps the mark, so
// the next line tries again and its calls fail with error 17 meanwhile.
int link_reopen(InstrumentLink& link);
// Bytes accepted or minus the error; a negative length means strlen(data).
int link_write(InstrumentLink& link, const char* data, long length, bool wait_lock, bool end);
// Buffer bytes consumed or minus the error. `buffer` must hold capacity bytes.
int link_read(InstrumentLink& link, char* buffer, std::size_t capacity, bool wait_lock,
              bool use_term_char, char term_char, long* reason);
// 256 plus the status byte, or minus the error.
int link_read_stb(InstrumentLink& link, bool wait_lock);
// The local address of the core channel's socket, the address the instrument
// reached us from, as dotted text; empty without a link.
std::string link_local_address(const InstrumentLink& link);
int link_send_command(InstrumentLink& link, const std::string& line);
// True when the instrument has closed the link's core connection (as some
// close a link that stays idle); no call is made.
bool link_closed_by_instrument(const InstrumentLink& link);
bool is_stb_query(const std::string& command);

// Where the chunks of one reply land: a fixed buffer filled from the front.
struct ReplyCursor {
  char* buffer;
  std::size_t capacity;
  std::size_t remaining;
};
// Copies one chunk as text bounded by the space left: copying stops at the
// chunk's first NUL and the rest of the taken space is NUL-filled; a full
// buffer drops the chunk.
void append_chunk(ReplyCursor& cursor, const char* chunk, std::size_t length);

// Pauses 1 ms before a retry when the sleep option is on.
void retry_pause();

}  // namespace console
