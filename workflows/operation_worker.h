#pragma once
// The worker thread of the operator window and its dispatcher.
#include <functional>

#include "core/cthread.h"

class UpdaterController;

class OperationWorker : public CThread {
 public:
  explicit OperationWorker(UpdaterController& controller);
  // Runs `operations` in place of the operation table (the dispatcher's
  // own logic is then exercised without an instrument).
  using OperationTable = std::function<void(UpdaterController&, int operation)>;
  OperationWorker(UpdaterController& controller, OperationTable operations);
  ~OperationWorker() override;

  // Window thread: sets operationType, clears cancelRequested, wakes.
  void Request(int operation);
  // The Cancel button: interrupts an SSH probe or a discovery, then sets
  // cancelRequested.
  void RequestCancel();
  // Window destruction: sets cancelRequested and joins the worker.
  void Shutdown();

 protected:
  void Run() override;

 private:
  void Dispatch(int operation);
  UpdaterController& controller_;
  OperationTable operations_;
};
