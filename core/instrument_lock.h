#pragma once
// One operation per instrument across every process of an installation: a
// run holds "<address>.lock" in the lock directory for as long as it works
// on the instrument. The kernel drops the lock when the holder ends, however
// it ends, so a crashed run never leaves an instrument marked busy.
#include <string>

class InstrumentLock {
 public:
  InstrumentLock() = default;
  ~InstrumentLock();
  InstrumentLock(const InstrumentLock&) = delete;
  InstrumentLock& operator=(const InstrumentLock&) = delete;

  enum class Result { Taken, Busy, Unavailable };
  // Never waits: Busy when another run holds the address, Unavailable when
  // the lock file cannot be opened (the directory is not writable).
  Result Take(const std::string& directory, const std::string& address);
  bool Held() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// Where the runs of tavrinctl keep their locks and logs: "instruments/"
// beside the operation log, with its trailing '/'.
std::string InstrumentRunDirectory();
