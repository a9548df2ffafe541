#pragma once
// The known-host store of the SSH channel: one OpenSSH-format file per user
// under the configuration directory, never the user's own ~/.ssh files.
// Every key is accepted; a new or changed one is recorded with a warning.
#include <libssh2.h>

#include <cstddef>
#include <string>

// $XDG_CONFIG_HOME/TavrinOperator/known_hosts, or ~/.config/... without it.
std::string KnownHostsPath();

enum class HostKeyVerdict {
  Known,       // the store holds this key for the host
  Recorded,    // no key of this type was stored; now it is
  Replaced,    // a different key was stored; the new one replaced it
  Unrecorded,  // accepted, but the store could not be updated
};

// Applies the policy to the key the host presented (libssh2's raw key and
// LIBSSH2_HOSTKEY_TYPE_*). `session` only serves the library's allocations.
HostKeyVerdict AcceptHostKey(LIBSSH2_SESSION* session, const std::string& storePath,
                             const std::string& host, const char* key, std::size_t keyLength,
                             int keyType);
