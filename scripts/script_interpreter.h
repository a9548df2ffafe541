#pragma once
// The update-script language: each line at most one command on the
// instrument, with variables, if blocks, echo, scp, reboot and exit.
#include <map>
#include <string>

class UpdaterController;

using ScriptVariables = std::map<std::string, std::string>;

enum ScriptResult {
  ScriptSuccess = 1,
  ScriptError = 2,
  ScriptExit = 3,
  ScriptExitVersion = 4,
  ScriptReconnectFailed = 5,
  ScriptCancelled = 6,
};

extern const char* const kTestSuffix;  // " >/dev/null 2>&1 && sync && echo yes || echo no"

ScriptResult RunScriptSection(UpdaterController& controller, const std::string& piece,
                              ScriptVariables& variables);
void NormalizeLine(std::string& line);
void ExpandVariables(std::string& line, const ScriptVariables& variables);
