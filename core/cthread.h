#pragma once
// The worker: one long-lived thread that runs the requested operation.
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

class CThread {
 public:
  virtual ~CThread();
  void Start();
  void Wake();
  void Stop();  // never from the worker itself

 protected:
  // The thread body. The base waits until Stop.
  virtual void Run();
  // Waits for the next Wake; false when Stop was requested. A spurious
  // wake-up does not return, and a Wake before the wait is not lost.
  bool WaitForRequest();

 private:
  boost::mutex mutex_;
  boost::condition_variable wakeup_;
  boost::thread_group threads_;
  bool exitRequested_ = false;
  bool requestPending_ = false;
};
