#include "instrument/known_hosts.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "instrument/ssh_diagnostics.h"

namespace {

constexpr int kSshPort = 22;

std::string HomeDirectory() {
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') return home;
  const passwd* entry = getpwuid(geteuid());
  return entry != nullptr && entry->pw_dir != nullptr ? entry->pw_dir : "";
}

std::string ParentOf(const std::string& path) {
  std::size_t cut = path.rfind('/');
  return cut == std::string::npos || cut == 0 ? std::string() : path.substr(0, cut);
}

bool EnsureDirectory(const std::string& path) {
  if (path.empty()) return true;
  struct stat info {};
  if (stat(path.c_str(), &info) == 0) return S_ISDIR(info.st_mode);
  if (!EnsureDirectory(ParentOf(path))) return false;
  return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

int KnownHostKeyBits(int hostKeyType) {
  switch (hostKeyType) {
    case LIBSSH2_HOSTKEY_TYPE_RSA: return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
    case LIBSSH2_HOSTKEY_TYPE_DSS: return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_256: return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_384: return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_521: return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
    case LIBSSH2_HOSTKEY_TYPE_ED25519: return LIBSSH2_KNOWNHOST_KEY_ED25519;
    default: return 0;
  }
}

struct StoreDeleter {
  void operator()(LIBSSH2_KNOWNHOSTS* store) const { libssh2_knownhost_free(store); }
};
using StorePtr = std::unique_ptr<LIBSSH2_KNOWNHOSTS, StoreDeleter>;

// Removes every stored key of this type that differs from `key`; true when
// one was removed.
bool RemoveStaleKeys(LIBSSH2_KNOWNHOSTS* store, const std::string& host, const char* key,
                     std::size_t keyLength, int mask) {
  bool removed = false;
  for (;;) {
    libssh2_knownhost* stale = nullptr;
    int check = libssh2_knownhost_checkp(store, host.c_str(), kSshPort, key, keyLength, mask, &stale);
    if (check != LIBSSH2_KNOWNHOST_CHECK_MISMATCH || stale == nullptr) return removed;
    if (libssh2_knownhost_del(store, stale) != 0) return removed;
    removed = true;
  }
}

// Writes the whole store beside the old file and renames it over, so a
// failed write never leaves a truncated store.
bool SaveStore(LIBSSH2_KNOWNHOSTS* store, const std::string& path) {
  if (!EnsureDirectory(ParentOf(path))) return false;
  std::string temporary = path + ".new";
  if (libssh2_knownhost_writefile(store, temporary.c_str(), LIBSSH2_KNOWNHOST_FILE_OPENSSH) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return std::rename(temporary.c_str(), path.c_str()) == 0;
}

// Held while the store is read, changed and written back: runs side by side
// that meet new instruments would otherwise each write the store without
// the other's key. Waits only for another run's update of the store.
class StoreUpdateLock {
 public:
  explicit StoreUpdateLock(const std::string& storePath) {
    if (!EnsureDirectory(ParentOf(storePath))) return;
    fd_ = ::open((storePath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    while (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
    }
  }
  ~StoreUpdateLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  StoreUpdateLock(const StoreUpdateLock&) = delete;
  StoreUpdateLock& operator=(const StoreUpdateLock&) = delete;

 private:
  int fd_ = -1;
};

}  // namespace

std::string KnownHostsPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  std::string base = config != nullptr && *config == '/' ? config : HomeDirectory() + "/.config";
  return base + "/TavrinOperator/known_hosts";
}

HostKeyVerdict AcceptHostKey(LIBSSH2_SESSION* session, const std::string& storePath,
                             const std::string& host, const char* key, std::size_t keyLength,
                             int keyType) {
  int keyBits = KnownHostKeyBits(keyType);
  if (keyBits == 0) {
    SshDiagnostic("host key of %s has an unknown type %d; accepted without recording it",
                  host.c_str(), keyType);
    return HostKeyVerdict::Unrecorded;
  }
  StorePtr store(libssh2_knownhost_init(session));
  if (!store) return HostKeyVerdict::Unrecorded;
  StoreUpdateLock updating(storePath);
  // A missing store is an empty one.
  libssh2_knownhost_readfile(store.get(), storePath.c_str(), LIBSSH2_KNOWNHOST_FILE_OPENSSH);

  int mask = LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | keyBits;
  int check = libssh2_knownhost_checkp(store.get(), host.c_str(), kSshPort, key, keyLength, mask,
                                       nullptr);
  if (check == LIBSSH2_KNOWNHOST_CHECK_MATCH) return HostKeyVerdict::Known;

  bool replaced = RemoveStaleKeys(store.get(), host, key, keyLength, mask);
  if (replaced)
    SshDiagnostic("WARNING: the host key of %s has changed; the new key is accepted and "
                  "replaces the stored one in %s", host.c_str(), storePath.c_str());
  else
    SshDiagnostic("the host key of %s is not yet known; it is accepted and stored in %s",
                  host.c_str(), storePath.c_str());

  if (libssh2_knownhost_addc(store.get(), host.c_str(), nullptr, key, keyLength, nullptr, 0, mask,
                             nullptr) != 0 ||
      !SaveStore(store.get(), storePath)) {
    SshDiagnostic("cannot write the known-host store %s", storePath.c_str());
    return HostKeyVerdict::Unrecorded;
  }
  return replaced ? HostKeyVerdict::Replaced : HostKeyVerdict::Recorded;
}
