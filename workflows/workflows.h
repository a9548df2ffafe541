#pragma once
// The operations an operator starts: a window-thread half (Begin...) that
// checks and prepares, and a worker half (Run...) that runs script pieces.
#include <string>

class OperationWorker;
class UpdaterController;

// Window thread helpers shared by every Begin... half and the window.
bool ValidateInstrumentChoice(UpdaterController& controller);
std::string SelectedAddress(UpdaterController& controller);
// Enables or disables the operation controls, honouring the address or
// discovery mode (the view's radio buttons).
void SetOperationControlsEnabled(UpdaterController& controller, bool enabled);

// Any thread; used on the window's thread.
bool ProbeCredentials(UpdaterController& controller);
// Worker thread, at the start of every operation that reaches the instrument.
bool CheckConnection(UpdaterController& controller);

void BeginConnect(UpdaterController& controller, OperationWorker& worker);
void BeginSetHostName(UpdaterController& controller, OperationWorker& worker);
void BeginUpgrade(UpdaterController& controller, OperationWorker& worker);
// The upgrade's steps that change nothing: the credential probe, the
// family, the package's check without decoding it, the connection check
// and the pending-update check; the log says what the upgrade would do.
void BeginUpgradeCheck(UpdaterController& controller, OperationWorker& worker);
void BeginRestore(UpdaterController& controller, OperationWorker& worker);
void BeginDiscovery(UpdaterController& controller, OperationWorker& worker);

void RunConnect(UpdaterController& controller);
void RunSetHostName(UpdaterController& controller);
void RunUpgrade(UpdaterController& controller);
void RunUpgradeCheck(UpdaterController& controller);
// The log line of an upgrade check that found an unfinished earlier update.
extern const char* const kUpdatePendingFound;
// checkConnection: run the connection check first; needReboot: hand
// "NeedReboot" = "true" (else "false") to the rollback section.
void RunRestore(UpdaterController& controller, bool checkConnection, bool needReboot);
