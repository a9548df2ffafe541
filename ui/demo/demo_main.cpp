// TavrinOperatorDemo: the operator program with the demonstration driver,
// for tools/demo.sh. The shipped TavrinOperator holds no such driver, so no
// environment variable can press its buttons.
#include <csignal>

#include "ui/demo/demo_driver.h"
#include "ui/operator_app.h"

int main(int argc, char** argv) {
  std::signal(SIGPIPE, SIG_IGN);
  return RunOperatorWindow(argc, argv, [](CInstrumentUpdaterDlg& window) { StartDemoDriver(window); });
}
