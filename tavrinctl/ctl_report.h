#pragma once
// The JSON document a run of tavrinctl prints at its end with --json. The
// texts are the program's own, as the window would show them.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "tavrinctl/ctl_command.h"

struct CtlReport {
  CtlAction action;
  std::string address;  // empty for discover
  std::string result;   // "success", "failure" or "busy"
  std::string status;   // the last status text
  std::vector<std::string> log;
  std::vector<std::string> messages;  // what the window would show in a box
};

nlohmann::json CtlReportJson(const CtlReport& report);
// The instrument list's entries, "ADDRESS (IDN)", as {"address", "idn"}.
nlohmann::json DiscoveredListJson(const std::vector<std::string>& entries);
// "kfw", "kf4", or "" while the family is unknown.
std::string FamilyName(int familyCode);
