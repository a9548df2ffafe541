#pragma once
// Time for the waits that last minutes (the reboot wait), behind an
// interface so that tests can run them in milliseconds.
#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;
  virtual std::uint64_t NowMs() = 0;        // monotonic
  virtual void SleepMs(std::uint32_t ms) = 0;
};

// The monotonic clock and a real sleep.
Clock& SystemClock();
