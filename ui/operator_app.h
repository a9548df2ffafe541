#pragma once
// The interactive mode: single instance, then the window, run modally.
#include <functional>

class CInstrumentUpdaterDlg;
class SingleInstance;

// Called once the window is open, before it runs modally.
using WindowOpenedHook = std::function<void(CInstrumentUpdaterDlg&)>;

int RunOperatorWindow(int argc, char** argv, const WindowOpenedHook& opened = WindowOpenedHook());

// Runs the window of the instance that holds the lock until the window
// closes, answering later starts' raise requests meanwhile; then gives up
// the lock and the operation log, even while the worker still finishes its
// line (the window object joins it when destroyed).
int RunHeldWindow(CInstrumentUpdaterDlg& window, SingleInstance& instance,
                  const WindowOpenedHook& opened = WindowOpenedHook());
