#include "tavrinctl/ctl_report.h"

namespace {

const char* CommandName(CtlAction action) {
  switch (action) {
    case CtlAction::Discover: return "discover";
    case CtlAction::Connect: return "connect";
    case CtlAction::HostName: return "hostname";
    case CtlAction::Upgrade: return "upgrade";
    case CtlAction::Restore: return "restore";
    case CtlAction::Help: break;
  }
  return "help";
}

}  // namespace

nlohmann::json CtlReportJson(const CtlReport& report) {
  nlohmann::json document = {{"command", CommandName(report.action)},
                             {"result", report.result},
                             {"status", report.status},
                             {"log", report.log},
                             {"messages", report.messages}};
  if (!report.address.empty()) document["address"] = report.address;
  return document;
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
