#pragma once
// Waiting for a rebooting instrument, following it to a new address.
#include <functional>
#include <string>

class UpdaterController;

// True when the instrument answered twice; false on time-out or cancel.
bool WaitForReboot(UpdaterController& controller, const std::string& serialNumber);

// The search the wait runs while the instrument is silent: refills the
// discovered list and returns the number of records kept. DiscoverInstruments
// by default; an empty function restores it. Tests set a scripted search.
using RebootSearch = std::function<int(UpdaterController&)>;
void SetRebootSearch(RebootSearch search);
