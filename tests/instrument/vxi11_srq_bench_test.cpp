// The bench instrument's side channels: service requests over an
// interrupt channel served here, and the abort channel of a link.
#include <arpa/inet.h>
#include <poll.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "instrument/vxi11_user.h"
#include "tests/support/bench_env.h"
#include "vxi11_intr.h"

namespace {

constexpr rpcprog_t kInterruptProgram = 0x0607B1;
const char* const kOperatorAddress = "198.18.0.1";  // as i1 reaches us

// Handles received by the interrupt server.
std::mutex g_mutex;
std::condition_variable g_arrived;
std::vector<std::string> g_handles;

void InterruptDispatch(svc_req* request, SVCXPRT* transport) {
  if (request->rq_proc == NULLPROC) {
    svc_sendreply(transport, reinterpret_cast<xdrproc_t>(xdr_void), nullptr);
    return;
  }
  if (request->rq_proc != device_intr_srq) {
    svcerr_noproc(transport);
    return;
  }
  Device_SrqParms parms{};
  if (!svc_getargs(transport, reinterpret_cast<xdrproc_t>(xdr_Device_SrqParms),
                   reinterpret_cast<caddr_t>(&parms))) {
    svcerr_decode(transport);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(g_mutex);
    g_handles.emplace_back(parms.handle.handle_val, parms.handle.handle_len);
  }
  g_arrived.notify_all();
  svc_sendreply(transport, reinterpret_cast<xdrproc_t>(xdr_void), nullptr);
  svc_freeargs(transport, reinterpret_cast<xdrproc_t>(xdr_Device_SrqParms),
               reinterpret_cast<caddr_t>(&parms));
}

// An interrupt-channel server on a thread of its own, until destroyed.
class InterruptServer {
 public:
  InterruptServer() {
    transport_ = svctcp_create(RPC_ANYSOCK, 0, 0);
    if (transport_ == nullptr) return;
    svc_register(transport_, kInterruptProgram, 1, InterruptDispatch, 0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~InterruptServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (transport_ != nullptr) {
      svc_unreg(kInterruptProgram, 1);
      svc_destroy(transport_);
    }
  }
  unsigned short Port() const { return transport_ != nullptr ? transport_->xp_port : 0; }

 private:
  void Serve() {
    while (!stop_) {
      std::vector<pollfd> fds(svc_pollfd, svc_pollfd + svc_max_pollfd);
      int ready = poll(fds.data(), fds.size(), 50);
      if (ready > 0) svc_getreq_poll(fds.data(), ready);
    }
  }
  SVCXPRT* transport_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
};

// Waits for the n-th service request; false when it does not come.
bool AwaitRequests(std::size_t n) {
  std::unique_lock<std::mutex> lock(g_mutex);
  return g_arrived.wait_for(lock, std::chrono::seconds(5), [n] { return g_handles.size() >= n; });
}

TEST(Vxi11SideChannelsBench, ServiceRequestsComeBeforeTheReplyIsRead) {
  REQUIRE_BENCH();
  InterruptServer server;
  ASSERT_NE(server.Port(), 0);
  vxi11_reset_clients();
  Vxi11Link link;
  ASSERT_EQ(vxi11_open_device(bench::kI1, &link), 0);

  Device_RemoteFunc channel{};
  channel.hostAddr = ntohl(inet_addr(kOperatorAddress));
  channel.hostPort = server.Port();
  channel.progNum = kInterruptProgram;
  channel.progVers = 1;
  channel.progFamily = DEVICE_TCP;
  Device_Error error{};
  ASSERT_EQ(create_intr_chan_1(&channel, &error, link.client), RPC_SUCCESS);
  ASSERT_EQ(error.error, 0);
  Device_EnableSrqParms enable{};
  enable.lid = link.link->lid;
  enable.enable = 1;
  char handle[] = "3323068417 4242";
  enable.handle.handle_len = sizeof handle - 1;
  enable.handle.handle_val = handle;
  ASSERT_EQ(device_enable_srq_1(&enable, &error, link.client), RPC_SUCCESS);
  ASSERT_EQ(error.error, 0);
  g_handles.clear();

  // MAV enabled: each query's reply raises a request before it is read.
  ASSERT_EQ(vxi11_send(&link, "*CLS;*SRE 16"), 0);
  char reply[256] = {0};
  for (std::size_t i = 1; i <= 2; ++i) {
    ASSERT_EQ(vxi11_send(&link, "*IDN?"), 0);
    ASSERT_TRUE(AwaitRequests(i)) << "no service request for query " << i;
    EXPECT_GT(vxi11_receive(&link, reply, sizeof reply, 1000), 0);
  }
  EXPECT_EQ(g_handles[0], handle);
  // ESB enabled: an unknown command raises one.
  ASSERT_EQ(vxi11_send(&link, "*SRE 32"), 0);
  ASSERT_EQ(vxi11_send(&link, ":NO:SUCH:COMMAND"), 0);
  EXPECT_TRUE(AwaitRequests(3));
  EXPECT_EQ(vxi11_send_and_receive(&link, "*ESR?", reply, sizeof reply, 1000), 3);
  EXPECT_EQ(std::string(reply, 3), "32\n");

  ASSERT_EQ(vxi11_send(&link, "*SRE 0"), 0);
  ASSERT_EQ(destroy_intr_chan_1(nullptr, &error, link.client), RPC_SUCCESS);
  EXPECT_EQ(error.error, 0);
  EXPECT_EQ(vxi11_close_device(bench::kI1, &link), 0);
}

TEST(Vxi11SideChannelsBench, StatusByteAndAbortChannel) {
  REQUIRE_BENCH();
  vxi11_reset_clients();
  Vxi11Link link;
  ASSERT_EQ(vxi11_open_device(bench::kI1, &link), 0);
  ASSERT_EQ(vxi11_send(&link, "*CLS;*IDN?"), 0);
  Device_GenericParms generic{};
  generic.lid = link.link->lid;
  generic.io_timeout = 1000;
  generic.lock_timeout = 1000;
  Device_ReadStbResp stb{};
  ASSERT_EQ(device_readstb_1(&generic, &stb, link.client), RPC_SUCCESS);
  EXPECT_EQ(stb.error, 0);
  EXPECT_EQ(stb.stb, 0x10);  // a reply waits

  sockaddr_in abortAddress{};
  abortAddress.sin_family = AF_INET;
  abortAddress.sin_port = htons(link.link->abortPort);
  abortAddress.sin_addr.s_addr = inet_addr(bench::kI1);
  int socket = RPC_ANYSOCK;
  CLIENT* abortClient = clnttcp_create(&abortAddress, 0x0607B0, 1, &socket, 0, 0);
  ASSERT_NE(abortClient, nullptr);
  Device_Link lid = link.link->lid;
  Device_Error error{};
  EXPECT_EQ(device_abort_1(&lid, &error, abortClient), RPC_SUCCESS);
  EXPECT_EQ(error.error, 0);
  clnt_destroy(abortClient);
  EXPECT_EQ(vxi11_close_device(bench::kI1, &link), 0);
}

}  // namespace
