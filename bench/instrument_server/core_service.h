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
// Closes the interrupt channel.
void ServiceShutdown();
