#include "tavrinctl/ctl_report.h"

#include "core/version.h"

const char* const kCtlVersion = kProgramVersion;

namespace {

struct ErrorEntry {
  CtlError error;
  const char* code;
  int exitStatus;
};

// Codes are never renamed or reused: scripts compare them.
constexpr ErrorEntry kErrors[] = {
    {CtlError::Usage, "usage", kCtlUsageError},
    {CtlError::Busy, "busy", kCtlInstrumentBusy},
    {CtlError::Cancelled, "cancelled", 1},
    {CtlError::InvalidAddress, "invalid_address", 1},
    {CtlError::ConnectionFailed, "connection_failed", 1},
    {CtlError::FamilyNotRecognised, "family_not_recognised", 1},
    {CtlError::PackageRefused, "package_refused", 1},
    {CtlError::UnsafeName, "unsafe_name", 1},
    {CtlError::EmptyName, "empty_name", 1},
    {CtlError::DataDirectory, "data_directory", 1},
    {CtlError::ScriptFailed, "script_failed", 1},
    {CtlError::ReconnectFailed, "reconnect_failed", 1},
    {CtlError::NotSupported, "not_supported", 1},
    {CtlError::NotFound, "not_found", 1},
    {CtlError::DiscoveryFailed, "discovery_failed", kCtlDiscoveryFailed},
    {CtlError::Incomplete, "incomplete", 1},
    {CtlError::Failed, "failed", 1},
};

const ErrorEntry* EntryOf(CtlError error) {
  for (const ErrorEntry& entry : kErrors)
    if (entry.error == error) return &entry;
  return nullptr;
}

const char* ResultOf(CtlError error) {
  if (error == CtlError::None) return "success";
  return error == CtlError::Busy ? "busy" : "failure";
}

}  // namespace

const char* CtlErrorCode(CtlError error) {
  const ErrorEntry* entry = EntryOf(error);
  return entry == nullptr ? nullptr : entry->code;
}

int CtlExitStatus(CtlError error) {
  const ErrorEntry* entry = EntryOf(error);
  return entry == nullptr ? 0 : entry->exitStatus;
}

nlohmann::json CtlReportJson(const CtlReport& report) {
  const char* code = CtlErrorCode(report.error);
  nlohmann::json document = {{"schema", kCtlSchema},
                             {"command", report.command},
                             {"result", ResultOf(report.error)},
                             {"error", code == nullptr ? nlohmann::json() : nlohmann::json(code)},
                             {"changed", report.changed},
                             {"status", report.status},
                             {"log", report.log},
                             {"messages", report.messages}};
  if (!report.address.empty()) document["address"] = report.address;
  return document;
}

std::string CtlJsonText(const nlohmann::json& document) {
  return document.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

nlohmann::json DiscoveredListJson(const std::vector<std::string>& entries) {
  nlohmann::json list = nlohmann::json::array();
  for (const std::string& entry : entries) {
    // The list shows "ADDRESS (IDN)"; an address holds no blank.
    const std::size_t blank = entry.find(" (");
    if (blank == std::string::npos || entry.back() != ')') {
      list.push_back({{"address", entry}, {"idn", ""}});
      continue;
    }
    list.push_back({{"address", entry.substr(0, blank)},
                    {"idn", entry.substr(blank + 2, entry.size() - blank - 3)}});
  }
  return list;
}

std::string FamilyName(int familyCode) {
  return familyCode == 1 ? "kfw" : familyCode == 2 ? "kf4" : "";
}
