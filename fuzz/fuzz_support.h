#pragma once
// What the fuzz targets share: a private scratch directory and small file
// helpers. Every file a target writes lies in that directory.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// A directory of this process's own under $TMPDIR (or /tmp), ending in
// '/', made on first use and removed at exit.
const std::string& ScratchDirectory();

// Creates or truncates `path` with exactly these bytes; true when written.
bool WriteFile(const std::string& path, const void* data, std::size_t size);
bool WriteFile(const std::string& path, const std::string& content);
// The whole file; false when it cannot be opened.
bool ReadFile(const std::string& path, std::string& content);
bool Exists(const std::string& path);
// How many entries `directory` holds (without "." and "..").
std::size_t CountEntries(const std::string& directory);

// The input up to the next `separator` byte (or its end); the input moves
// past it.
std::string Take(const std::uint8_t*& data, std::size_t& size, char separator);

}  // namespace fuzz

// A fuzz target's own check failed: report and abort, so that libFuzzer
// keeps the input as a crash.
#define FUZZ_CHECK(condition)                                                          \
  do {                                                                                 \
    if (!(condition)) fuzz::CheckFailed(#condition, __FILE__, __LINE__);               \
  } while (0)

namespace fuzz {
[[noreturn]] void CheckFailed(const char* condition, const char* file, int line);
}
