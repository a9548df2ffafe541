#pragma once
// The interrupt channel the console serves for query method 4: an RPC
// server for DEVICE_INTR on a thread of its own, and the counting semaphore
// that each service request posts and each method-4 query waits on.
#include <string>

#include <rpc/rpc.h>

#include "console/instrument_link.h"

namespace console {

using SrqCallback = void (*)(const char* handle, unsigned length);

// Starts the server thread and waits for its report; true when it has a
// port. Later starts reuse a server that already serves.
bool intr_server_start(SrqCallback callback);
void intr_dispatch(struct svc_req* request, SVCXPRT* transport);

// 1 on success, 0 without link, with the channel already open or without a
// server, otherwise minus the VXI-11 error.
int link_create_intr_channel(InstrumentLink& link, const char* host);
int link_enable_srq(InstrumentLink& link, bool enable, const char* handle);

// "<host address number> <port>", from the last channel created.
std::string srq_handle_text();

// The service-request semaphore. create: count 0 (a later create forgets
// requests of earlier links); false when it cannot be created.
bool srq_semaphore_create();
void srq_semaphore_destroy();
void on_service_request(const char* handle, unsigned length);

}  // namespace console
