#pragma once
// tavrinctl history: the update history's records by their start, oldest
// first, as a table or, with --json, as the document's "records".
#include <cstdio>

#include "tavrinctl/ctl_command.h"

// Returns the exit status. Damaged lines are skipped with a warning on
// standard error.
int RunHistoryCommand(const CtlCommand& command, std::FILE* out);
