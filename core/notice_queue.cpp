#include "core/notice_queue.h"

void NoticeQueue::SetPostedHook(PostedHook hook) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!closed_) hook_ = std::move(hook);
}

void NoticeQueue::Deliver(std::unique_ptr<WorkerNotice> notice) {
  if (!notice) return;
  std::lock_guard<std::mutex> lock(mutex_);
  if (closed_) return;  // freed here: nobody is left to handle it
  queue_.push_back(std::move(notice));
  if (hook_) hook_();
}

std::unique_ptr<WorkerNotice> NoticeQueue::Take() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (queue_.empty()) return nullptr;
  std::unique_ptr<WorkerNotice> notice = std::move(queue_.front());
  queue_.pop_front();
  return notice;
}

void NoticeQueue::Drain(const std::function<void(const WorkerNotice&)>& handle) {
  while (std::unique_ptr<WorkerNotice> notice = Take()) handle(*notice);
}

void NoticeQueue::Close() {
  std::deque<std::unique_ptr<WorkerNotice>> dropped;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    hook_ = nullptr;
    dropped.swap(queue_);
  }
}

bool NoticeQueue::IsClosed() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return closed_;
}

std::size_t NoticeQueue::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return queue_.size();
}
