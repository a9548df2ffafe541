#pragma once
// Runs of this program in child processes, as inventory starts them: each
// in a process group of its own, so that a Ctrl-C at the terminal reaches
// only the parent, which passes one stop on to every child still running.
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include <sys/types.h>

struct ChildResult {
  int status = -1;  // exit status; -1 when it did not exit normally
  std::string out;  // its standard output
  std::string err;  // its standard error
};

class ChildRuns {
 public:
  // Runs this program with `arguments` and waits for its end; callable
  // from several threads at once. A run asked for after Stop does not
  // start (status -1).
  ChildResult Run(const std::vector<std::string>& arguments);
  // Sends SIGTERM, once, to every child running now, and starts no more.
  void Stop();
  bool Stopped();

 private:
  std::mutex mutex_;
  std::set<pid_t> running_;
  bool stopped_ = false;
};
