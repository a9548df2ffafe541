#pragma once
// Peers a discovery may meet besides the bench's instruments, run inside
// the operator's namespace.
#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <thread>
#include <vector>

// A host that sees the discovery's broadcasts (in the operator's own
// namespace they loop back) and answers each source port, every 50 ms, with
// junk: bytes that are no RPC message, a datagram too short to be one, and
// another call's reply. Given a port, it adds replies to the very call that
// name that port of its own. It sends only to bench addresses, and gives up
// after 30 s.
class JunkSender {
 public:
  explicit JunkSender(unsigned short lookAlikePort = 0);
  ~JunkSender();
  JunkSender(const JunkSender&) = delete;
  JunkSender& operator=(const JunkSender&) = delete;
  // How many broadcasts it has answered.
  int Targets() const { return targets_; }

  bool ok = false;

 private:
  struct Target {
    sockaddr_in to;
    std::uint32_t xid;
  };
  void Send(const Target& target);
  void Serve();

  const unsigned short lookAlikePort_;
  int fd_ = -1;
  std::atomic<bool> done_{false};
  std::atomic<int> targets_{0};
  std::thread thread_;
};

// A slow way to i1: each connection to `port` (on every operator address)
// is relayed to i1's core channel, every piece the client sends held back
// 300 ms, so that an identification through it takes about a second.
class SlowRelay {
 public:
  SlowRelay();
  ~SlowRelay();
  SlowRelay(const SlowRelay&) = delete;
  SlowRelay& operator=(const SlowRelay&) = delete;

  unsigned short port = 0;  // 0 when the relay could not start

 private:
  void Accept();
  void Relay(int client);

  sockaddr_in i1_{};
  int listen_ = -1;
  std::atomic<bool> done_{false};
  std::thread accepting_;
  std::vector<std::thread> relays_;
};
