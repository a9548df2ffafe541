#include "instrument/ssh_diagnostics.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void WriteSshDiagnosticText(const char* text, std::size_t length) {
  std::string clean;
  clean.reserve(length);
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n' || c == '\t' || (c >= 0x20 && c != 0x7f)) clean.push_back(static_cast<char>(c));
  }
  std::fwrite(clean.data(), 1, clean.size(), stderr);
  std::fflush(stderr);
}

void SshDiagnostic(const char* format, ...) {
  char line[1024];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(line, sizeof line, format, args);
  va_end(args);
  if (n < 0) return;
  std::string text = "ssh: ";
  text.append(line, static_cast<std::size_t>(n) < sizeof line ? n : sizeof line - 1);
  text.push_back('\n');
  WriteSshDiagnosticText(text.data(), text.size());
}
