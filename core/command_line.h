#pragma once
// The four run modes of TavrinOperator, chosen from the command line: the
// program path and the arguments joined by single blanks.
#include <string>

enum class RunMode { Interactive, ScriptCompanion, PackageKfw, PackageKf4 };

std::string JoinCommandLine(int argc, char** argv);
RunMode SelectRunMode(const std::string& commandLine);
// The two arguments after the mode's flag, split at " -o ", trimmed of
// double quotes and blanks. Only for a packaging mode.
void ExtractArguments(const std::string& commandLine, RunMode mode, std::string& first,
                      std::string& second);
