#include "instrument/ssh_output_capture.h"

#include <algorithm>
#include <cstring>

SshOutputCapture::SshOutputCapture(const char* expected, char* output,
                                   std::size_t outputCapacity)
    : expected_(expected), output_(output), outputCapacity_(output ? outputCapacity : 0) {}

void SshOutputCapture::Append(const char* data, std::size_t length) {
  if (expected_ != nullptr && compareUsed_ < kCompareSize) {
    std::size_t n = std::min(length, kCompareSize - compareUsed_);
    std::memcpy(compare_ + compareUsed_, data, n);
    compareUsed_ += n;
  }
  if (outputUsed_ < outputCapacity_) {
    std::size_t n = std::min(length, outputCapacity_ - outputUsed_);
    std::memcpy(output_ + outputUsed_, data, n);
    outputUsed_ += n;
  }
}

bool SshOutputCapture::Matches() const {
  if (expected_ == nullptr) return false;
  // The compared text ends at the first zero byte or after 256 bytes.
  std::size_t textLength = strnlen(compare_, kCompareSize);
  return std::strlen(expected_) == textLength && std::memcmp(expected_, compare_, textLength) == 0;
}
