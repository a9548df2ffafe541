#pragma once
// One portmapper broadcast from one local address: asks every host of that
// network for the VXI-11 core channel's TCP port and reads the replies.
#include <netinet/in.h>

#include <cstdint>
#include <string>
#include <vector>

class BroadcastPass {
 public:
  BroadcastPass() = default;
  ~BroadcastPass();
  BroadcastPass(const BroadcastPass&) = delete;
  BroadcastPass& operator=(const BroadcastPass&) = delete;

  // Opens the socket, binds it to `localAddress` and sends the request;
  // false when the pass cannot run (the reason written to standard error
  // where the system gave one).
  bool Start(const std::string& localAddress);
  int fd() const { return fd_; }
  // Reads every datagram waiting and appends each responder that reports
  // a port: its address, with that port. Anything else that arrived (junk,
  // another call's reply) is read and dropped. Returns the number of
  // responders appended, -1 when receiving failed (the pass then ends).
  int ReadReplies(std::vector<sockaddr_in>& responders);
  void Close();

 private:
  int fd_ = -1;
  std::uint32_t xid_ = 0;
};
