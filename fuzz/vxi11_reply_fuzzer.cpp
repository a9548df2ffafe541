// What the clients decode from an instrument's or a portmapper's replies:
// Device_ReadResp through both bounded decoders, the other core-channel
// results, the interrupt channel's arguments, the portmapper's GETPORT
// reply, and the console's assembly of reply chunks. The first input byte
// chooses the decoder, the second a buffer size where one is needed.
#include <rpc/rpc.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "console/instrument_link.h"
#include "console/read_resp_xdr.h"
#include "fuzz/fuzz_support.h"
#include "instrument/discovery.h"
#include "vxi11_core.h"
#include "vxi11_intr.h"
#include "vxi11_read_into.h"

namespace {

constexpr std::uint32_t kXid = 0x54560001;

// A decoding stream over the input; the XDR routines only read it.
struct Reader {
  Reader(const std::uint8_t* data, std::size_t size) {
    xdrmem_create(&xdr, const_cast<char*>(reinterpret_cast<const char*>(data)),
                  static_cast<u_int>(size), XDR_DECODE);
  }
  ~Reader() { xdr_destroy(&xdr); }
  XDR xdr;
};

// The client's read: the data lands in the caller's buffer, never past it.
void ReadIntoBuffer(const std::uint8_t* data, std::size_t size, u_int capacity) {
  std::unique_ptr<char[]> buffer(capacity > 0 ? new char[capacity] : nullptr);
  Device_ReadRespInto resp{};
  resp.data = buffer.get();
  resp.capacity = capacity;
  Reader reader(data, size);
  if (xdr_Device_ReadRespInto(&reader.xdr, &resp)) FUZZ_CHECK(resp.length <= capacity);
}

// The console's read: the same promise with the generated structure.
void ReadBounded(const std::uint8_t* data, std::size_t size, u_int limit) {
  std::unique_ptr<char[]> buffer(new char[limit + 1]);
  console::BoundedReadResp result{};
  result.resp.data.data_val = buffer.get();
  result.limit = limit;
  Reader reader(data, size);
  if (console::xdr_bounded_read_resp(&reader.xdr, &result)) {
    FUZZ_CHECK(result.resp.data.data_len <= limit);
    FUZZ_CHECK(result.resp.data.data_val == buffer.get());
  }
}

template <typename T>
void DecodeAndFree(const std::uint8_t* data, std::size_t size, xdrproc_t proc) {
  T value{};
  Reader reader(data, size);
  proc(&reader.xdr, &value);
  xdr_free(proc, reinterpret_cast<char*>(&value));
}

void CoreResults(const std::uint8_t* data, std::size_t size) {
  DecodeAndFree<Create_LinkResp>(data, size, reinterpret_cast<xdrproc_t>(xdr_Create_LinkResp));
  DecodeAndFree<Device_WriteResp>(data, size, reinterpret_cast<xdrproc_t>(xdr_Device_WriteResp));
  DecodeAndFree<Device_ReadStbResp>(data, size,
                                    reinterpret_cast<xdrproc_t>(xdr_Device_ReadStbResp));
  DecodeAndFree<Device_Error>(data, size, reinterpret_cast<xdrproc_t>(xdr_Device_Error));
  DecodeAndFree<Device_SrqParms>(data, size, reinterpret_cast<xdrproc_t>(xdr_Device_SrqParms));
}

void PortmapReply(const std::uint8_t* data, std::size_t size) {
  unsigned long port = 0;
  if (DecodePortmapReply(reinterpret_cast<const char*>(data), size, kXid, &port))
    FUZZ_CHECK(port != 0);
}

// Chunks of one reply, each preceded by its length byte, into a buffer of
// `capacity` bytes that must stay a terminated text.
void AssembleChunks(const std::uint8_t* data, std::size_t size, std::size_t capacity) {
  std::vector<char> buffer(capacity + 1, '\0');
  console::ReplyCursor cursor{buffer.data(), capacity, capacity};
  while (size > 0) {
    const std::size_t length = std::min<std::size_t>(data[0], size - 1);
    std::vector<char> chunk(data + 1, data + 1 + length);
    console::append_chunk(cursor, chunk.data(), chunk.size());
    FUZZ_CHECK(cursor.remaining <= capacity);
    data += 1 + length;
    size -= 1 + length;
  }
  FUZZ_CHECK(buffer[capacity] == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const int choice = data[0] % 5;
  const u_int sizeByte = data[1];
  data += 2;
  size -= 2;
  switch (choice) {
    case 0:
      ReadIntoBuffer(data, size, sizeByte);
      break;
    case 1:
      ReadBounded(data, size, sizeByte);
      break;
    case 2:
      CoreResults(data, size);
      break;
    case 3:
      PortmapReply(data, size);
      break;
    default:
      AssembleChunks(data, size, sizeByte);
      break;
  }
  return 0;
}
