#include "core/instrument_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "core/operation_log.h"
#include "core/settings.h"

InstrumentLock::~InstrumentLock() {
  if (fd_ >= 0) ::close(fd_);
}

InstrumentLock::Result InstrumentLock::Take(const std::string& directory,
                                            const std::string& address) {
  const std::string path = directory + address + ".lock";
  if (!EnsureDirectory(path)) return Result::Unavailable;
  // Close-on-exec: a program started during the run must not keep the
  // instrument locked after the run has ended.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Result::Unavailable;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? Result::Busy : Result::Unavailable;
  }
  if (fd_ >= 0) ::close(fd_);
  fd_ = fd;
  return Result::Taken;
}

std::string InstrumentRunDirectory() {
  // Beside the operation log, wherever that lies.
  const std::string log = OperationLogPath();
  const auto slash = log.rfind('/');
  return (slash == std::string::npos ? std::string() : log.substr(0, slash + 1)) + "instruments/";
}
