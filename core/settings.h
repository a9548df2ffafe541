#pragma once
// Settings of the operator program: where it lives, which instrument types
// it works with, where benchterm is installed.
#include <string>

class UpdaterController;

// Directory of the running executable, with its trailing '/'.
std::string ProgramDirectory();
// Where the program writes (the operation log, data/ and the packaging
// modes' default packages), with its trailing '/': the program directory
// when the program is not installed (a build run in place, a copy the user
// owns), otherwise $XDG_STATE_HOME/TavrinOperator/
// (~/.local/state/TavrinOperator/), created when missing, whoever runs it.
// Installed is a program directory in the system's program trees (/usr/,
// /opt/) or one the user cannot write. What the program reads stays in the
// program directory.
std::string WritableDirectory();
// The same choice for a given program directory and environment values
// (null when unset).
std::string WritableDirectory(const std::string& programDirectory, const char* stateHome,
                              const char* home);
// Makes every missing directory on the way to the last '/' of `filePath`.
bool EnsureDirectory(const std::string& filePath);

// "InstrumentType" of InstrumentConfig.json beside the program, lower-cased.
void LoadInstrumentTypes(UpdaterController& controller);
// The same from a given file (tests, tools).
void LoadInstrumentTypes(UpdaterController& controller, const std::string& configPath);
// TAVRINOPERATOR, empty when missing or longer than 259 bytes.
void LoadInstallDirectory(UpdaterController& controller);
// The directory that holds benchterm, without a trailing '/': the install
// directory when TAVRINOPERATOR names one, otherwise the program directory,
// where an installed or built benchterm lies beside the window.
std::string ConsoleDirectory(const UpdaterController& controller);
// True when the lower-cased text contains one of the instrument types.
bool MatchesInstrumentType(const UpdaterController& controller, const std::string& idn);
