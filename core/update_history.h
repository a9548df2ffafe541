#pragma once
// The update history: "history.jsonl" beside the operation log, one JSON
// object per line for every operation on an instrument (who, where, which
// instrument, which package, the versions before and after, the result).
// The window and any number of tavrinctl runs append to the one file at
// once; each record goes out whole under the file's lock and is on disk
// before Append returns.
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// The versions an instrument reported; an empty text was not read.
struct InstrumentVersions {
  std::string package;
  std::string driver;
  std::string scpi;
  std::string ui;
  bool Empty() const { return package.empty() && driver.empty() && scpi.empty() && ui.empty(); }
};

// Where an instrument's versions were read: the package-version file over
// SSH, or ":system:info? ALL" over VXI-11 (driver and SCPI only).
enum class VersionSource { None, File, SystemInfo };

struct HistoryRecord {
  std::string time;      // UTC, ISO 8601, when the operation started
  std::string user;      // filled by Append
  std::string computer;  // filled by Append
  std::string program;   // filled by Append
  std::string address;   // where the operation started
  std::string addressAfter;  // where the instrument answered at the end, when it moved
  std::string model;
  std::string serial;
  std::string operation;  // "connect", "hostname", "upgrade" or "restore"
  std::string hostName;   // the name a hostname operation set
  std::string package;    // the package file's name, when one was used
  std::string packageMd5;
  InstrumentVersions before;  // read before the operation
  InstrumentVersions after;   // read back after it
  std::string result;         // "success", "failure" or "cancelled"
  std::string status;         // the operation's last status text
  long long durationMs = 0;
  std::vector<std::string> notes;  // what could not be read, and why
};

// "history.jsonl" in the directory of OperationLogPath().
std::string HistoryPath();
// "2026-03-07T09:05:03Z".
std::string UtcTimestamp(std::time_t when);

// The record as written, in a fixed key order; bytes that are not UTF-8
// become U+FFFD, so any JSON writer can dump it.
nlohmann::ordered_json HistoryRecordJson(const HistoryRecord& record);
// False when the line holds no JSON object (a damaged record).
bool ParseHistoryLine(const std::string& line, HistoryRecord& record);

class UpdateHistory {
 public:
  // `program` names the writer in every record ("TavrinOperator", "tavrinctl").
  UpdateHistory(std::string path, std::string program);

  // Fills user, computer and program, and appends the record as one line:
  // one write under an exclusive lock of the file, then fsync. False when
  // the file could not be written, or another holder kept the lock for 30 s.
  bool Append(HistoryRecord record) const;
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
  std::string program_;
};

struct HistoryReading {
  std::vector<HistoryRecord> records;  // in the file's order, oldest first
  std::vector<std::string> warnings;   // one per damaged line skipped
};

// The records whose serial number or address (at the start or the end)
// is `serialOrAddress`, all when it is empty. A missing file has none.
// Read under a shared lock, or without one when a writer held it for 30 s.
HistoryReading ReadHistory(const std::string& path, const std::string& serialOrAddress = "");
