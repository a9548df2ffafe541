#pragma once
// What the operations write to the update history (core/update_history.h).
// The window and tavrinctl share it through the worker's dispatcher and
// the rendering of the identity notice; with no history open on the
// controller every call does nothing.
struct DeviceIdentity;
class UpdaterController;

// Worker thread, as an operation is dispatched: starts its record.
void StartOperationRecord(UpdaterController& controller, int operation);
// Worker thread, once the connection check of a hostname, upgrade or
// restore operation has passed: model and serial number ("*IDN?") and the
// versions before anything changes.
void RecordInstrumentBefore(UpdaterController& controller);
// Worker thread, when a hostname, upgrade or restore operation has ended
// (after the script's own reboot wait): the versions read back, the outcome
// and the duration; appends the record.
void FinishOperationRecord(UpdaterController& controller, int operation);
// Window thread, when a connect's identity has been shown: appends the
// connect's record with what the window read.
void RecordConnectIdentity(UpdaterController& controller, const DeviceIdentity& identity);
