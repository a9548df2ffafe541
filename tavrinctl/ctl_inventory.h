#pragma once
// tavrinctl inventory: one connect run per instrument, at most --jobs at
// once, each a tavrinctl run of its own (its lock, its log, its history
// record), and one row per instrument from what each run reported: CSV
// with a header row, or the JSON document's "instruments". An instrument
// that did not answer, or was busy, gets its row with that result.
#include <cstdio>

#include "tavrinctl/ctl_command.h"

// Returns the exit status: 0 when every instrument answered.
int RunInventoryCommand(const CtlCommand& command, std::FILE* out);
