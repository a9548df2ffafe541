#pragma once
// Runs the built tavrinctl and collects what it printed.
#include <functional>
#include <vector>
#include <string>

struct CtlRun {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// `arguments` are passed through the shell.
CtlRun RunCtl(const std::string& arguments);

// Starts tavrinctl, calls `onLine` with each line of its standard output as
// it arrives (it returns true to send the program one SIGINT), and waits.
CtlRun RunCtlInterrupting(const std::vector<std::string>& arguments,
                          const std::function<bool(const std::string&)>& onLine);
