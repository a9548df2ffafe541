#pragma once
// The controller's shell operations, with its instrument connection.
#include <cstddef>

class RemoteShell;
class UpdaterController;

// The shell the controller uses: its own seam, or SSH.
RemoteShell& ShellOf(UpdaterController& controller);

// False at once when user name or password is empty.
bool RunInstrumentCommand(UpdaterController& controller, const char* command,
                          const char* expected, int* matched, char* output,
                          std::size_t outputCapacity);

// True only when the command ran and its output was exactly "yes\n".
bool TestInstrumentCommand(UpdaterController& controller, const char* command);
