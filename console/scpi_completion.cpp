#include "console/scpi_completion.h"

#include <cctype>

namespace console {

namespace {

const char* const kCommonWords[] = {"*IDN?", "*RST",  "*CLS",          "*ESR?",
                                    "*STB?", "*OPC?", ":SYSTem:ERRor?"};

bool begins_with(const std::string& word, const std::string& prefix) {
  if (prefix.size() > word.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(word[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  }
  return true;
}

}  // namespace

std::string scpi_completion(const std::string& typed) {
  // Several commands may share a line: "*CLS;*ESR?".
  std::string::size_type start = typed.find_last_of(" \t;");
  std::string prefix = typed.substr(start == std::string::npos ? 0 : start + 1);
  if (prefix.empty()) return std::string();
  std::string shared;
  bool any = false;
  for (const char* candidate : kCommonWords) {
    std::string word(candidate);
    if (!begins_with(word, prefix)) continue;
    std::string rest = word.substr(prefix.size());
    if (!any) {
      shared = rest;
      any = true;
      continue;
    }
    std::string::size_type same = 0;
    while (same < shared.size() && same < rest.size() && shared[same] == rest[same]) ++same;
    shared.resize(same);
  }
  return shared;
}

}  // namespace console
