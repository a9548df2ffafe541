#pragma once
// The operator window's rules, free of any toolkit: initialisation, the
// buttons, the close question and the rendering of worker notices. The Qt
// dialog (or a test's recording view) is only its view.
#include <string>

#include "core/worker_notice.h"

class DesktopLauncher;
class OperationWorker;
class OperatorWindowView;
class UpdaterController;

// The address the window shows at start: a private address of the usual
// factory-default network.
constexpr unsigned char kDefaultAddress[4] = {192, 168, 1, 100};

constexpr const char* kCloseQuestion =
    "Operation in progress, are you sure you want to close the app?";

// The nine help lines shown in the log list at start (not logged to file).
extern const char* const kHelpLines[9];

class OperatorPresenter {
 public:
  // Sets the controller's view and its selected-address source.
  OperatorPresenter(UpdaterController& controller, OperatorWindowView& view,
                    OperationWorker& worker, DesktopLauncher& launcher);
  OperatorPresenter(const OperatorPresenter&) = delete;
  OperatorPresenter& operator=(const OperatorPresenter&) = delete;

  // The window's initialisation; starts the worker unless told not to.
  void Initialise(bool startWorker = true);

  void OnConnect();
  void OnApply();
  void OnUpgrade();
  void OnRestore();
  void OnDiscovery();
  void OnCancel();
  void OnIpMode();
  void OnDiscoveryMode();
  // The operator changed a number of the address field or picked another
  // discovered instrument: the login found for the old one is forgotten.
  void OnChoiceChanged();
  void OnPackageFieldFocus();
  void OnConsole();
  void OnWebUi();

  // Close button or Esc: true when the dialog may end (the running
  // operation has then been asked to cancel).
  bool OnCloseCommand();
  // Title bar, window menu or Alt+F4: true when the dialog may end.
  bool OnSystemClose();
  // Window destruction: cancel and join the worker.
  void Shutdown();

  void HandleNotice(const WorkerNotice& notice);

  // A line for the log list only (the operation log file is not written).
  void AddLogLine(const std::string& line);

 private:
  bool ConfirmClose();

  UpdaterController& controller_;
  OperatorWindowView& view_;
  OperationWorker& worker_;
  DesktopLauncher& launcher_;
  int widestLogLine_ = 0;
};
