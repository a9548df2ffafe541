// The device_read reply decoder writes into the caller's buffer and must
// refuse a reply that carries more than the buffer can take.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vxi11_read_into.h"

namespace {

// A Device_ReadResp as an instrument would put it on the wire.
std::vector<char> Encoded(long error, long reason, const std::string& data) {
  std::vector<char> wire(64 + data.size());
  XDR xdr;
  xdrmem_create(&xdr, wire.data(), static_cast<u_int>(wire.size()), XDR_ENCODE);
  Device_ReadResp resp{};
  resp.error = error;
  resp.reason = reason;
  resp.data.data_len = static_cast<u_int>(data.size());
  resp.data.data_val = const_cast<char*>(data.data());
  EXPECT_TRUE(xdr_Device_ReadResp(&xdr, &resp));
  wire.resize(xdr_getpos(&xdr));
  xdr_destroy(&xdr);
  return wire;
}

bool Decode(std::vector<char>& wire, Device_ReadRespInto& into) {
  XDR xdr;
  xdrmem_create(&xdr, wire.data(), static_cast<u_int>(wire.size()), XDR_DECODE);
  bool ok = xdr_Device_ReadRespInto(&xdr, &into);
  xdr_destroy(&xdr);
  return ok;
}

TEST(ReadRespDecoder, LandsInTheBufferAtThePosition) {
  std::vector<char> wire = Encoded(0, 4, "12345");
  char buffer[16];
  std::memset(buffer, '.', sizeof buffer);
  Device_ReadRespInto into{};
  into.data = buffer + 3;
  into.capacity = 5;  // exactly the reply's size
  ASSERT_TRUE(Decode(wire, into));
  EXPECT_EQ(into.reason, 4);
  EXPECT_EQ(into.length, 5u);
  EXPECT_EQ(std::string(buffer, sizeof buffer), "...12345........");
}

TEST(ReadRespDecoder, RefusesMoreThanRequestedAndWritesNothing) {
  std::vector<char> wire = Encoded(0, 4, std::string(40, 'X'));
  char buffer[64];
  std::memset(buffer, '.', sizeof buffer);
  Device_ReadRespInto into{};
  into.data = buffer;
  into.capacity = 39;
  EXPECT_FALSE(Decode(wire, into));
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(64, '.'));
  // Without a buffer no data is accepted (nothing is allocated).
  Device_ReadRespInto none{};
  none.capacity = 100;
  EXPECT_FALSE(Decode(wire, none));
  std::vector<char> empty = Encoded(15, 0, "");
  EXPECT_TRUE(Decode(empty, none));
  EXPECT_EQ(none.error, 15);
}

}  // namespace
