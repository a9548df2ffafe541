#include "vxi11_read_into.h"

bool_t xdr_Device_ReadRespInto(XDR *xdrs, Device_ReadRespInto *objp) {
  char *where = objp->data;
  u_int limit = objp->capacity;
  if (!xdr_Device_ErrorCode(xdrs, &objp->error)) return FALSE;
  if (!xdr_long(xdrs, &objp->reason)) return FALSE;
  /* The caller owns the buffer: there is nothing to free. */
  if (xdrs->x_op == XDR_FREE) return TRUE;
  /* Without a buffer xdr_bytes would allocate; accept no data then. */
  if (where == NULL) limit = 0;
  return xdr_bytes(xdrs, &where, &objp->length, limit);
}
