#pragma once
// Where a captured command's standard output goes: the caller's fixed
// buffer (never terminated here; the caller zero-fills one byte more) and
// a 256-byte comparison buffer checked against the expected text.
#include <cstddef>

class SshOutputCapture {
 public:
  static constexpr std::size_t kCompareSize = 256;

  // Any of `expected` and `output` may be null.
  SshOutputCapture(const char* expected, char* output, std::size_t outputCapacity);

  // Takes the next bytes of output; what exceeds both limits is dropped.
  void Append(const char* data, std::size_t length);

  // True when the first 256 bytes, up to a zero byte, equal `expected`.
  bool Matches() const;

 private:
  const char* expected_;
  char* output_;
  std::size_t outputCapacity_;
  std::size_t outputUsed_ = 0;
  char compare_[kCompareSize] = {};
  std::size_t compareUsed_ = 0;
};
