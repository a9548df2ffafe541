#pragma once
// The toolkit-free core of the operator window: settings, scripts,
// operation state, the instrument connection and the request data. It is a
// state holder; the operations that use it live in the layer that owns them
// and take it as their first argument.
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/operation_codes.h"
#include "core/script_set.h"
#include "core/update_history.h"
#include "core/worker_notice.h"

class Clock;
class NoticeSink;
class OperationLog;
class OperatorView;
class RemoteShell;

class UpdaterController {
 public:
  UpdaterController();
  ~UpdaterController();
  UpdaterController(const UpdaterController&) = delete;
  UpdaterController& operator=(const UpdaterController&) = delete;

  // Settings (read when the window initialises).
  std::vector<std::string> instrumentTypes;  // lower-cased
  std::string installDirectory;              // TAVRINOPERATOR, at most 259 bytes
  ScriptSet scriptSets[kFamilyCount];

  // Operation state. The flags cross threads and are atomic; the other
  // fields are written by the window only while the worker is idle.
  std::atomic<int> operationType{OpNone};
  std::atomic<bool> cancelRequested{false};
  std::atomic<bool> operationBusy{false};
  std::atomic<bool> discoveryActive{false};
  std::atomic<bool> sshProbeActive{false};
  double progressValue = 0;
  double progressStep = 0;
  std::string targetAddress;

  // Instrument connection, filled by the credential probe.
  std::string userName;
  std::string password;
  int familyCode = 0;   // 0 none, 1 kfw, 2 kf4
  int familyIndex = 0;  // 0 kfw, 1 kf4
  // Why the last login failed, when the shell could name a cause the
  // operator should see (for example SSH algorithms that do not meet).
  std::string loginFailureCause;

  // Request data of the workflows.
  std::string packagePath;  // the package file chosen for an upgrade
  std::string sourceFilePath;
  std::string sourceFileName;
  // Decoded archives go to "data/" beside the program, or to this directory
  // under it when set: runs side by side then never share an archive.
  std::string dataSubdirectory;
  std::string hostNameToSet;

  // Seams, set by whoever builds the controller; none is owned.
  NoticeSink* noticeSink = nullptr;  // null: notices are dropped
  RemoteShell* shell = nullptr;      // null: RunInstrumentCommand uses SSH
  Clock* clock = nullptr;            // null: the system clock
  OperatorView* view = nullptr;      // the window's view (window thread only)
  // The address of the instrument chosen in the window right now.
  std::function<std::string()> selectedAddress;

  // The operation log; null until the owner opens it.
  std::unique_ptr<OperationLog> log;
  // The update history; null (nothing recorded) until the owner opens it.
  std::unique_ptr<UpdateHistory> history;
  // The running operation's record, written by the worker while it runs
  // (workflows/history_recording.h); a connect's is completed by the
  // window's thread when it shows the identity, before the operation's
  // end lets another request in.
  struct OperationRecord {
    HistoryRecord record;
    std::chrono::steady_clock::time_point started;
    bool instrumentReached = false;  // the connection check passed
    VersionSource versionSource = VersionSource::None;  // what answered before
  } operationRecord;

  // Posts a notice to the window; callable from any thread, never waits.
  void PostNotice(int code, const std::string& text, double value = 0);
  void PostLog(const std::string& text) { PostNotice(NoticeLog, text); }
  void PostStatus(const std::string& text) { PostNotice(NoticeStatus, text); }
  void PostProgress(double percent) { PostNotice(NoticeProgress, std::string(), percent); }

  bool IsCancelRequested() const { return cancelRequested.load(); }

  // The last status posted since ClearLastStatus: how an operation ended.
  std::string LastStatus() const;
  void ClearLastStatus();

  // The family's script set, or null when familyIndex selects none.
  const ScriptSet* CurrentScriptSet() const;

  Clock& GetClock();

 private:
  mutable std::mutex statusMutex_;
  std::string lastStatus_;
};
