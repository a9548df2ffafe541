#include "workflows/history_recording.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <vector>

#include "core/operation_codes.h"
#include "core/update_history.h"
#include "core/updater_controller.h"
#include "instrument/instrument_info.h"
#include "scripts/md5.h"
#include "workflows/operation_endings.h"
#include "workflows/workflow_support.h"

namespace {

using SteadyClock = std::chrono::steady_clock;

const char* OperationName(int operation) {
  switch (operation) {
    case OpConnect: return "connect";
    case OpSetHostName: return "hostname";
    case OpUpgrade: return "upgrade";
    case OpRestore: return "restore";
    // Discovery reaches no one instrument; an upgrade check changes
    // nothing, and the history tells what was done to instruments.
    default: return nullptr;
  }
}

std::string ResultOf(int operation, const std::string& status) {
  if (!status.empty() && status == EndingsOf(operation).success) return "success";
  const std::string cancelled = "cancelled.";
  if (status.size() >= cancelled.size() &&
      status.compare(status.size() - cancelled.size(), cancelled.size(), cancelled) == 0)
    return "cancelled";
  return "failure";
}

// The MD5 of the whole file, as md5sum shows it; empty when unreadable.
std::string FileMd5(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::string();
  Md5 md5;
  std::vector<char> piece(256 * 1024);
  while (in.read(piece.data(), static_cast<std::streamsize>(piece.size())) || in.gcount() > 0)
    md5.Update(piece.data(), static_cast<std::size_t>(in.gcount()));
  return in.bad() ? std::string() : md5.FinalHex();
}

long long MillisecondsSince(SteadyClock::time_point started) {
  const auto elapsed = SteadyClock::now() - started;
  return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

void Append(const UpdaterController& controller, const HistoryRecord& record) {
  if (!controller.history->Append(record))
    std::fprintf(stderr, "update history: cannot write %s\n", controller.history->Path().c_str());
}

}  // namespace

void StartOperationRecord(UpdaterController& controller, int operation) {
  if (!controller.history || OperationName(operation) == nullptr) return;
  UpdaterController::OperationRecord& current = controller.operationRecord;
  current = UpdaterController::OperationRecord();
  current.started = SteadyClock::now();
  HistoryRecord& record = current.record;
  record.time = UtcTimestamp(std::time(nullptr));
  record.address = controller.targetAddress;
  record.operation = OperationName(operation);
  if (operation == OpSetHostName) record.hostName = controller.hostNameToSet;
  if (operation == OpUpgrade) {
    record.package = FileNameOf(controller.packagePath);
    record.packageMd5 = FileMd5(controller.packagePath);
    if (record.packageMd5.empty())
      record.notes.push_back("the package file could not be read for its MD5");
  }
  controller.ClearLastStatus();
}

void RecordInstrumentBefore(UpdaterController& controller) {
  if (!controller.history) return;
  UpdaterController::OperationRecord& current = controller.operationRecord;
  current.instrumentReached = true;
  HistoryRecord& record = current.record;
  if (!QueryModelAndSerial(controller.targetAddress, record.model, record.serial))
    record.notes.push_back("model and serial number not read: no answer to \"*IDN?\"");
  current.versionSource = ReadInstrumentVersions(controller, record.before);
  if (current.versionSource == VersionSource::None)
    record.notes.push_back("versions before not read: the instrument did not answer");
}

void FinishOperationRecord(UpdaterController& controller, int operation) {
  if (!controller.history || operation == OpConnect || OperationName(operation) == nullptr) return;
  UpdaterController::OperationRecord& current = controller.operationRecord;
  HistoryRecord& record = current.record;
  if (current.instrumentReached) {
    if (controller.targetAddress != record.address) record.addressAfter = controller.targetAddress;
    // The source that answered before, so that both readings compare and
    // an instrument that went away costs one source's time-out, not two.
    if (ReadInstrumentVersions(controller, record.after, current.versionSource) ==
        VersionSource::None)
      record.notes.push_back("versions after not read: the instrument did not answer");
  } else {
    record.notes.push_back("the instrument was not reached");
  }
  record.status = controller.LastStatus();
  record.result = ResultOf(operation, record.status);
  record.durationMs = MillisecondsSince(current.started);
  Append(controller, record);
}

void RecordConnectIdentity(UpdaterController& controller, const DeviceIdentity& identity) {
  if (!controller.history || !identity.shown || controller.operationType != OpConnect) return;
  const UpdaterController::OperationRecord& current = controller.operationRecord;
  HistoryRecord record = current.record;
  record.model = identity.model;
  record.serial = identity.serial;
  // A connect changes nothing: what it read is the state before and after.
  record.before = identity.versions;
  record.after = identity.versions;
  if (identity.versions.Empty())
    record.notes.push_back("versions not read: the instrument did not answer");
  record.status = controller.LastStatus();
  record.result = ResultOf(OpConnect, record.status);
  record.durationMs = MillisecondsSince(current.started);
  Append(controller, record);
}
