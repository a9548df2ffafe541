// The interrupt-channel server, called over loopback as an instrument would.
#include "console/srq_channel.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "console/query_interrupt.h"
#include "console/query_methods.h"
#include "vxi11_intr.h"

namespace console {
namespace {

std::vector<std::string> g_handles;

void RecordHandle(const char* handle, unsigned length) { g_handles.emplace_back(handle, length); }

unsigned short ServerPort() {
  std::string handle = srq_handle_text();
  return static_cast<unsigned short>(std::atoi(handle.c_str() + handle.find(' ') + 1));
}

CLIENT* ConnectToServer(unsigned short port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(port);
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int sock = RPC_ANYSOCK;
  return clnttcp_create(&address, DEVICE_INTR, DEVICE_INTR_VERSION, &sock, 0, 0);
}

enum clnt_stat SendSrq(CLIENT* client, const char* handle) {
  Device_SrqParms parms{};
  parms.handle.handle_len = static_cast<u_int>(std::string(handle).size());
  parms.handle.handle_val = const_cast<char*>(handle);
  return device_intr_srq_1(&parms, nullptr, client);
}

TEST(SrqChannel, ServerAnswersNullSrqAndRefusesOtherProcedures) {
  ASSERT_TRUE(intr_server_start(RecordHandle));
  unsigned short port = ServerPort();
  ASSERT_NE(port, 0);
  CLIENT* client = ConnectToServer(port);
  ASSERT_NE(client, nullptr);
  timeval timeout{5, 0};
  EXPECT_EQ(clnt_call(client, NULLPROC, reinterpret_cast<xdrproc_t>(xdr_void), nullptr,
                      reinterpret_cast<xdrproc_t>(xdr_void), nullptr, timeout),
            RPC_SUCCESS);
  EXPECT_EQ(clnt_call(client, 31, reinterpret_cast<xdrproc_t>(xdr_void), nullptr,
                      reinterpret_cast<xdrproc_t>(xdr_void), nullptr, timeout),
            RPC_PROCUNAVAIL);
  EXPECT_EQ(SendSrq(client, "2130706433 1022"), RPC_SUCCESS);
  EXPECT_EQ(g_handles, std::vector<std::string>{"2130706433 1022"});
  clnt_destroy(client);

  // A later start keeps the one server and its port; the callback changes.
  EXPECT_TRUE(intr_server_start(on_service_request));
  EXPECT_EQ(ServerPort(), port);
}

TEST(SrqChannel, EarlyRequestsEachLetOneWaitThrough) {
  ASSERT_TRUE(intr_server_start(on_service_request));
  ASSERT_TRUE(srq_semaphore_create());
  CLIENT* client = ConnectToServer(ServerPort());
  ASSERT_NE(client, nullptr);
  EXPECT_EQ(SendSrq(client, "a"), RPC_SUCCESS);
  EXPECT_EQ(SendSrq(client, "b"), RPC_SUCCESS);
  EXPECT_TRUE(srq_wait());
  EXPECT_TRUE(srq_wait());

  // A new connection's semaphore starts again at 0.
  EXPECT_EQ(SendSrq(client, "c"), RPC_SUCCESS);
  ASSERT_TRUE(srq_semaphore_create());
  pthread_t waiter = pthread_self();
  pthread_t interrupter;
  pthread_create(
      &interrupter, nullptr,
      [](void* target) -> void* {
        usleep(200000);
        pthread_kill(*static_cast<pthread_t*>(target), SIGINT);
        return nullptr;
      },
      &waiter);
  {
    QueryInterruptScope scope;
    EXPECT_FALSE(srq_wait());  // only Ctrl-C ends this wait
    EXPECT_TRUE(query_interrupted());
  }
  pthread_join(interrupter, nullptr);
  clnt_destroy(client);
  srq_semaphore_destroy();
}

TEST(SrqChannel, CtrlCDuringTheWriteEndsTheWaitThatFollows) {
  ASSERT_TRUE(srq_semaphore_create());
  // Should the wait miss the Ctrl-C, a request 10 s later ends it.
  pthread_t rescuer;
  pthread_create(
      &rescuer, nullptr,
      [](void*) -> void* {
        sleep(10);
        on_service_request("", 0);
        return nullptr;
      },
      nullptr);
  {
    QueryInterruptScope scope;
    raise(SIGINT);  // the write was still in flight: nothing waited yet
    EXPECT_FALSE(srq_wait());
  }
  pthread_cancel(rescuer);
  pthread_join(rescuer, nullptr);
  srq_semaphore_destroy();
}

}  // namespace
}  // namespace console
