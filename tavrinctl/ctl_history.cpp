#include "tavrinctl/ctl_history.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/update_history.h"

#include "tavrinctl/ctl_report.h"

namespace {

std::string OrDash(const std::string& text) { return text.empty() ? "-" : text; }

// "2.4.1" when the package stayed, "2.4.1->2.5.0" when it changed.
std::string PackageVersions(const HistoryRecord& record) {
  const std::string& before = record.before.package;
  const std::string& after = record.after.package;
  if (before == after) return OrDash(before);
  return (before.empty() ? "?" : before) + "->" + (after.empty() ? "?" : after);
}

std::string AddressOf(const HistoryRecord& record) {
  return record.addressAfter.empty() ? record.address : record.address + "->" + record.addressAfter;
}

// The package file of an upgrade, the name a hostname change set.
std::string DetailOf(const HistoryRecord& record) {
  return OrDash(!record.package.empty() ? record.package : record.hostName);
}

std::string Seconds(long long milliseconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(milliseconds) / 1000.0);
  return text;
}

std::vector<std::string> Columns(const HistoryRecord& record) {
  return {record.time,
          OrDash(record.operation),
          OrDash(record.result),
          OrDash(AddressOf(record)),
          OrDash(record.model),
          OrDash(record.serial),
          PackageVersions(record),
          DetailOf(record),
          Seconds(record.durationMs),
          OrDash(record.user) + "@" + OrDash(record.computer),
          OrDash(record.program),
          // How it ended, where the result alone does not say.
          record.result == "success" ? std::string() : record.status};
}

const std::vector<std::string> kHeader = {"time",  "operation", "result",   "address",
                                          "model", "serial",    "package",  "file/name",
                                          "took",  "by",        "program",  "status"};

// Text that is not UTF-8 stays as read; the terminal shows what it can.
std::string Line(const std::vector<std::string>& columns, const std::vector<std::size_t>& widths) {
  std::string line;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    line += columns[i];
    if (i + 1 < columns.size()) line += std::string(widths[i] - columns[i].size() + 2, ' ');
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  return line;
}

void PrintJson(const HistoryReading& reading, std::FILE* out) {
  CtlReport report;
  report.command = "history";
  nlohmann::json document = CtlReportJson(report);
  nlohmann::json records = nlohmann::json::array();
  for (const HistoryRecord& record : reading.records)
    records.push_back(nlohmann::json::parse(HistoryRecordJson(record).dump()));
  document["records"] = records;
  document["warnings"] = reading.warnings;
  std::fprintf(out, "%s\n", CtlJsonText(document).c_str());
}

// A header, then one line per record with its columns aligned; nothing
// when there are no records.
std::vector<std::string> HistoryTable(const std::vector<HistoryRecord>& records) {
  if (records.empty()) return {};
  std::vector<std::vector<std::string>> rows = {kHeader};
  for (const HistoryRecord& record : records) rows.push_back(Columns(record));
  std::vector<std::size_t> widths(kHeader.size(), 0);
  for (const auto& row : rows)
    for (std::size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], row[i].size());
  std::vector<std::string> lines;
  for (const auto& row : rows) lines.push_back(Line(row, widths));
  return lines;
}

// A record is appended when its operation ends, and stamped with its start:
// runs side by side end out of the order they began in.
void SortByStart(std::vector<HistoryRecord>& records) {
  std::stable_sort(records.begin(), records.end(),
                   [](const HistoryRecord& a, const HistoryRecord& b) { return a.time < b.time; });
}

}  // namespace

int RunHistoryCommand(const CtlCommand& command, std::FILE* out) {
  const std::string path = HistoryPath();
  HistoryReading reading = ReadHistory(path, command.argument);
  SortByStart(reading.records);
  for (const std::string& warning : reading.warnings)
    std::fprintf(stderr, "tavrinctl: %s\n", warning.c_str());
  if (command.json) {
    PrintJson(reading, out);
    return 0;
  }
  for (const std::string& line : HistoryTable(reading.records)) std::fprintf(out, "%s\n", line.c_str());
  if (reading.records.empty())
    std::fprintf(stderr, "tavrinctl: no records%s%s in %s\n",
                 command.argument.empty() ? "" : " of ", command.argument.c_str(), path.c_str());
  return 0;
}
