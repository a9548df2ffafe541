#pragma once
// A decoder for Device_ReadResp that refuses data longer than the receiving
// buffer, so an instrument that sends more than it was asked for cannot write
// past the chunk buffer; the call then fails at the RPC level.
#include <rpc/rpc.h>

#include "vxi11_core.h"

namespace console {

// The limit in bytes that a decode of Device_ReadResp accepts; the caller
// points data_val at a buffer of that size before the call.
struct BoundedReadResp {
  Device_ReadResp resp;
  u_int limit;
};

extern "C" bool_t xdr_bounded_read_resp(XDR* xdrs, BoundedReadResp* target);

}  // namespace console
