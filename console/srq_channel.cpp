#include "console/srq_channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "console/query_interrupt.h"
#include "console/query_methods.h"
#include "vxi11_core.h"
#include "vxi11_intr.h"

namespace console {

namespace {

constexpr long kInterruptTickNs = 100000000L;

// Server state; the mutex guards the start handshake only.
pthread_mutex_t g_mutex = PTHREAD_MUTEX_INITIALIZER;
pthread_cond_t g_reportedCond = PTHREAD_COND_INITIALIZER;
bool g_reported = false;
bool g_started = false;
bool g_serving = false;
unsigned short g_port = 0;
std::atomic<SrqCallback> g_callback{nullptr};  // read by the server thread
uint32_t g_hostAddress = 0;

pthread_mutex_t g_semMutex = PTHREAD_MUTEX_INITIALIZER;
sem_t g_srqSemaphore;
bool g_semCreated = false;

void report_locked() {
  g_reported = true;
  pthread_cond_signal(&g_reportedCond);
}

unsigned short port_of(SVCXPRT* transport) {
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(transport->xp_fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) return 0;
  return ntohs(local.sin_port);
}

void* intr_server_thread(void*) {
  pthread_mutex_lock(&g_mutex);
  SVCXPRT* transport = svctcp_create(RPC_ANYSOCK, 0, 0);
  if (transport == nullptr) {
    std::fputs("cannot create tcp service.", stderr);
    report_locked();
    pthread_mutex_unlock(&g_mutex);
    return nullptr;
  }
  g_port = port_of(transport);
  g_serving = g_port != 0;
  report_locked();
  pthread_mutex_unlock(&g_mutex);
  if (!svc_register(transport, DEVICE_INTR, DEVICE_INTR_VERSION, intr_dispatch, 0)) {
    std::fputs("unable to register (DEVICE_INTR, DEVICE_INTR_VERSION, tcp).\n", stderr);
    pthread_mutex_lock(&g_mutex);
    g_serving = false;
    pthread_mutex_unlock(&g_mutex);
    return nullptr;
  }
  svc_run();
  return nullptr;
}

// Signals go to the main thread, where Ctrl-C ends a waiting query.
bool start_thread_without_signals() {
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  pthread_t thread;
  bool ok = pthread_create(&thread, nullptr, intr_server_thread, nullptr) == 0;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (ok) pthread_detach(thread);
  return ok;
}

int rpc_error(InstrumentLink& link, enum clnt_stat status, const Device_Error& result) {
  if (status != RPC_SUCCESS) return -link_lost(link);
  return static_cast<int>(result.error);
}

bool server_has_port() {
  pthread_mutex_lock(&g_mutex);
  bool ok = g_started && g_port != 0;
  pthread_mutex_unlock(&g_mutex);
  return ok;
}

}  // namespace

bool intr_server_start(SrqCallback callback) {
  pthread_mutex_lock(&g_mutex);
  g_callback = callback;
  // libtirpc keeps one process-wide set of service sockets: a second svc_run
  // thread would race the first for the same requests, so one server serves
  // the interrupt channels of every link.
  if (g_serving && g_port != 0) {
    pthread_mutex_unlock(&g_mutex);
    return true;
  }
  g_reported = false;
  g_port = 0;
  if (!start_thread_without_signals()) {
    pthread_mutex_unlock(&g_mutex);
    return false;
  }
  g_started = true;
  while (!g_reported) pthread_cond_wait(&g_reportedCond, &g_mutex);
  bool ok = g_port != 0;
  pthread_mutex_unlock(&g_mutex);
  return ok;
}

void intr_dispatch(struct svc_req* request, SVCXPRT* transport) {
  switch (request->rq_proc) {
    case NULLPROC:
      svc_sendreply(transport, reinterpret_cast<xdrproc_t>(xdr_void), nullptr);
      return;
    case device_intr_srq: {
      Device_SrqParms args{};
      if (!svc_getargs(transport, reinterpret_cast<xdrproc_t>(xdr_Device_SrqParms),
                       reinterpret_cast<caddr_t>(&args))) {
        svcerr_decode(transport);
        return;
      }
      SrqCallback callback = g_callback;
      if (callback != nullptr) callback(args.handle.handle_val, args.handle.handle_len);
      if (!svc_sendreply(transport, reinterpret_cast<xdrproc_t>(xdr_void), nullptr))
        svcerr_systemerr(transport);
      if (!svc_freeargs(transport, reinterpret_cast<xdrproc_t>(xdr_Device_SrqParms),
                        reinterpret_cast<caddr_t>(&args))) {
        std::fputs("unable to free arguments\n", stderr);
        std::exit(1);
      }
      return;
    }
    default:
      svcerr_noproc(transport);
  }
}

int link_create_intr_channel(InstrumentLink& link, const char* host) {
  if (link.core == nullptr || link.intrChannel) return 0;
  if (!server_has_port()) return 0;
  g_hostAddress = ntohl(inet_addr(host));
  Device_RemoteFunc func{};
  func.hostAddr = g_hostAddress;
  func.hostPort = g_port;
  func.progNum = DEVICE_INTR;
  func.progVers = DEVICE_INTR_VERSION;
  func.progFamily = DEVICE_TCP;
  Device_Error result{};
  int error = rpc_error(link, create_intr_chan_1(&func, &result, link.core), result);
  if (error != 0) return -error;
  link.intrChannel = true;
  return 1;
}

int link_enable_srq(InstrumentLink& link, bool enable, const char* handle) {
  if (link.core == nullptr || !link.intrChannel) return 0;
  if (!server_has_port()) return 0;
  Device_EnableSrqParms parms{};
  parms.lid = link.lid;
  parms.enable = enable ? TRUE : FALSE;
  std::string bytes = enable && handle != nullptr ? handle : "";
  parms.handle.handle_len = static_cast<u_int>(bytes.size());
  parms.handle.handle_val = const_cast<char*>(bytes.data());
  Device_Error result{};
  int error = rpc_error(link, device_enable_srq_1(&parms, &result, link.core), result);
  return error != 0 ? -error : 1;
}

std::string srq_handle_text() {
  return std::to_string(g_hostAddress) + " " + std::to_string(g_port);
}

bool srq_semaphore_create() {
  pthread_mutex_lock(&g_semMutex);
  bool ok = true;
  if (g_semCreated) {
    while (sem_trywait(&g_srqSemaphore) == 0) {
    }
  } else {
    ok = sem_init(&g_srqSemaphore, 0, 0) == 0;
    g_semCreated = ok;
  }
  pthread_mutex_unlock(&g_semMutex);
  return ok;
}

void srq_semaphore_destroy() {
  pthread_mutex_lock(&g_semMutex);
  if (g_semCreated) sem_destroy(&g_srqSemaphore);
  g_semCreated = false;
  pthread_mutex_unlock(&g_semMutex);
}

void on_service_request(const char*, unsigned) {
  pthread_mutex_lock(&g_semMutex);
  if (g_semCreated) sem_post(&g_srqSemaphore);
  pthread_mutex_unlock(&g_semMutex);
}

bool srq_wait() {
  if (!g_semCreated) return false;
  for (;;) {
    // A Ctrl-C that came while the query's write was in flight found no wait
    // to cut short, and one that comes between this check and the wait below
    // interrupts nothing: the wait wakes every tick to look again.
    if (query_interrupted()) return false;
    timespec tick;
    clock_gettime(CLOCK_MONOTONIC, &tick);
    tick.tv_nsec += kInterruptTickNs;
    if (tick.tv_nsec >= 1000000000L) {
      tick.tv_sec += 1;
      tick.tv_nsec -= 1000000000L;
    }
    if (sem_clockwait(&g_srqSemaphore, CLOCK_MONOTONIC, &tick) == 0) return true;
  }
}

}  // namespace console
