#pragma once
// One interactive TavrinOperator per user. The first start holds a lock
// file for its whole life and listens on a local socket; a later start finds
// the lock taken and asks the first, through the socket, to come to the
// front. Nothing here needs a window toolkit: the window watches ListenFd()
// and calls ReadRaiseRequest() when it becomes readable.
#include <string>

// `parent`/TavrinOperator-<uid>, made with mode 0700 when missing: the
// user's own place for the lock in a directory every user shares. A name
// another user took first is left as it is (and Acquire then refuses it).
std::string PrivateDirectory(const std::string& parent);

class SingleInstance {
 public:
  // The lock and the socket live in `directory`, which must be the user's
  // own directory, closed to everyone else; empty means $XDG_RUNTIME_DIR
  // when it is such a directory, or else PrivateDirectory("/tmp").
  explicit SingleInstance(std::string directory = std::string());
  ~SingleInstance();
  SingleInstance(const SingleInstance&) = delete;
  SingleInstance& operator=(const SingleInstance&) = delete;

  // Takes the lock and starts listening. False only when another instance
  // holds the lock; when the directory is missing, is a symbolic link, is
  // another user's or is open to others, or the lock file cannot be opened
  // at all, the program runs unguarded (true, ListenFd() -1) rather than
  // never starting.
  bool Acquire();
  // From a later start: asks the holder to come to the front. False when
  // nobody listens yet (for instance while the first is still starting).
  bool NotifyFirst();
  // The listening socket of the holder, -1 before a successful Acquire.
  int ListenFd() const { return listenFd_; }
  // Accepts every pending request; true when at least one asked to raise.
  bool ReadRaiseRequest();
  // Stops listening and gives up the lock, so that a later start becomes
  // the holder; Acquire may take it again.
  void Release();

  const std::string& LockPath() const { return lockPath_; }
  const std::string& SocketPath() const { return socketPath_; }

 private:
  bool Listen();

  std::string directory_;
  std::string lockPath_;
  std::string socketPath_;
  int lockFd_ = -1;
  int listenFd_ = -1;
};
