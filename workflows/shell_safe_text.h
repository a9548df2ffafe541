#pragma once
// Texts that the update scripts expand into shell command lines on the
// instrument (the hostname, the uploaded archive's name) must not carry
// characters the instrument's shell would interpret.
#include <string>

// True when `text` holds none of the quotes, backslash, $, backquote, ;, &,
// |, <, >, parentheses, braces, *, ?, [, ], !, #, ~ and no control
// character other than a blank (space or tab).
bool IsShellSafeText(const std::string& text);

extern const char* const kHostNameNotShellSafe;
extern const char* const kPackageNameNotShellSafe;
