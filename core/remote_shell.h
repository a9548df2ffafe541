#pragma once
// The instrument's shell as the controller reaches it: one command or one
// file copy per call. Production uses the SSH channel; tests may script it.
#include <cstddef>

class RemoteShell {
 public:
  virtual ~RemoteShell() = default;
  // Same contract as ssh_run_command: any pointer may be null.
  virtual bool RunCommand(const char* host, const char* user, const char* password,
                          const char* command, const char* expected, int* matched,
                          char* output, std::size_t outputCapacity) = 0;
  // Same contract as scp_send_file.
  virtual bool SendFile(const char* user, const char* password, const char* localPath,
                        const char* remoteTarget) = 0;
  // Same contract as ssh_cancel: callable from any thread.
  virtual bool Cancel() = 0;
};
