#pragma once
// tavrinctl's contract with the scripts that run it: the JSON document it
// prints at its end with --json, the error codes of its "error" field and
// the exit statuses. Every command's document has the same shape; a new
// command adds its own fields beside the common ones and takes its error
// codes from the one table in ctl_report.cpp.
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// The program's release, as --version prints it.
extern const char* const kCtlVersion;

// The document's format. It changes only when a field is removed or changes
// its meaning; new fields and new error codes leave it as it is.
constexpr int kCtlSchema = 1;

enum class CtlError {
  None,
  Usage,                // the command line was not understood
  Busy,                 // another run works on the instrument
  Cancelled,            // Ctrl-C, SIGTERM or SIGHUP stopped the run
  InvalidAddress,       // the workflows refused the address
  ConnectionFailed,     // no SSH answer, or neither family's password taken
  FamilyNotRecognised,  // reached, but no script here serves the family
  PackageRefused,       // missing, damaged, or of the other family
  UnsafeName,           // a name the instrument's shell would interpret
  EmptyName,            // a hostname of blanks only
  DataDirectory,        // the decoded package cannot be written
  ScriptFailed,         // the family's script ended in failure
  ReconnectFailed,      // the instrument did not come back after a reboot
  NotSupported,         // the script declined the upgrade
  NotFound,             // discover: nothing listed
  DiscoveryFailed,      // discover: no network could be broadcast on
  Incomplete,           // inventory: an instrument's row is not a success
  Failed,               // anything else
};

// Exit statuses beyond 0 (success) and 1 (the operation failed).
constexpr int kCtlUsageError = 2;
constexpr int kCtlInstrumentBusy = 3;
constexpr int kCtlDiscoveryFailed = 4;

// "connection_failed" and so on; nullptr for None.
const char* CtlErrorCode(CtlError error);
int CtlExitStatus(CtlError error);

struct CtlReport {
  std::string command;  // as typed; "" when the command line was not understood
  std::string address;  // empty for discover
  CtlError error = CtlError::None;
  bool changed = false;  // a part of the operation that alters the instrument ran
  std::string status;    // the last status text
  std::vector<std::string> log;
  std::vector<std::string> messages;  // what the window would show in a box
};

// The fields every command's document has.
nlohmann::json CtlReportJson(const CtlReport& report);
// One line, without its line feed. Bytes that are not UTF-8 become U+FFFD,
// so the document stays valid whatever an instrument sent.
std::string CtlJsonText(const nlohmann::json& document);
// The instrument list's entries, "ADDRESS (IDN)", as {"address", "idn"}.
nlohmann::json DiscoveredListJson(const std::vector<std::string>& entries);
// "kfw", "kf4", or "" while the family is unknown.
std::string FamilyName(int familyCode);
