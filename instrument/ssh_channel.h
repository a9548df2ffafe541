#pragma once
// One complete SSH connection per call, to port 22 of the instrument.
#include <cstddef>

class RemoteShell;

// Runs `command` in the remote user's shell. With neither `expected` nor
// `output` the call returns once the command has started. `output` gets at
// most outputCapacity bytes and is not terminated. `matched` is set to 1
// when the first 256 bytes of output equal `expected`. True when no error.
bool ssh_run_command(const char* host, const char* user, const char* password,
                     const char* command, const char* expected, int* matched, char* output,
                     std::size_t outputCapacity);

// Copies one regular file to "[user@]host:path" with mode 0644.
bool scp_send_file(const char* user, const char* password, const char* localPath,
                   const char* remoteTarget);

// Aborts the call in progress from another thread; false when none runs.
bool ssh_cancel();

// The RemoteShell over the three calls above.
RemoteShell& SshShell();
