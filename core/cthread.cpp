#include "core/cthread.h"

CThread::~CThread() { Stop(); }

void CThread::Start() { threads_.create_thread([this] { Run(); }); }

void CThread::Wake() {
  boost::lock_guard<boost::mutex> lock(mutex_);
  // Remembered until the worker takes it, so a request made before the
  // worker reaches its wait is not lost.
  requestPending_ = true;
  wakeup_.notify_one();
}

void CThread::Stop() {
  {
    boost::lock_guard<boost::mutex> lock(mutex_);
    exitRequested_ = true;
    wakeup_.notify_all();
  }
  // Joining itself would never return.
  if (threads_.is_this_thread_in()) return;
  threads_.join_all();
}

void CThread::Run() {
  while (WaitForRequest()) {
  }
}

bool CThread::WaitForRequest() {
  boost::unique_lock<boost::mutex> lock(mutex_);
  while (!requestPending_ && !exitRequested_) wakeup_.wait(lock);
  if (exitRequested_) return false;
  requestPending_ = false;
  return true;
}
