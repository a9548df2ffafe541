#pragma once
// Asks one discovery responder "*IDN?" over its VXI-11 core channel, on a
// connection of its own (not the shared client table), within a time limit
// and cut short at once when another thread asks.
#include <netinet/in.h>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

// Where another thread can cut an identification short: the identifying
// thread attaches its socket, and a cut shuts that socket down, which ends
// any wait on it (connect, RPC call) at once.
class CutPoint {
 public:
  // False when the point was cut already: the caller gives up.
  bool Attach(int fd);
  // Called before the socket is closed, so that a cut never reaches a
  // number the system has handed out again.
  void Detach();
  void Cut();
  bool IsCut() const;
  // Ready for the next identification.
  void Reset();

 private:
  mutable std::mutex mutex_;
  int fd_ = -1;
  bool cut_ = false;
};

// The "*IDN?" reply of the responder whose core channel listens at `core`,
// without its trailing newline and cut to 255 bytes; empty when it did not
// answer within `limit`, failed, or was cut.
std::string identify_responder(const sockaddr_in& core, std::chrono::milliseconds limit,
                               CutPoint& cut);
