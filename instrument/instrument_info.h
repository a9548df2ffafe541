#pragma once
// One-shot SCPI queries and the instrument's identity fields.
#include <string>
#include <vector>

class UpdaterController;

// 1 when a reply was received and copied, 0 when not, -1 when the network
// layer could not start. `reply` is zero-filled, replyLength + 1 bytes.
int instrument_query(const char* address, const char* command, char* reply, int replyLength,
                     bool startNetwork);

void SplitTrimmed(const std::string& text, const std::string& separator,
                  std::vector<std::string>& pieces);

// ":system:info? ALL" to the window's chosen address.
void QuerySystemInfo(UpdaterController& controller, std::string& driver, std::string& scpi);
// "/tvs/releases/package_version" over SSH; true when the file was read.
bool ReadPackageVersionFile(UpdaterController& controller, std::string& driver,
                            std::string& scpi, std::string& package, std::string& ui);
// Computes the six identity fields and shows them through the view.
void FillDeviceInfo(UpdaterController& controller, const std::string& deviceInfo);

// The two version sources' text rules, apart from their transport.
// Fills the texts whose keys the package-version file text names.
void ParsePackageVersionText(const std::string& text, std::string& driver, std::string& scpi,
                             std::string& package, std::string& ui);
// Fills driver and SCPI texts from a ":system:info? ALL" reply.
void ParseSystemInfoText(const std::string& text, std::string& driver, std::string& scpi);
