#pragma once
// The VXI-11 core and abort channels of the simulated instrument, and the
// service requests it sends over the client's interrupt channel.
#include <string>

struct ServiceSetup {
  std::string idn;
  std::string knobsPath;
  std::string root;
  unsigned short abortPort = 0;
};

void ServiceInit(const ServiceSetup& setup);
// Run after every batch of requests, once their replies are sent: sends
// the service requests that became due. Never inside a call, so a client
// that waits for the request before it reads cannot deadlock with us.
void ServiceAfterRequests();
// Milliseconds until the status byte changes by itself (a delayed reply
// becomes readable); -1 when nothing is pending.
int ServiceNextWakeMs();
// True while the instrument answers create_link and nothing else.
bool ServiceStalled();
// True for a device_read that gets no answer (the lost_reads knob).
bool ServiceLosesRead();
// Notes a call that arrived on the connection `fd` (for idle_close).
void ServiceNoteCall(int fd);
// With idle_close: shuts down the connections silent that long (the RPC
// layer then ends them) and forgets their links; the milliseconds until the
// next may fall idle, or -1.
int ServiceCloseIdle();
// True once after a create_link while core_port=rotate is set: the core
// channel should move to a fresh port.
bool ServiceTakePortRotation();
// Closes the interrupt channel.
void ServiceShutdown();
