#pragma once
// Runs the built tavrinctl and collects what it printed.
#include <functional>
#include <vector>
#include <string>

// The whole file; empty when it cannot be read.
std::string ReadFile(const std::string& path);

struct CtlRun {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// `arguments` are passed through the shell; `launcher`, when given, runs
// the program (for example "unshare -n").
CtlRun RunCtl(const std::string& arguments, const std::string& launcher = std::string());

// Starts tavrinctl, calls `onLine` with each line of its standard output as
// it arrives (it returns true to send the program one SIGINT), and waits.
CtlRun RunCtlInterrupting(const std::vector<std::string>& arguments,
                          const std::function<bool(const std::string&)>& onLine);

// Starts tavrinctl with `arguments`, waits until the run has written to
// `runLog` (its instrument's log, opened once its signals are caught), sends
// it each of `signals` with a short pause between, and waits for its end.
CtlRun RunCtlSignalled(const std::vector<std::string>& arguments, const std::string& runLog,
                       const std::vector<int>& signals);
