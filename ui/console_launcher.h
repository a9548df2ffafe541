#pragma once
// Starting the console program in a terminal emulator of the desktop,
// without waiting for it. No window toolkit involved.
#include <string>
#include <vector>

// The terminal emulator's command for running `program argument`: the
// terminal named by $TERMINAL, then x-terminal-emulator, then a few common
// ones, each with the option it takes before a command. Empty when none is
// installed. `terminalEnv` and `path` are the values of TERMINAL and PATH.
std::vector<std::string> TerminalCommand(const std::string& terminalEnv, const std::string& path,
                                         const std::string& program,
                                         const std::string& argument);

// Starts `argv` as a process of its own session that nobody waits for.
// True when the program could be executed.
bool SpawnDetached(const std::vector<std::string>& argv);

// The whole console start: `program` must be an executable file, a
// terminal must be found, and it must start.
bool StartInTerminal(const std::string& program, const std::string& argument);
