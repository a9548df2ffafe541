// tv_instrument_server: the VXI-11 side of a simulated instrument. Serves
// the core channel (registered with the local portmapper) and the abort
// channel, one call at a time, until SIGTERM.
#include <poll.h>
#include <signal.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <rpc/rpc.h>
#include <rpc/pmap_clnt.h>

#include "core_service.h"
#include "vxi11_core.h"

extern "C" void device_core_1(struct svc_req* request, SVCXPRT* transport);
extern "C" void device_async_1(struct svc_req* request, SVCXPRT* transport);

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnStopSignal(int) { g_stop = 1; }

// A stalled instrument reads every call and answers none but create_link
// (and the null procedure, which the portmapper's clients may ping). A lost
// read is read and dropped likewise.
void CoreChannel(struct svc_req* request, SVCXPRT* transport) {
  ServiceNoteCall(transport->xp_fd);
  if (request->rq_proc != create_link && request->rq_proc != NULLPROC && ServiceStalled()) return;
  if (request->rq_proc == device_read && ServiceLosesRead()) return;
  device_core_1(request, transport);
}

void AbortChannel(struct svc_req* request, SVCXPRT* transport) {
  if (request->rq_proc != NULLPROC && ServiceStalled()) return;
  device_async_1(request, transport);
}

const char* const kUsage =
    "usage: tv_instrument_server [--idn TEXT] [--knobs PATH] [--root DIR]\n";

bool ParseOptions(int argc, char** argv, ServiceSetup& setup) {
  setup.idn = "Tavrin,TVS-0000,TV00000000,0.0.0";
  setup.root = "/";
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    if (i + 1 >= argc) return false;
    if (option == "--idn") setup.idn = argv[++i];
    else if (option == "--knobs") setup.knobsPath = argv[++i];
    else if (option == "--root") setup.root = argv[++i];
    else return false;
  }
  return true;
}

// SIGTERM and SIGINT are blocked except while waiting, so that a stop
// request is never lost between the check and the wait.
sigset_t InstallStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  sigset_t blocked;
  sigset_t previous;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGINT);
  sigprocmask(SIG_BLOCK, &blocked, &previous);
  sigdelset(&previous, SIGTERM);
  sigdelset(&previous, SIGINT);
  return previous;
}

// The core channel on a fresh port, told to the portmapper; the old
// listener goes, the connections already made stay.
SVCXPRT* MoveCorePort(SVCXPRT* current) {
  SVCXPRT* fresh = svctcp_create(RPC_ANYSOCK, 0, 0);
  if (fresh == nullptr) return current;
  pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
  if (!svc_register(fresh, DEVICE_CORE, DEVICE_CORE_VERSION, CoreChannel, IPPROTO_TCP)) {
    std::fputs("tv_instrument_server: cannot move the core channel\n", stderr);
    svc_destroy(fresh);
    pmap_set(DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, current->xp_port);
    return current;
  }
  svc_destroy(current);
  return fresh;
}

int Earliest(int a, int b) {
  if (a < 0) return b;
  if (b < 0) return a;
  return a < b ? a : b;
}

void Serve(const sigset_t& waitMask, SVCXPRT* coreTransport) {
  std::vector<pollfd> fds;
  while (g_stop == 0) {
    fds.assign(svc_pollfd, svc_pollfd + svc_max_pollfd);
    for (pollfd& p : fds) p.revents = 0;
    int wakeMs = Earliest(ServiceNextWakeMs(), ServiceCloseIdle());
    timespec wake{wakeMs / 1000, (wakeMs % 1000) * 1000000L};
    int ready = ppoll(fds.data(), fds.size(), wakeMs < 0 ? nullptr : &wake, &waitMask);
    if (ready < 0) {
      if (errno == EINTR) continue;
      std::perror("tv_instrument_server: poll");
      return;
    }
    if (ready > 0) svc_getreq_poll(fds.data(), ready);
    ServiceAfterRequests();
    if (ServiceTakePortRotation()) coreTransport = MoveCorePort(coreTransport);
  }
}

}  // namespace

int main(int argc, char** argv) {
  ServiceSetup setup;
  if (!ParseOptions(argc, argv, setup)) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  sigset_t waitMask = InstallStopSignals();
  SVCXPRT* abortTransport = svctcp_create(RPC_ANYSOCK, 0, 0);
  SVCXPRT* coreTransport = svctcp_create(RPC_ANYSOCK, 0, 0);
  if (abortTransport == nullptr || coreTransport == nullptr) {
    std::fputs("tv_instrument_server: cannot create tcp service\n", stderr);
    return 1;
  }
  setup.abortPort = abortTransport->xp_port;
  ServiceInit(setup);
  // The abort channel's port travels in create_link's answer only.
  if (!svc_register(abortTransport, DEVICE_ASYNC, DEVICE_ASYNC_VERSION, AbortChannel, 0)) {
    std::fputs("tv_instrument_server: unable to register the abort channel\n", stderr);
    return 1;
  }
  pmap_unset(DEVICE_CORE, DEVICE_CORE_VERSION);
  if (!svc_register(coreTransport, DEVICE_CORE, DEVICE_CORE_VERSION, CoreChannel, IPPROTO_TCP)) {
    std::fputs("tv_instrument_server: unable to register (DEVICE_CORE, DEVICE_CORE_VERSION, tcp)\n",
               stderr);
    return 1;
  }
  Serve(waitMask, coreTransport);
  svc_unregister(DEVICE_CORE, DEVICE_CORE_VERSION);
  svc_unregister(DEVICE_ASYNC, DEVICE_ASYNC_VERSION);
  ServiceShutdown();
  return 0;
}
