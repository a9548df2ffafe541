// The SSH channel against peers on a loopback address of this process's
// own: refused, silent, closing and saturated listeners on port 22.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "instrument/ssh_channel.h"
#include "tests/instrument/ssh_test_env.h"

namespace {

using namespace std::chrono_literals;

// Far below what an uncancelled wait would take (forever, or the 20 s
// connect bound), far above scheduling noise.
constexpr auto kPromptReturn = std::chrono::seconds(5);

std::string PrivateLoopbackAddress() {
  unsigned pid = static_cast<unsigned>(getpid());
  unsigned last = pid & 0xff;
  return "127.77." + std::to_string((pid >> 8) & 0xff) + "." + std::to_string(last == 0 ? 1 : last);
}

class LoopbackPeer {
 public:
  ~LoopbackPeer() {
    if (filler_ >= 0) close(filler_);
    if (listener_ >= 0) close(listener_);
  }
  bool Listen(int backlog) {
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address = Address();
    return bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
           listen(listener_, backlog) == 0;
  }
  // Takes the one place of a zero backlog, so that further SYNs are dropped.
  bool FillBacklog() {
    filler_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Address();
    return connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  }
  bool HasPendingConnection() const {
    pollfd fd = {listener_, POLLIN, 0};
    return poll(&fd, 1, 0) == 1;
  }
  // Accepts the next connection and closes it at once.
  void AcceptAndClose() {
    int peer = accept(listener_, nullptr, nullptr);
    if (peer >= 0) close(peer);
  }

  const std::string host = PrivateLoopbackAddress();

 private:
  sockaddr_in Address() const {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(22);
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    return address;
  }
  int listener_ = -1;
  int filler_ = -1;
};

#define REQUIRE_LISTENER(peer, backlog)                                     \
  do {                                                                      \
    if (!(peer).Listen(backlog))                                            \
      GTEST_SKIP() << "cannot listen on port 22 of " << (peer).host;        \
  } while (0)

using ssh_test::RunAsRoot;

// A call that must end soon after it is cancelled, and fail.
template <typename Call>
void ExpectCancelledPromptly(Call call) {
  ssh_test::Timed timed = ssh_test::CancelAfter(200ms, call);
  EXPECT_FALSE(timed.result);
  EXPECT_LT(timed.elapsed, kPromptReturn);
}

TEST(SshLoopback, RefusedConnectionFailsForEveryKindOfCall) {
  LoopbackPeer nobody;  // nothing listens on its address
  char output[256] = {};
  int matched = 7;
  EXPECT_FALSE(RunAsRoot(nobody.host, "kdrun64", "pwd", nullptr, nullptr, output, 255));
  EXPECT_FALSE(RunAsRoot(nobody.host, "kdrun64", "pwd", "yes\n", &matched));
  EXPECT_EQ(matched, 0);
  EXPECT_FALSE(RunAsRoot(nobody.host, "kdrun64", "reboot"));
  EXPECT_EQ(output[0], '\0');
}

TEST(SshLoopback, PeerClosingBeforeItsBannerFails) {
  LoopbackPeer peer;
  REQUIRE_LISTENER(peer, 4);
  std::thread server([&] { peer.AcceptAndClose(); });
  char output[256] = {};
  EXPECT_FALSE(RunAsRoot(peer.host, "kdrun64", "pwd", nullptr, nullptr, output, 255));
  server.join();
}

TEST(SshLoopback, CancelEndsTheWaitForASilentPeer) {
  LoopbackPeer peer;
  REQUIRE_LISTENER(peer, 4);  // the kernel accepts; nobody ever speaks
  char output[256] = {};
  ExpectCancelledPromptly(
      [&] { return RunAsRoot(peer.host, "kdrun64", "pwd", nullptr, nullptr, output, 255); });
  EXPECT_EQ(output[0], '\0');
  EXPECT_FALSE(ssh_cancel()) << "the event must not outlive its call";
}

TEST(SshLoopback, CancelEndsAConnectThatGetsNoAnswer) {
  LoopbackPeer peer;
  REQUIRE_LISTENER(peer, 0);
  ASSERT_TRUE(peer.FillBacklog());
  ExpectCancelledPromptly([&] { return RunAsRoot(peer.host, "kdrun64", "reboot"); });
}

TEST(SshLoopback, CancelOfACopyFails) {
  LoopbackPeer peer;
  REQUIRE_LISTENER(peer, 4);
  ssh_test::TempDir dir;
  const std::string file = dir.path() + "/package.kfw";
  std::ofstream{file};  // empty
  const std::string target = "root@" + peer.host + ":/tmp/";
  ExpectCancelledPromptly(
      [&] { return scp_send_file("root", "kdrun64", file.c_str(), target.c_str()); });
}

TEST(SshLoopback, CopyRefusesBadSourcesAndTargetsWithoutConnecting) {
  LoopbackPeer peer;
  REQUIRE_LISTENER(peer, 4);
  ssh_test::TempDir dir;
  const std::string file = dir.path() + "/package.kfw";
  std::ofstream(file) << "data\n";
  const std::string fifo = dir.path() + "/fifo";  // no writer: opening it must not wait
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string target = peer.host + ":/tmp/";

  EXPECT_FALSE(scp_send_file("root", "kdrun64", dir.path().c_str(), target.c_str()));
  EXPECT_FALSE(scp_send_file("root", "kdrun64", (file + ".missing").c_str(), target.c_str()));
  EXPECT_FALSE(scp_send_file("root", "kdrun64", file.c_str(), "/tmp/no-host"));
  EXPECT_FALSE(scp_send_file("root", "kdrun64", fifo.c_str(), target.c_str()));
  EXPECT_FALSE(peer.HasPendingConnection());
}

TEST(SshLoopback, CancelsRacingTheEndOfCallsAreHarmless) {
  LoopbackPeer nobody;
  std::atomic<bool> stop{false};
  std::thread canceller([&] {
    while (!stop) ssh_cancel();
  });
  for (int i = 0; i < 200; ++i) EXPECT_FALSE(RunAsRoot(nobody.host, "kdrun64", "pwd"));
  stop = true;
  canceller.join();
  EXPECT_FALSE(ssh_cancel());
}

}  // namespace
