#pragma once
// The remote target of a copy, "[user@]host:path", and the sink command.
#include <string>

struct ScpTarget {
  std::string user;  // empty: the caller's user name applies
  std::string host;
  std::string path;  // "." when the target names no path
};

// Splits `target` at its first colon; false when there is none or the host
// part holds '/' or '\\' (then it would be a local path).
bool ParseScpTarget(const char* target, ScpTarget* parsed);

// The part of a local path after the last '/', '\\' or drive colon.
std::string ScpBaseName(const std::string& localPath);

// The sink command: "scp -t PATH", with " -d" when the local name is a
// wildcard pattern.
std::string ScpSinkCommand(const std::string& localPath, const std::string& remotePath);
