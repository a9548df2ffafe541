#pragma once
// One-shot SCPI queries and the instrument's identity fields.
#include <string>
#include <vector>

#include "core/update_history.h"

class UpdaterController;

// 1 when a reply was received and copied, 0 when not, -1 when the network
// layer could not start. `reply` is zero-filled, replyLength + 1 bytes.
int instrument_query(const char* address, const char* command, char* reply, int replyLength,
                     bool startNetwork);

void SplitTrimmed(const std::string& text, const std::string& separator,
                  std::vector<std::string>& pieces);

// ":system:info? ALL" to the window's chosen address.
void QuerySystemInfo(UpdaterController& controller, std::string& driver, std::string& scpi);
// The same to a given address; true when the instrument answered.
bool QuerySystemInfoAt(const std::string& address, std::string& driver, std::string& scpi);
// "/tvs/releases/package_version" over SSH; true when the file was read.
bool ReadPackageVersionFile(UpdaterController& controller, std::string& driver,
                            std::string& scpi, std::string& package, std::string& ui);

// What FillDeviceInfo showed; versions it could not read are empty.
struct DeviceIdentity {
  bool shown = false;  // false when the text had fewer than four fields
  std::string model;
  std::string serial;
  InstrumentVersions versions;
};
// Computes the six identity fields and shows them through the view.
DeviceIdentity FillDeviceInfo(UpdaterController& controller, const std::string& deviceInfo);

// Any thread: the versions of the instrument at targetAddress by the same
// sources as FillDeviceInfo (the package-version file, else driver and SCPI
// from ":system:info? ALL"), or by `only` that one; returns the source that
// answered, None (versions left empty) when none did.
VersionSource ReadInstrumentVersions(UpdaterController& controller, InstrumentVersions& versions,
                                     VersionSource only = VersionSource::None);
// Model and serial number from the "*IDN?" reply (maker, model, serial,
// version); false when the instrument did not answer in that form.
bool QueryModelAndSerial(const std::string& address, std::string& model, std::string& serial);

// The two version sources' text rules, apart from their transport.
// Fills the texts whose keys the package-version file text names.
void ParsePackageVersionText(const std::string& text, std::string& driver, std::string& scpi,
                             std::string& package, std::string& ui);
// Fills driver and SCPI texts from a ":system:info? ALL" reply.
void ParseSystemInfoText(const std::string& text, std::string& driver, std::string& scpi);
