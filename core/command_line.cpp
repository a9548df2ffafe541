#include "core/command_line.h"

#include <cctype>

namespace {

// Every flag, " -o " included, is four characters long.
constexpr std::string::size_type kFlagLength = 4;

std::string LowerCopy(const std::string& text) {
  std::string lower = text;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

// A flag counts only after the program path, never at the very start.
bool FoundAfterStart(const std::string& lower, const char* flag, std::string::size_type& at) {
  at = lower.find(flag);
  return at != std::string::npos && at >= 1;
}

const char* FlagOf(RunMode mode) {
  switch (mode) {
    case RunMode::ScriptCompanion: return " -s ";
    case RunMode::PackageKfw: return " -p ";
    case RunMode::PackageKf4: return " -p4";
    default: return nullptr;
  }
}

std::string TrimQuotesAndBlanks(const std::string& text) {
  const char* junk = "\" ";
  const auto begin = text.find_first_not_of(junk);
  if (begin == std::string::npos) return std::string();
  const auto end = text.find_last_not_of(junk);
  return text.substr(begin, end - begin + 1);
}

}  // namespace

std::string JoinCommandLine(int argc, char** argv) {
  std::string line;
  for (int i = 0; i < argc; ++i) {
    if (i > 0) line += ' ';
    if (argv[i] != nullptr) line += argv[i];
  }
  return line;
}

RunMode SelectRunMode(const std::string& commandLine) {
  const std::string lower = LowerCopy(commandLine);
  std::string::size_type at = 0;
  // The order is fixed: -s wins over -p, which wins over -p4.
  if (FoundAfterStart(lower, " -s ", at)) return RunMode::ScriptCompanion;
  if (FoundAfterStart(lower, " -p ", at)) return RunMode::PackageKfw;
  if (FoundAfterStart(lower, " -p4", at)) return RunMode::PackageKf4;
  return RunMode::Interactive;
}

void ExtractArguments(const std::string& commandLine, RunMode mode, std::string& first,
                      std::string& second) {
  first.clear();
  second.clear();
  const char* flag = FlagOf(mode);
  if (flag == nullptr) return;
  const std::string lower = LowerCopy(commandLine);
  const auto f = lower.find(flag);
  if (f == std::string::npos) return;
  const auto o = lower.find(" -o ");
  if (o != std::string::npos) {
    // A " -o " in front of the flag leaves the first argument empty.
    if (o > f + kFlagLength) first = commandLine.substr(f + kFlagLength, o - f - kFlagLength);
    second = commandLine.substr(o + kFlagLength);
  } else {
    first = commandLine.substr(f + kFlagLength);
  }
  first = TrimQuotesAndBlanks(first);
  second = TrimQuotesAndBlanks(second);
}
