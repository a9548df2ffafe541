#include "fuzz/fuzz_support.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace fuzz {

namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return ::remove(path);
}

void RemoveScratch() {
  const std::string& dir = ScratchDirectory();
  ::nftw(dir.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

const std::string& ScratchDirectory() {
  static const std::string directory = [] {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base != nullptr && *base != '\0' ? base : "/tmp") +
                          "/tv-fuzz-XXXXXX";
    if (::mkdtemp(&pattern[0]) == nullptr) {
      std::perror("fuzz: no scratch directory");
      std::abort();
    }
    return pattern + "/";
  }();
  static const bool registered = (std::atexit(RemoveScratch), true);
  (void)registered;
  return directory;
}

bool WriteFile(const std::string& path, const void* data, std::size_t size) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const char* p = static_cast<const char*>(data);
  bool ok = true;
  while (size > 0) {
    const ssize_t n = ::write(fd, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return ::close(fd) == 0 && ok;
}

bool WriteFile(const std::string& path, const std::string& content) {
  return WriteFile(path, content.data(), content.size());
}

bool ReadFile(const std::string& path, std::string& content) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  content.clear();
  char piece[8192];
  for (;;) {
    const ssize_t n = ::read(fd, piece, sizeof piece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    content.append(piece, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

bool Exists(const std::string& path) {
  struct stat info;
  return ::lstat(path.c_str(), &info) == 0;
}

std::size_t CountEntries(const std::string& directory) {
  DIR* dir = ::opendir(directory.c_str());
  if (dir == nullptr) return 0;
  std::size_t count = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) ++count;
  }
  ::closedir(dir);
  return count;
}

std::string Take(const std::uint8_t*& data, std::size_t& size, char separator) {
  const void* end = std::memchr(data, separator, size);
  const std::size_t length =
      end == nullptr ? size : static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - data);
  std::string piece(reinterpret_cast<const char*>(data), length);
  const std::size_t used = end == nullptr ? length : length + 1;
  data += used;
  size -= used;
  return piece;
}

void CheckFailed(const char* condition, const char* file, int line) {
  std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", condition, file, line);
  std::abort();
}

}  // namespace fuzz
