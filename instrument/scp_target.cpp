#include "instrument/scp_target.h"

#include <cstdio>
#include <vector>

bool ParseScpTarget(const char* target, ScpTarget* parsed) {
  if (target == nullptr) return false;
  std::string text(target);
  std::size_t colon = text.find(':');
  if (colon == std::string::npos) return false;
  std::string hostPart = text.substr(0, colon);
  if (hostPart.find_first_of("/\\") != std::string::npos) return false;
  std::size_t at = hostPart.rfind('@');
  parsed->user = at == std::string::npos ? std::string() : hostPart.substr(0, at);
  parsed->host = at == std::string::npos ? hostPart : hostPart.substr(at + 1);
  parsed->path = text.substr(colon + 1);
  if (parsed->path.empty()) parsed->path = ".";
  return !parsed->host.empty();
}

std::string ScpBaseName(const std::string& localPath) {
  std::size_t cut = localPath.find_last_of("/\\:");
  return cut == std::string::npos ? localPath : localPath.substr(cut + 1);
}

std::string ScpSinkCommand(const std::string& localPath, const std::string& remotePath) {
  bool wildcard = ScpBaseName(localPath).find_first_of("*?[") != std::string::npos;
  const char* format = "scp%s%s%s%s -t %s";
  int length = std::snprintf(nullptr, 0, format, "", "", "", wildcard ? " -d" : "",
                             remotePath.c_str());
  std::vector<char> command(static_cast<std::size_t>(length) + 1);
  std::snprintf(command.data(), command.size(), format, "", "", "", wildcard ? " -d" : "",
                remotePath.c_str());
  return std::string(command.data(), static_cast<std::size_t>(length));
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

const char* const kShellSinkDone = "written\n";

std::string ShellSinkCommand(const std::string& localPath, const std::string& remotePath) {
  return "p=" + ShellQuoted(remotePath) + "; [ -d \"$p\" ] && p=\"${p%/}\"/" +
         ShellQuoted(ScpBaseName(localPath)) + "; cat >\"$p\" && echo written";
}
