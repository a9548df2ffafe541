#pragma once
// Waiting for a rebooting instrument, following it to a new address.
#include <string>

class UpdaterController;

// True when the instrument answered twice; false on time-out or cancel.
bool WaitForReboot(UpdaterController& controller, const std::string& serialNumber);
