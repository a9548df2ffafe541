#pragma once
// Notices are the only way anything reaches the window from another thread.
#include <memory>
#include <string>

enum NoticeCode {
  NoticeDeviceInfo = 1,
  NoticeHostName = 2,
  NoticeLog = 3,
  NoticeDiscoveryDone = 5,
  NoticeOperationDone = 6,
  NoticeProgress = 7,
  NoticeStatus = 8,
  NoticeInstrumentAddress = 10,
};

struct WorkerNotice {
  int code = 0;
  std::string text;  // UTF-8; may be empty
  double value = 0;  // NoticeProgress only
};

// Receives posted notices on any thread and hands them, in order, to the
// thread that renders them. Never blocks on that thread.
class NoticeSink {
 public:
  virtual ~NoticeSink() = default;
  virtual void Deliver(std::unique_ptr<WorkerNotice> notice) = 0;
};
