#include "instrument/identification_pool.h"

IdentificationPool::IdentificationPool(std::size_t threads, std::chrono::milliseconds limit)
    : bound_(threads > 0 ? threads : 1), limit_(limit) {}

IdentificationPool::~IdentificationPool() {
  CutAll();
  {
    std::lock_guard<std::mutex> guard(mutex_);
    closing_ = true;
  }
  work_.notify_all();
  for (auto& worker : workers_) worker->thread.join();
}

std::shared_ptr<IdentificationPool::Job> IdentificationPool::Submit(const sockaddr_in& core) {
  auto job = std::make_shared<Job>();
  job->core = core;
  std::lock_guard<std::mutex> guard(mutex_);
  if (closing_) {
    job->done = true;
    job->dropped = true;
    return job;
  }
  queue_.push_back(job);
  if (idle_ < queue_.size() && workers_.size() < bound_) {
    workers_.push_back(std::make_unique<Worker>());
    Worker& worker = *workers_.back();
    worker.thread = std::thread([this, &worker] { Serve(worker); });
  } else {
    work_.notify_one();
  }
  return job;
}

bool IdentificationPool::Finished(const Job& job) const {
  std::lock_guard<std::mutex> guard(mutex_);
  return job.done;
}

void IdentificationPool::CutOverdue() {
  const auto now = std::chrono::steady_clock::now();
  std::lock_guard<std::mutex> guard(mutex_);
  for (auto& worker : workers_) {
    if (worker->busy && now - worker->started > limit_) worker->cut.Cut();
  }
}

void IdentificationPool::DropWaiting() {
  std::lock_guard<std::mutex> guard(mutex_);
  DropWaitingLocked();
}

void IdentificationPool::CutAll() {
  std::lock_guard<std::mutex> guard(mutex_);
  DropWaitingLocked();
  for (auto& worker : workers_) {
    if (worker->busy) worker->cut.Cut();
  }
}

void IdentificationPool::DropWaitingLocked() {
  closing_ = true;
  for (auto& job : queue_) {
    job->done = true;
    job->dropped = true;
  }
  queue_.clear();
  work_.notify_all();
}

void IdentificationPool::Serve(Worker& worker) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    ++idle_;
    work_.wait(lock, [this] { return closing_ || !queue_.empty(); });
    --idle_;
    if (queue_.empty()) return;  // closing
    std::shared_ptr<Job> job = queue_.front();
    queue_.pop_front();
    worker.cut.Reset();
    worker.busy = true;
    worker.started = std::chrono::steady_clock::now();
    lock.unlock();
    std::string idn = identify_responder(job->core, limit_, worker.cut);
    lock.lock();
    worker.busy = false;
    job->idn = std::move(idn);
    job->done = true;
  }
}
