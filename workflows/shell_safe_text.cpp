#include "workflows/shell_safe_text.h"

#include <cstring>

const char* const kHostNameNotShellSafe =
    "The hostname must not contain quotes, \\, $, `, ;, &, |, <, >, (, ), {, }, *, ?, [, ], "
    "!, #, ~ or control characters.";
const char* const kPackageNameNotShellSafe =
    "The upgrade package file name must not contain quotes, \\, $, `, ;, &, |, <, >, (, ), {, "
    "}, *, ?, [, ], !, #, ~ or control characters.";

namespace {
constexpr const char kShellCharacters[] = "'\"\\$`;&|<>(){}*?[]!#~";

bool IsForbidden(unsigned char c) {
  if (c == ' ' || c == '\t') return false;
  if (c < 0x20 || c == 0x7F) return true;
  return std::strchr(kShellCharacters, c) != nullptr;
}
}  // namespace

bool IsShellSafeText(const std::string& text) {
  for (unsigned char c : text)
    if (IsForbidden(c)) return false;
  return true;
}
