#pragma once
// One tavrinctl run: the controller, the worker and the console view set up
// as the window sets them up, one operation, its notices printed.
#include "tavrinctl/ctl_command.h"

// Returns the exit status (0 success, 1 otherwise).
int RunCtlCommand(const CtlCommand& command);
