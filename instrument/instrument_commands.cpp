#include "instrument/instrument_commands.h"

#include "core/remote_shell.h"
#include "core/updater_controller.h"
#include "instrument/ssh_channel.h"

RemoteShell& ShellOf(UpdaterController& controller) {
  return controller.shell != nullptr ? *controller.shell : SshShell();
}

bool RunInstrumentCommand(UpdaterController& controller, const char* command,
                          const char* expected, int* matched, char* output,
                          std::size_t outputCapacity) {
  if (controller.userName.empty() || controller.password.empty()) return false;
  return ShellOf(controller).RunCommand(controller.targetAddress.c_str(),
                                        controller.userName.c_str(), controller.password.c_str(),
                                        command, expected, matched, output, outputCapacity);
}

bool TestInstrumentCommand(UpdaterController& controller, const char* command) {
  int matched = 0;
  return RunInstrumentCommand(controller, command, "yes\n", &matched, nullptr, 0) && matched == 1;
}
