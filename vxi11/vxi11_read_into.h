/* A Device_ReadResp decoder that writes the reply data straight into the
 * caller's buffer and refuses more data than that buffer can hold. */
#ifndef TV_VXI11_READ_INTO_H
#define TV_VXI11_READ_INTO_H

#include "vxi11_core.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct Device_ReadRespInto {
  Device_ErrorCode error;
  long reason;
  char *data;     /* where the reply data lands; never allocated here */
  u_int capacity; /* the most bytes accepted */
  u_int length;   /* bytes received */
} Device_ReadRespInto;

/* Same wire format as xdr_Device_ReadResp. Decoding fails, leaving the
 * buffer untouched, when the reply carries more than `capacity` bytes. */
bool_t xdr_Device_ReadRespInto(XDR *xdrs, Device_ReadRespInto *objp);

#ifdef __cplusplus
}
#endif

#endif
