#include "instrument/cancel_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>

namespace {

std::mutex g_eventMutex;
int g_eventFd = -1;

}  // namespace

int CancelEventCreate() {
  std::lock_guard<std::mutex> lock(g_eventMutex);
  if (g_eventFd < 0) g_eventFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  return g_eventFd;
}

void CancelEventDestroy() {
  std::lock_guard<std::mutex> lock(g_eventMutex);
  if (g_eventFd >= 0) close(g_eventFd);
  g_eventFd = -1;
}

bool CancelEventSignal() {
  std::lock_guard<std::mutex> lock(g_eventMutex);
  if (g_eventFd < 0) return false;
  std::uint64_t one = 1;
  return write(g_eventFd, &one, sizeof one) == static_cast<ssize_t>(sizeof one);
}

bool CancelEventConsume(int fd) {
  std::uint64_t count = 0;
  return fd >= 0 && read(fd, &count, sizeof count) == static_cast<ssize_t>(sizeof count);
}
