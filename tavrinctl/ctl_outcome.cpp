#include "tavrinctl/ctl_outcome.h"

#include <algorithm>
#include <cstring>

#include "core/operation_codes.h"
#include "workflows/operation_endings.h"
#include "workflows/shell_safe_text.h"

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

bool Contains(const std::vector<std::string>& texts, const char* text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// The messages a Begin... half refuses with; nothing was started.
struct Refusal {
  const char* prefix;
  CtlError error;
};

const Refusal kRefusals[] = {
    {"Please check the ip address.", CtlError::InvalidAddress},
    {"Please select an Instrument.", CtlError::InvalidAddress},
    {"Please enter a hostname.", CtlError::EmptyName},
    {kHostNameNotShellSafe, CtlError::UnsafeName},
    {kPackageNameNotShellSafe, CtlError::UnsafeName},
    {"Please select an upgrade package.", CtlError::PackageRefused},
    {"Upgrade package does not match target instrument,", CtlError::PackageRefused},
    {"The upgrade package has wrong format.", CtlError::PackageRefused},
    {"Connection to the instrument failed,", CtlError::ConnectionFailed},
    {"The data directory (", CtlError::DataDirectory},
};

// The workflow operation a command runs; its end statuses tell the outcome.
// A restore inside an upgrade posts its own, which are not the upgrade's
// verdict.
int OperationOf(CtlAction action) {
  switch (action) {
    case CtlAction::Connect: return OpConnect;
    case CtlAction::HostName: return OpSetHostName;
    case CtlAction::Upgrade: return OpUpgrade;
    case CtlAction::UpgradeCheck: return OpUpgradeCheck;
    case CtlAction::Restore: return OpRestore;
    default: return OpNone;
  }
}

// The statuses that open a script part which alters the instrument.
constexpr const char* kAltering[] = {"Upgrading...", "Restoring...", "Setting hostname..."};

bool Altered(const CtlRunRecord& record) {
  if (record.action == CtlAction::Connect || record.action == CtlAction::Discover ||
      record.action == CtlAction::UpgradeCheck)
    return false;
  for (const char* status : kAltering)
    if (Contains(record.statuses, status)) return true;
  return false;
}

CtlError RefusalOf(const std::vector<std::string>& messages) {
  for (const std::string& message : messages)
    for (const Refusal& refusal : kRefusals)
      if (StartsWith(message, refusal.prefix)) return refusal.error;
  return CtlError::None;
}

CtlError FailureOf(const CtlRunRecord& record) {
  // A cancel cuts the SSH call in progress, which then reads as a failure.
  if (record.interrupted) return CtlError::Cancelled;
  if (!Contains(record.statuses, "Connected.")) return CtlError::ConnectionFailed;
  if (Contains(record.log, "Failure to reconnect to the device,please check the ip.") ||
      Contains(record.log, "Reconnection to the instrument failed,please check the ip address."))
    return CtlError::ReconnectFailed;
  return CtlError::ScriptFailed;
}

CtlError OperationError(const CtlRunRecord& record) {
  const OperationEndings endings = EndingsOf(OperationOf(record.action));
  for (auto it = record.statuses.rbegin(); it != record.statuses.rend(); ++it) {
    if (*it == endings.success) return CtlError::None;
    if (*it == endings.cancelled) return CtlError::Cancelled;
    if (endings.declined != nullptr && *it == endings.declined) return CtlError::NotSupported;
    if (*it == endings.failed || *it == "Connection failed.") return FailureOf(record);
  }
  const CtlError refusal = RefusalOf(record.messages);
  if (refusal != CtlError::None) return refusal;
  if (record.interrupted) return CtlError::Cancelled;
  // The connection check passed and nothing followed: the family has no
  // script here, or its script lacks the section.
  if (!record.statuses.empty() && record.statuses.back() == "Connected.")
    return CtlError::FamilyNotRecognised;
  return record.statuses.empty() ? CtlError::Failed : CtlError::ScriptFailed;
}

CtlError DiscoveryError(const CtlRunRecord& record) {
  if (record.listed > 0) return CtlError::None;
  if (record.interrupted) return CtlError::Cancelled;
  return record.broadcast ? CtlError::NotFound : CtlError::DiscoveryFailed;
}

}  // namespace

CtlOutcome JudgeRun(const CtlRunRecord& record) {
  CtlOutcome outcome;
  outcome.error =
      record.action == CtlAction::Discover ? DiscoveryError(record) : OperationError(record);
  outcome.changed = Altered(record);
  return outcome;
}
