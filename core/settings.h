#pragma once
// Settings of the operator program: where it lives, which instrument types
// it works with, where benchterm is installed.
#include <string>

class UpdaterController;

// Directory of the running executable, with its trailing '/'.
std::string ProgramDirectory();
// Makes every missing directory on the way to the last '/' of `filePath`.
bool EnsureDirectory(const std::string& filePath);

// "InstrumentType" of InstrumentConfig.json beside the program, lower-cased.
void LoadInstrumentTypes(UpdaterController& controller);
// The same from a given file (tests, tools).
void LoadInstrumentTypes(UpdaterController& controller, const std::string& configPath);
// TAVRINOPERATOR, empty when missing or longer than 259 bytes.
void LoadInstallDirectory(UpdaterController& controller);
// True when the lower-cased text contains one of the instrument types.
bool MatchesInstrumentType(const UpdaterController& controller, const std::string& idn);
