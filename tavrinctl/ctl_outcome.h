#pragma once
// What a run came to, judged from what the window would have shown: the
// statuses in their order, the log lines and the messages. The texts are
// the workflows' own; this is the one place that reads them as results.
#include <string>
#include <vector>

#include "tavrinctl/ctl_command.h"
#include "tavrinctl/ctl_report.h"

struct CtlRunRecord {
  CtlAction action = CtlAction::Connect;
  std::vector<std::string> statuses;  // every status text, in order
  std::vector<std::string> log;
  std::vector<std::string> messages;
  bool interrupted = false;  // a signal asked the run to stop
  // discover only
  int listed = 0;
  bool broadcast = true;  // at least one network was broadcast on
};

struct CtlOutcome {
  CtlError error = CtlError::None;  // None: the operation succeeded
  bool changed = false;
};

CtlOutcome JudgeRun(const CtlRunRecord& record);
