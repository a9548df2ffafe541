#include "tavrinctl/ctl_inventory.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "tavrinctl/child_run.h"
#include "tavrinctl/csv_text.h"
#include "tavrinctl/ctl_report.h"
#include "tavrinctl/ctl_signals.h"

namespace {

// The identity fields of a connect's document, in the order of the columns.
const char* const kIdentityKeys[] = {"model",  "serial", "family", "package",
                                     "driver", "scpi",   "ui",     "hostname"};

nlohmann::json EmptyIdentity() {
  nlohmann::json identity = nlohmann::json::object();
  for (const char* key : kIdentityKeys) identity[key] = "";
  return identity;
}

struct Row {
  std::string address;
  nlohmann::json identity = EmptyIdentity();  // kIdentityKeys, empty until read
  std::string result = "failure";                      // success, failure or busy
  std::string error = CtlErrorCode(CtlError::Failed);  // empty on success
  std::string status;                                  // the run's last status text
};

nlohmann::json ParsedDocument(const std::string& printed) {
  nlohmann::json document = nlohmann::json::parse(printed, nullptr, false);
  return document.is_object() ? document : nlohmann::json();
}

std::string TextOf(const nlohmann::json& document, const char* key) {
  auto it = document.find(key);
  return it != document.end() && it->is_string() ? it->get<std::string>() : std::string();
}

// The row of one connect run, from the document it printed.
void FillRow(Row& row, const ChildResult& run, bool stopped) {
  const nlohmann::json document = ParsedDocument(run.out);
  if (document.is_null()) {
    // No document: the run never started, or was ended at once.
    row.error = CtlErrorCode(stopped ? CtlError::Cancelled : CtlError::Failed);
    return;
  }
  row.result = TextOf(document, "result");
  row.error = TextOf(document, "error");
  row.status = TextOf(document, "status");
  if (row.result != "success") return;
  for (const char* key : kIdentityKeys) row.identity[key] = TextOf(document, key);
}

// Prints a run's standard error, each line marked with its instrument, in
// one piece so that the runs' lines do not mix.
void PassOnDiagnostics(const std::string& address, const std::string& text, std::mutex& mutex) {
  if (text.empty()) return;
  std::string marked;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    marked += address + ": " + text.substr(start, end - start) + "\n";
    start = end + 1;
  }
  std::lock_guard<std::mutex> lock(mutex);
  std::fputs(marked.c_str(), stderr);
  std::fflush(stderr);
}

// An IPv4 address as the number it stands for, to sort by.
unsigned long AddressNumber(const std::string& address) {
  unsigned long number = 0;
  std::size_t start = 0;
  for (int part = 0; part < 4; ++part) {
    const std::size_t end = address.find('.', start);
    number = number * 256 + std::strtoul(address.substr(start, end - start).c_str(), nullptr, 10);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return number;
}

class Inventory {
 public:
  explicit Inventory(const CtlCommand& command) : command_(command) {}

  int Run(std::FILE* out) {
    CatchStopSignals();
    std::vector<std::string> addresses = command_.addresses;
    if (addresses.empty()) {
      const CtlError error = Discover(addresses);
      if (error != CtlError::None) return Finish(error, out);
    }
    rows_.resize(addresses.size());
    for (std::size_t i = 0; i < addresses.size(); ++i) rows_[i].address = addresses[i];
    ConnectAll();
    return Finish(Verdict(), out);
  }

 private:
  // Every instrument that `tavrinctl discover` lists.
  CtlError Discover(std::vector<std::string>& addresses) {
    const ChildResult run = RunWatched({"--json", "discover"}, "discover");
    const nlohmann::json document = ParsedDocument(run.out);
    if (document.is_null()) return children_.Stopped() ? CtlError::Cancelled : CtlError::Failed;
    auto instruments = document.find("instruments");
    if (instruments != document.end() && instruments->is_array())
      for (const auto& instrument : *instruments) {
        const std::string address = TextOf(instrument, "address");
        if (!address.empty() && std::find(addresses.begin(), addresses.end(), address) == addresses.end())
          addresses.push_back(address);
      }
    // In the order of the replies, the rows would differ from run to run.
    std::sort(addresses.begin(), addresses.end(), [](const std::string& a, const std::string& b) {
      return AddressNumber(a) < AddressNumber(b);
    });
    if (!addresses.empty()) return CtlError::None;
    const std::string code = TextOf(document, "error");
    if (code == CtlErrorCode(CtlError::DiscoveryFailed)) return CtlError::DiscoveryFailed;
    if (code == CtlErrorCode(CtlError::Cancelled)) return CtlError::Cancelled;
    return CtlError::NotFound;
  }

  // One run while the main thread watches for stop signals.
  ChildResult RunWatched(const std::vector<std::string>& arguments, const std::string& name) {
    ChildResult result;
    std::atomic<bool> done{false};
    std::thread runner([&] {
      result = children_.Run(arguments);
      done = true;
      Wake();
    });
    WatchUntil([&] { return done.load(); });
    runner.join();
    PassOnDiagnostics(name, result.err, printMutex_);
    return result;
  }

  void ConnectAll() {
    const std::size_t threads =
        std::min<std::size_t>(static_cast<std::size_t>(command_.jobs), rows_.size());
    std::vector<std::thread> pool;
    for (std::size_t i = 0; i < threads; ++i) pool.emplace_back([this] { TakeRows(); });
    WatchUntil([&] { return finished_.load() == threads; });
    for (std::thread& thread : pool) thread.join();
  }

  void TakeRows() {
    for (std::size_t i = next_++; i < rows_.size(); i = next_++) {
      Row& row = rows_[i];
      const ChildResult run = children_.Run({"--json", "connect", row.address});
      FillRow(row, run, children_.Stopped());
      PassOnDiagnostics(row.address, run.err, printMutex_);
    }
    ++finished_;
    Wake();
  }

  void Wake() {
    std::lock_guard<std::mutex> lock(waitMutex_);
    wakeup_.notify_all();
  }

  // Waits for `done`, passing the first stop signal on to the runs.
  template <typename Done>
  void WatchUntil(Done done) {
    std::unique_lock<std::mutex> lock(waitMutex_);
    while (!done()) {
      wakeup_.wait_for(lock, std::chrono::milliseconds(100));
      if (StopSignalsSeen() > 0 && !children_.Stopped()) {
        std::fprintf(stderr, "Cancelling... (Ctrl-C again quits at once)\n");
        children_.Stop();
      }
    }
  }

  CtlError Verdict() {
    if (StopSignalsSeen() > 0) return CtlError::Cancelled;
    for (const Row& row : rows_)
      if (row.result != "success") return CtlError::Incomplete;
    return CtlError::None;
  }

  int Finish(CtlError error, std::FILE* out) {
    if (command_.json) {
      PrintJson(error, out);
    } else {
      PrintCsv(out);
      PrintSummary(error);
    }
    return CtlExitStatus(error);
  }

  void PrintCsv(std::FILE* out) {
    std::vector<std::string> header = {"address"};
    header.insert(header.end(), std::begin(kIdentityKeys), std::end(kIdentityKeys));
    header.insert(header.end(), {"result", "error"});
    std::fputs(CsvRecord(header).c_str(), out);
    for (const Row& row : rows_) {
      std::vector<std::string> fields = {row.address};
      for (const char* key : kIdentityKeys) fields.push_back(TextOf(row.identity, key));
      fields.insert(fields.end(), {row.result, row.error});
      std::fputs(CsvRecord(fields).c_str(), out);
    }
  }

  void PrintSummary(CtlError error) {
    const auto answered = std::count_if(rows_.begin(), rows_.end(),
                                        [](const Row& row) { return row.result == "success"; });
    if (error == CtlError::NotFound) std::fprintf(stderr, "tavrinctl: no instrument found\n");
    if (error == CtlError::DiscoveryFailed)
      std::fprintf(stderr, "tavrinctl: discovery failed: no local IPv4 network to broadcast on\n");
    if (error == CtlError::Incomplete || error == CtlError::Cancelled)
      std::fprintf(stderr, "tavrinctl: %ld of %zu instruments answered\n",
                   static_cast<long>(answered), rows_.size());
  }

  void PrintJson(CtlError error, std::FILE* out) {
    CtlReport report;
    report.command = CtlCommandName(CtlAction::Inventory);
    report.error = error;
    nlohmann::json document = CtlReportJson(report);
    nlohmann::json instruments = nlohmann::json::array();
    for (const Row& row : rows_) {
      nlohmann::json entry = row.identity;
      entry["address"] = row.address;
      entry["result"] = row.result;
      entry["error"] = row.error.empty() ? nlohmann::json() : nlohmann::json(row.error);
      entry["status"] = row.status;
      instruments.push_back(entry);
    }
    document["instruments"] = instruments;
    std::fprintf(out, "%s\n", CtlJsonText(document).c_str());
  }

  const CtlCommand& command_;
  ChildRuns children_;
  std::vector<Row> rows_;
  std::atomic<std::size_t> next_{0};
  std::atomic<std::size_t> finished_{0};
  std::mutex waitMutex_;
  std::condition_variable wakeup_;
  std::mutex printMutex_;
};

}  // namespace

int RunInventoryCommand(const CtlCommand& command, std::FILE* out) {
  Inventory inventory(command);
  return inventory.Run(out);
}
