#include "core/file_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool ReserveSpace(int fd, off_t size) {
  if (size <= 0) return true;
  int result;
  do {
    result = ::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, size);
  } while (result != 0 && errno == EINTR);
  return result == 0 || (errno != ENOSPC && errno != EDQUOT && errno != EFBIG);
}

bool SameFile(const struct stat& open, const std::string& path) {
  struct stat named {};
  return ::stat(path.c_str(), &named) == 0 && open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}
