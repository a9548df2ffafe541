#pragma once
// A bounded set of threads that identify discovery responders side by
// side, each within a time limit. A stop drops what waits and lets what
// runs finish within that limit.
#include <netinet/in.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "instrument/responder_identification.h"

class IdentificationPool {
 public:
  // What the owner holds for one responder; `done`, `dropped` and `idn`
  // are read under the pool's guard through Finished().
  struct Job {
    sockaddr_in core{};
    bool done = false;
    bool dropped = false;  // ended without being started
    std::string idn;
  };

  IdentificationPool(std::size_t threads, std::chrono::milliseconds limit);
  // Cuts what runs, drops what waits, and joins the threads.
  ~IdentificationPool();
  IdentificationPool(const IdentificationPool&) = delete;
  IdentificationPool& operator=(const IdentificationPool&) = delete;

  // Queued in submission order; a thread is added while fewer than the
  // bound run and work waits.
  std::shared_ptr<Job> Submit(const sockaddr_in& core);
  // True when the job has ended; then `idn` holds its result, or
  // `dropped` says it never ran.
  bool Finished(const Job& job) const;
  // Cuts every identification running longer than the limit. The owner
  // calls it now and then: a responder that answers every call slowly
  // would otherwise stretch one identification past it.
  void CutOverdue();
  // Drops what waits and takes no more work; what runs goes on to its
  // end, each within the limit.
  void DropWaiting();
  // Safe from any thread: ends what runs at once and drops what waits.
  void CutAll();

 private:
  struct Worker {
    std::thread thread;
    CutPoint cut;
    bool busy = false;
    std::chrono::steady_clock::time_point started;
  };

  void Serve(Worker& worker);
  void DropWaitingLocked();

  const std::size_t bound_;
  const std::chrono::milliseconds limit_;
  mutable std::mutex mutex_;
  std::condition_variable work_;
  std::deque<std::shared_ptr<Job>> queue_;
  std::vector<std::unique_ptr<Worker>> workers_;
  std::size_t idle_ = 0;
  bool closing_ = false;
};
