#include "workflows/operation_worker.h"

#include <cstdio>
#include <exception>

#include "core/operation_codes.h"
#include "core/remote_shell.h"
#include "core/updater_controller.h"
#include "instrument/discovery.h"
#include "instrument/instrument_commands.h"
#include "workflows/history_recording.h"
#include "workflows/workflows.h"

OperationWorker::OperationWorker(UpdaterController& controller) : controller_(controller) {}

OperationWorker::OperationWorker(UpdaterController& controller, OperationTable operations)
    : controller_(controller), operations_(std::move(operations)) {}

OperationWorker::~OperationWorker() { Shutdown(); }

void OperationWorker::Request(int operation) {
  controller_.operationType = operation;
  controller_.cancelRequested = false;
  Wake();
}

void OperationWorker::RequestCancel() {
  if (controller_.sshProbeActive) ShellOf(controller_).Cancel();
  if (controller_.discoveryActive) stop_discovery();
  controller_.cancelRequested = true;
}

void OperationWorker::Shutdown() {
  controller_.cancelRequested = true;
  Stop();
}

void OperationWorker::Run() {
  while (WaitForRequest()) {
    if (controller_.cancelRequested) {
      // Cancelled before it started: nothing runs, but the window, which
      // disabled its controls at the request, still learns that it ended.
      controller_.PostNotice(NoticeOperationDone, std::string());
      continue;
    }
    int operation = controller_.operationType;
    controller_.operationBusy = true;
    StartOperationRecord(controller_, operation);
    try {
      if (operations_)
        operations_(controller_, operation);
      else
        Dispatch(operation);
    } catch (const std::exception& e) {
      // The worker must outlive a faulty operation; the window still gets
      // its completion notice.
      std::fprintf(stderr, "operation %d ended by an exception: %s\n", operation, e.what());
    }
    // Before the end is posted: the window may then request the next
    // operation, which changes what the record reads.
    FinishOperationRecord(controller_, operation);
    controller_.PostNotice(NoticeOperationDone, std::string());
    controller_.operationBusy = false;
  }
}

void OperationWorker::Dispatch(int operation) {
  switch (operation) {
    case OpConnect:
      RunConnect(controller_);
      break;
    case OpSetHostName:
      RunSetHostName(controller_);
      break;
    case OpUpgrade:
      RunUpgrade(controller_);
      break;
    case OpRestore:
      RunRestore(controller_, true, true);
      break;
    case OpUpgradeCheck:
      RunUpgradeCheck(controller_);
      break;
    case OpDiscover:
      begin_discovery();
      controller_.discoveryActive = true;
      // A Cancel since the request found no discovery to stop yet.
      if (controller_.cancelRequested) stop_discovery();
      discover_instruments(collect_instrument);
      controller_.discoveryActive = false;
      controller_.PostNotice(NoticeDiscoveryDone, std::string());
      break;
    default:
      break;  // only the completion notice
  }
}
