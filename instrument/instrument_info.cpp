#include "instrument/instrument_info.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "core/operator_view.h"
#include "core/updater_controller.h"
#include "instrument/instrument_commands.h"
#include "instrument/vxi11_user.h"

namespace {

constexpr int kReplySize = 2048;
constexpr unsigned long kQueryTimeoutMs = 50;
const char* const kUnknownVersion = "--.--.--";
const char* const kWhiteSpace = " \t\r\n";
const char* const kPackageVersionCommand =
    "[ -e /tvs/releases/package_version ] && cat /tvs/releases/package_version || echo \"no\"";

// A query resets the client table before it opens its link, so two
// queries at once (window thread and worker) would wreck each other's
// slots: they take turns.
std::mutex g_queryMutex;

std::string Trimmed(const std::string& text) {
  std::size_t first = text.find_first_not_of(kWhiteSpace);
  if (first == std::string::npos) return std::string();
  std::size_t last = text.find_last_not_of(kWhiteSpace);
  return text.substr(first, last - first + 1);
}

std::string Lowered(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The placeholder of a field that no source filled reads as not known.
std::string KnownOnly(const std::string& shown) {
  return shown == kUnknownVersion ? std::string() : shown;
}

std::string Raised(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

void SplitTrimmed(const std::string& text, const std::string& separator,
                  std::vector<std::string>& pieces) {
  if (separator.empty()) {
    pieces.push_back(Trimmed(text));
    return;
  }
  std::size_t start = 0;
  for (std::size_t found = text.find(separator); found != std::string::npos;
       found = text.find(separator, start)) {
    pieces.push_back(Trimmed(text.substr(start, found - start)));
    start = found + separator.size();
  }
  pieces.push_back(Trimmed(text.substr(start)));
}

int instrument_query(const char* address, const char* command, char* reply, int replyLength,
                     bool startNetwork) {
  (void)startNetwork;  // the socket layer needs no start here
  if (address == nullptr || *address == '\0' || command == nullptr || reply == nullptr ||
      replyLength < 1) {
    return 0;
  }
  char rcv[kReplySize];
  std::memset(rcv, 0, sizeof rcv);
  std::lock_guard<std::mutex> turn(g_queryMutex);
  vxi11_reset_clients();
  Vxi11Link vxi_link;
  if (vxi11_open_device(address, &vxi_link) < 0) return 0;
  long n = vxi11_send_and_receive(&vxi_link, command, rcv, kReplySize, kQueryTimeoutMs);
  bool ok = n >= 1 && n < kReplySize;
  if (ok) {
    rcv[n] = '\0';
    if (rcv[n - 1] == '\n') rcv[n - 1] = '\0';
    std::memcpy(reply, rcv, static_cast<std::size_t>(std::min<long>(n, replyLength)));
  }
  vxi11_close_device(address, &vxi_link);
  return ok ? 1 : 0;
}

void ParseSystemInfoText(const std::string& text, std::string& driver, std::string& scpi) {
  std::vector<std::string> lines;
  SplitTrimmed(text, "\n", lines);
  for (const std::string& raw : lines) {
    std::string line = Raised(raw);
    std::size_t comma = line.find(',');
    if (comma == std::string::npos) continue;
    if (line.find("DRIVER") != std::string::npos) driver = line.substr(comma + 1);
    if (line.find("SERVER") != std::string::npos) scpi = line.substr(comma + 1);
  }
}

void QuerySystemInfo(UpdaterController& controller, std::string& driver, std::string& scpi) {
  std::string address = controller.selectedAddress ? controller.selectedAddress() : std::string();
  QuerySystemInfoAt(address, driver, scpi);
}

bool QuerySystemInfoAt(const std::string& address, std::string& driver, std::string& scpi) {
  char buffer[kReplySize];
  std::memset(buffer, 0, sizeof buffer);
  if (instrument_query(address.c_str(), ":system:info? ALL", buffer, kReplySize - 1, true) != 1) {
    return false;
  }
  ParseSystemInfoText(buffer, driver, scpi);
  return true;
}

void ParsePackageVersionText(const std::string& text, std::string& driver, std::string& scpi,
                             std::string& package, std::string& ui) {
  std::string* const targets[] = {&package, &driver, &scpi, &ui};
  const char* const keys[] = {"package", "driver", "scpi", "ui"};
  std::vector<std::string> lines;
  SplitTrimmed(text, "\n", lines);
  for (const std::string& raw : lines) {
    std::string line = Lowered(raw);
    for (int k = 0; k < 4; ++k) {
      if (line.find(keys[k]) == std::string::npos) continue;
      // The first keyword found decides, with or without a colon.
      std::size_t colon = line.find(':');
      if (colon != std::string::npos) *targets[k] = Trimmed(line.substr(colon + 1));
      break;
    }
  }
}

bool ReadPackageVersionFile(UpdaterController& controller, std::string& driver,
                            std::string& scpi, std::string& package, std::string& ui) {
  if (controller.userName.empty() || controller.password.empty()) return false;
  char buffer[kReplySize];
  std::memset(buffer, 0, sizeof buffer);
  if (!RunInstrumentCommand(controller, kPackageVersionCommand, nullptr, nullptr, buffer,
                            kReplySize - 1)) {
    return false;
  }
  if (std::strcmp(buffer, "no\n") == 0) return false;
  ParsePackageVersionText(buffer, driver, scpi, package, ui);
  return true;
}

DeviceIdentity FillDeviceInfo(UpdaterController& controller, const std::string& deviceInfo) {
  DeviceIdentity identity;
  std::vector<std::string> fields;
  SplitTrimmed(deviceInfo, ":", fields);
  if (fields.size() < 4) return identity;
  std::string driver = kUnknownVersion;
  std::string scpi = kUnknownVersion;
  std::string package = kUnknownVersion;
  std::string ui = kUnknownVersion;
  if (!fields[2].empty()) package = fields[2];
  if (!fields[3].empty()) ui = fields[3];
  if (!ReadPackageVersionFile(controller, driver, scpi, package, ui)) {
    QuerySystemInfo(controller, driver, scpi);
  }
  identity.shown = true;
  identity.model = fields[0];
  identity.serial = fields[1];
  identity.versions = {KnownOnly(package), KnownOnly(driver), KnownOnly(scpi), KnownOnly(ui)};
  OperatorView* view = controller.view;
  if (view == nullptr) return identity;
  view->SetText(IdcModelNumber, fields[0]);
  view->SetText(IdcSerialNumber, fields[1]);
  view->SetText(IdcPackageVersion, package);
  view->SetText(IdcDriverVersion, driver);
  view->SetText(IdcScpiVersion, scpi);
  view->SetText(IdcUiVersion, ui);
  return identity;
}

VersionSource ReadInstrumentVersions(UpdaterController& controller, InstrumentVersions& versions,
                                     VersionSource only) {
  if (only != VersionSource::SystemInfo &&
      ReadPackageVersionFile(controller, versions.driver, versions.scpi, versions.package,
                             versions.ui)) {
    return VersionSource::File;
  }
  if (only != VersionSource::File &&
      QuerySystemInfoAt(controller.targetAddress, versions.driver, versions.scpi)) {
    return VersionSource::SystemInfo;
  }
  return VersionSource::None;
}

bool QueryModelAndSerial(const std::string& address, std::string& model, std::string& serial) {
  char buffer[kReplySize];
  std::memset(buffer, 0, sizeof buffer);
  if (instrument_query(address.c_str(), "*IDN?", buffer, kReplySize - 1, true) != 1) return false;
  std::vector<std::string> fields;
  SplitTrimmed(buffer, ",", fields);
  if (fields.size() < 3 || fields[1].empty() || fields[2].empty()) return false;
  model = fields[1];
  serial = fields[2];
  return true;
}
