#include "console/read_resp_xdr.h"

namespace console {

extern "C" bool_t xdr_bounded_read_resp(XDR* xdrs, BoundedReadResp* target) {
  Device_ReadResp& r = target->resp;
  if (!xdr_Device_ErrorCode(xdrs, &r.error)) return FALSE;
  if (!xdr_long(xdrs, &r.reason)) return FALSE;
  return xdr_bytes(xdrs, &r.data.data_val, &r.data.data_len, target->limit);
}

}  // namespace console
