#pragma once
// The toolkit-free part of the application's start: the packaging modes.
#include <string>

#include "core/command_line.h"

// Opens the operation log (the run header), runs the packaging mode and
// returns the exit status. Touches no window toolkit.
int RunPackagingMode(RunMode mode, const std::string& commandLine);
