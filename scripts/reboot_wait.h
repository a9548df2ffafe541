#pragma once
// Waiting for a rebooting instrument, following it to a new address.
#include <functional>
#include <string>

class UpdaterController;

// The instrument's boot id, which a restart renews, or empty when it tells
// none. Read just before the reboot command.
std::string ReadBootId(UpdaterController& controller);

// True when the instrument answered twice; false on time-out or cancel.
// With the boot id read before the reboot command, answers count only once
// the id has changed, and an instrument that keeps answering with the old
// one for a minute never restarted: false as well.
bool WaitForReboot(UpdaterController& controller, const std::string& serialNumber,
                   const std::string& bootIdBefore = std::string());

// The search the wait runs while the instrument is silent: refills the
// discovered list and returns the number of records kept. DiscoverInstruments
// by default; an empty function restores it. Tests set a scripted search.
using RebootSearch = std::function<int(UpdaterController&)>;
void SetRebootSearch(RebootSearch search);
