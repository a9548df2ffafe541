#include "console/instrument_link.h"

#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/read_resp_xdr.h"
#include "console/srq_channel.h"

namespace console {
namespace {

TEST(StbQuery, FoundInAnyCaseAnywhere) {
  for (const char* query : {"*STB?", "*stb?", ":SYST:ERR?;*Stb?"})
    EXPECT_TRUE(is_stb_query(query)) << query;
  for (const char* other : {"*STB", "*ESR?"}) EXPECT_FALSE(is_stb_query(other)) << other;
}

// A reply buffer with one spare byte that must stay NUL.
struct Reply {
  explicit Reply(std::size_t capacity) : bytes(capacity + 1, 'x'), cursor{bytes.data(), capacity, capacity} {
    std::memset(bytes.data(), 0, bytes.size());
  }
  std::string text() const { return std::string(bytes.data()); }
  std::vector<char> bytes;
  ReplyCursor cursor;
};

TEST(ReplyAssembly, ChunksFollowEachOther) {
  Reply reply(kReplyCapacity);
  std::string first(kChunkSize, 'a'), second(kChunkSize, 'b');
  append_chunk(reply.cursor, first.data(), first.size());
  append_chunk(reply.cursor, second.data(), second.size());
  append_chunk(reply.cursor, "end\n", 4);
  EXPECT_EQ(reply.text(), first + second + "end\n");
  EXPECT_EQ(kReplyCapacity - reply.cursor.remaining, 2 * kChunkSize + 4);
}

TEST(ReplyAssembly, ANulEndsTheTextButTheChunkStillCounts) {
  Reply reply(64);
  append_chunk(reply.cursor, "12\0" "34", 5);
  append_chunk(reply.cursor, "56", 2);
  EXPECT_EQ(reply.text(), "12");
  EXPECT_EQ(reply.cursor.remaining, 64u - 7u);
  EXPECT_EQ(std::string(reply.bytes.data(), 8), std::string("12\0\0\0" "56\0", 8));
}

TEST(ReplyAssembly, ExcessBeyondCapacityIsDroppedAndTheTextStaysTerminated) {
  Reply reply(10);
  append_chunk(reply.cursor, "0123456", 7);
  append_chunk(reply.cursor, "789abc", 6);
  append_chunk(reply.cursor, "def", 3);
  EXPECT_EQ(reply.cursor.remaining, 0u);
  EXPECT_EQ(reply.text(), "0123456789");
}

// Encodes a Device_ReadResp carrying `length` bytes as an instrument would.
std::vector<char> EncodedReadResp(u_int length) {
  std::vector<char> data(length, 'r');
  Device_ReadResp resp{};
  resp.reason = 4;
  resp.data.data_len = length;
  resp.data.data_val = data.data();
  std::vector<char> wire(length + 64);
  XDR xdrs;
  xdrmem_create(&xdrs, wire.data(), static_cast<u_int>(wire.size()), XDR_ENCODE);
  EXPECT_TRUE(xdr_Device_ReadResp(&xdrs, &resp));
  wire.resize(xdr_getpos(&xdrs));
  xdr_destroy(&xdrs);
  return wire;
}

bool Decode(std::vector<char>& wire, char* chunk, BoundedReadResp& target) {
  target.resp.data.data_val = chunk;
  target.limit = kChunkSize;
  XDR xdrs;
  xdrmem_create(&xdrs, wire.data(), static_cast<u_int>(wire.size()), XDR_DECODE);
  bool ok = xdr_bounded_read_resp(&xdrs, &target);
  xdr_destroy(&xdrs);
  return ok;
}

TEST(ReadRespDecoder, AcceptsAFullChunkAndRefusesALargerOne) {
  std::vector<char> chunk(kChunkSize + 16, '\0');
  std::vector<char> full = EncodedReadResp(kChunkSize);
  BoundedReadResp target{};
  ASSERT_TRUE(Decode(full, chunk.data(), target));
  EXPECT_EQ(target.resp.data.data_len, kChunkSize);
  EXPECT_EQ(target.resp.reason, 4);
  EXPECT_EQ(target.resp.data.data_val, chunk.data());

  std::fill(chunk.begin(), chunk.end(), '\0');
  std::vector<char> oversize = EncodedReadResp(kChunkSize + 1);
  BoundedReadResp refused{};
  EXPECT_FALSE(Decode(oversize, chunk.data(), refused));
  EXPECT_EQ(chunk[0], '\0');  // nothing was written
}

TEST(SrqChannel, WithoutLinkOrChannelNothingIsCalled) {
  InstrumentLink none;
  EXPECT_EQ(link_create_intr_channel(none, "127.0.0.1"), 0);
  EXPECT_EQ(link_enable_srq(none, true, "2130706433 1022"), 0);
}

}  // namespace
}  // namespace console
