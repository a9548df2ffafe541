#include "ui/operator_app.h"

#include <QApplication>
#include <QSocketNotifier>
#include <memory>

#include "core/single_instance.h"
#include "ui/operator_window.h"

int RunHeldWindow(CInstrumentUpdaterDlg& window, SingleInstance& instance,
                  const WindowOpenedHook& opened) {
  std::unique_ptr<QSocketNotifier> raiseRequests;
  if (instance.ListenFd() >= 0) {
    raiseRequests = std::make_unique<QSocketNotifier>(instance.ListenFd(), QSocketNotifier::Read);
    QObject::connect(raiseRequests.get(), &QSocketNotifier::activated, &window.Dialog(), [&] {
      if (instance.ReadRaiseRequest()) window.Dialog().BringToFront();
    });
  }
  window.Open();
  // After the initialisation, which may have asked its own question.
  if (opened) opened(window);
  window.DoModal();
  // The worker may still be finishing the line it runs on the instrument,
  // which is never cut short. Meanwhile the process shows nothing, so it
  // must not keep a later start away: the log and the lock are given up
  // now, and the worker is joined when the window object goes.
  window.EndAfterClose();
  raiseRequests.reset();
  instance.Release();
  return 0;
}

int RunOperatorWindow(int argc, char** argv, const WindowOpenedHook& opened) {
  // One window per user: a later start asks the first to come to the front
  // and ends without showing anything (nor opening the log).
  SingleInstance instance;
  if (!instance.Acquire()) {
    instance.NotifyFirst();
    return 0;
  }
  QApplication application(argc, argv);
  application.setApplicationName("TavrinOperator");
  CInstrumentUpdaterDlg window;
  return RunHeldWindow(window, instance, opened);
}
