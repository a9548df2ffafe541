#pragma once
// Diagnostics of the SSH channel. They go to standard error with control
// characters removed, since much of their text comes from the instrument.
#include <cstddef>

// Writes `length` bytes, keeping printable text, tabs and line feeds.
void WriteSshDiagnosticText(const char* text, std::size_t length);

// Formats one line, prefixed with "ssh: " and ended by a line feed.
void SshDiagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));
