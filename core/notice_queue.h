#pragma once
// The window's end of the notices: any thread delivers, the window's own
// thread takes them one at a time in the order they were posted.
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

#include "core/worker_notice.h"

class NoticeQueue : public NoticeSink {
 public:
  // Called after each notice is queued, on the posting thread, so that the
  // window can post itself an event. It runs under the queue's lock: it
  // may post, but must not take notices.
  using PostedHook = std::function<void()>;

  void SetPostedHook(PostedHook hook);

  // Queues the notice, or drops it once the queue is closed.
  void Deliver(std::unique_ptr<WorkerNotice> notice) override;

  // The oldest queued notice, or null when none is waiting.
  std::unique_ptr<WorkerNotice> Take();

  // Hands every waiting notice, oldest first, to `handle`. Notices are
  // taken one by one, so a drain nested inside a handler (a modal loop)
  // keeps the order.
  void Drain(const std::function<void(const WorkerNotice&)>& handle);

  // The window is going: frees what is queued and drops every later
  // notice. After Close returns, the hook is never called again.
  void Close();

  bool IsClosed() const;
  std::size_t Size() const;

 private:
  mutable std::mutex mutex_;
  std::deque<std::unique_ptr<WorkerNotice>> queue_;
  PostedHook hook_;
  bool closed_ = false;
};
