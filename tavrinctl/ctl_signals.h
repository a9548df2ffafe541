#pragma once
// Ctrl-C, SIGTERM and SIGHUP end a run as Cancel does in the window: the
// first one asks the running operation to stop, the line it runs finishes
// and the run ends as usual. A second one quits at once with exit status
// 128 + its number, removing the run's decoded package on the way out.
#include <string>

void CatchStopSignals();
// How many stop signals have come so far.
int StopSignalsSeen();
// What a quit at once removes: a file, then a directory if it is empty.
// Either may be empty. Set each once, from the main thread.
void SetQuitLeftovers(const std::string& file, const std::string& directory);
