#pragma once
// One tavrinctl run: the controller, the worker and the console view set up
// as the window sets them up, one operation, its notices printed on `out`.
#include <cstdio>

#include "tavrinctl/ctl_command.h"

// Returns the exit status (see CtlExitStatus).
int RunCtlCommand(const CtlCommand& command, std::FILE* out);
