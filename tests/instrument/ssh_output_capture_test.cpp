#include "instrument/ssh_output_capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// The caller's buffer is zero-filled and one byte larger than the capacity.
struct CallerBuffer {
  explicit CallerBuffer(std::size_t capacity) : bytes(capacity + 1, '\0') {}
  std::string Text() const { return std::string(bytes.data()); }
  std::vector<char> bytes;
};

TEST(SshOutputCapture, TestAnswerMatchesExactlyWithinTheFirst256Bytes) {
  const std::string first(256, 'a');
  const std::string longer = first + "beyond";
  const struct {
    const char* why;
    std::string expected;
    std::vector<std::string> pieces;
    bool matches;
  } cases[] = {
      {"same", "yes\n", {"yes\n"}, true},
      {"other", "yes\n", {"no\n"}, false},
      {"more", "yes\n", {"yes\n", "yes\n"}, false},
      {"missing line feed", "yes\n", {"yes"}, false},
      {"nothing", "yes\n", {}, false},
      {"the comparison ends at a zero byte", "yes\n", {std::string("yes\n\0tail", 9)}, true},
      {"only 256 bytes are compared", first, {first, "beyond"}, true},
      {"an expectation beyond 256 bytes never matches", longer, {longer}, false},
      {"a long answer", "yes\n", {longer}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    SshOutputCapture capture(c.expected.c_str(), nullptr, 0);
    for (const std::string& piece : c.pieces) capture.Append(piece.data(), piece.size());
    EXPECT_EQ(capture.Matches(), c.matches);
  }
}

TEST(SshOutputCapture, NoOutputLeavesBufferZero) {
  CallerBuffer buffer(255);
  SshOutputCapture capture("yes\n", buffer.bytes.data(), 255);
  EXPECT_FALSE(capture.Matches());
  EXPECT_EQ(buffer.bytes, std::vector<char>(256, '\0'));
}

TEST(SshOutputCapture, OutputStopsAtCapacityAcrossPieces) {
  CallerBuffer buffer(10);
  SshOutputCapture capture(nullptr, buffer.bytes.data(), 10);
  capture.Append("0123", 4);
  capture.Append("456789ab", 8);
  capture.Append("cdef", 4);
  EXPECT_EQ(buffer.Text(), "0123456789");
  EXPECT_EQ(buffer.bytes[10], '\0');
  EXPECT_FALSE(capture.Matches());  // nothing was expected
}

TEST(SshOutputCapture, OutputAndComparisonHaveTheirOwnLimits) {
  CallerBuffer buffer(3);
  SshOutputCapture capture("yes\n", buffer.bytes.data(), 3);
  capture.Append("yes\n", 4);
  EXPECT_TRUE(capture.Matches());
  EXPECT_EQ(buffer.Text(), "yes");
}

}  // namespace
