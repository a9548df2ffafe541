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

// `text` between single quotes, safe as one word for any POSIX shell.
std::string ShellQuoted(const std::string& text);

// The text ShellSinkCommand's command prints once the file is written.
extern const char* const kShellSinkDone;

// For an instrument without scp: its shell writes standard input to the
// file scp would have written (PATH itself, or the local base name inside
// PATH when that is a directory), then prints kShellSinkDone.
std::string ShellSinkCommand(const std::string& localPath, const std::string& remotePath);
