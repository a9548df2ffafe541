#include "core/single_instance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// The one request a later start sends.
constexpr char kRaiseRequest = 'R';

// Only a directory of this user's that no one else may write to or enter
// keeps another user from taking the lock first. The name itself must be
// that directory: a symbolic link in a shared /tmp could be turned to
// another place between this check and the open.
bool IsPrivateDirectory(const std::string& directory) {
  struct stat status {};
  return ::lstat(directory.c_str(), &status) == 0 && S_ISDIR(status.st_mode) &&
         status.st_uid == ::getuid() && (status.st_mode & 077) == 0;
}

// A trailing '/' would make lstat follow a symbolic link.
std::string WithoutTrailingSlashes(std::string directory) {
  while (directory.size() > 1 && directory.back() == '/') directory.pop_back();
  return directory;
}

// A runtime directory that is not the user's own (root's shell under
// `sudo -E`, `su` without a login) is another user's lock place: the
// private one under /tmp serves instead, so one window per user still holds.
std::string DefaultDirectory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime != nullptr && runtime[0] == '/') {
    const std::string directory = WithoutTrailingSlashes(runtime);
    if (IsPrivateDirectory(directory)) return directory;
  }
  return PrivateDirectory("/tmp");
}

bool FillAddress(const std::string& path, sockaddr_un& address) {
  std::memset(&address, 0, sizeof address);
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

std::string PrivateDirectory(const std::string& parent) {
  const std::string directory = parent + "/TavrinOperator-" + std::to_string(::getuid());
  // An existing name is left as it is; Acquire judges it.
  ::mkdir(directory.c_str(), 0700);
  return directory;
}

SingleInstance::SingleInstance(std::string directory) {
  if (directory.empty()) directory = DefaultDirectory();
  directory = WithoutTrailingSlashes(directory);
  directory_ = directory;
  const std::string stem = directory + "/TavrinOperator-" + std::to_string(::getuid());
  lockPath_ = stem + ".lock";
  socketPath_ = stem + ".sock";
}

SingleInstance::~SingleInstance() { Release(); }

void SingleInstance::Release() {
  // The socket goes first: once the lock is free, the name is the next
  // holder's.
  if (listenFd_ >= 0) {
    ::close(listenFd_);
    ::unlink(socketPath_.c_str());
    listenFd_ = -1;
  }
  if (lockFd_ >= 0) {
    ::close(lockFd_);
    lockFd_ = -1;
  }
}

bool SingleInstance::Acquire() {
  if (lockFd_ >= 0) return true;
  // A lock place that is missing or not private, or a lock file that cannot
  // be made, must not keep the program from ever starting: it then runs
  // unguarded, as the only instance it knows of. Close-on-exec keeps a
  // started console from holding the lock after this program has ended.
  if (!IsPrivateDirectory(directory_)) return true;
  const int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) return true;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  lockFd_ = fd;
  // Without the socket the lock still keeps a second window away; only the
  // bring-to-front request is lost.
  Listen();
  return true;
}

bool SingleInstance::Listen() {
  sockaddr_un address;
  if (!FillAddress(socketPath_, address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // Whoever left the socket file behind no longer holds the lock.
  ::unlink(socketPath_.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(fd, 8) != 0) {
    ::close(fd);
    return false;
  }
  listenFd_ = fd;
  return true;
}

bool SingleInstance::NotifyFirst() {
  sockaddr_un address;
  if (!FillAddress(socketPath_, address)) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  bool sent = false;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    sent = ::send(fd, &kRaiseRequest, 1, MSG_NOSIGNAL) == 1;
  }
  ::close(fd);
  return sent;
}

bool SingleInstance::ReadRaiseRequest() {
  if (listenFd_ < 0) return false;
  bool raise = false;
  for (;;) {
    const int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) {
      if (errno == EINTR) continue;
      break;  // EAGAIN: nothing more pending
    }
    // The sender writes its byte before closing; a short wait covers a
    // connection accepted before the byte arrived.
    timeval timeout {0, 200000};
    ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    char request = 0;
    if (::recv(client, &request, 1, 0) == 1 && request == kRaiseRequest) raise = true;
    ::close(client);
  }
  return raise;
}
