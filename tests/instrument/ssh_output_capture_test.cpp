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

TEST(SshOutputCapture, TestAnswerMatchesOnlyExactly) {
  SshOutputCapture yes("yes\n", nullptr, 0);
  yes.Append("yes\n", 4);
  EXPECT_TRUE(yes.Matches());

  SshOutputCapture no("yes\n", nullptr, 0);
  no.Append("no\n", 3);
  EXPECT_FALSE(no.Matches());

  SshOutputCapture more("yes\n", nullptr, 0);
  more.Append("yes\n", 4);
  more.Append("yes\n", 4);
  EXPECT_FALSE(more.Matches());

  SshOutputCapture missingLineFeed("yes\n", nullptr, 0);
  missingLineFeed.Append("yes", 3);
  EXPECT_FALSE(missingLineFeed.Matches());
}

TEST(SshOutputCapture, NoOutputLeavesBufferZeroAndDoesNotMatch) {
  CallerBuffer buffer(255);
  SshOutputCapture capture("yes\n", buffer.bytes.data(), 255);
  EXPECT_FALSE(capture.Matches());
  for (char c : buffer.bytes) EXPECT_EQ(c, '\0');
}

TEST(SshOutputCapture, ComparisonEndsAtZeroByte) {
  SshOutputCapture capture("yes\n", nullptr, 0);
  capture.Append("yes\n\0tail", 9);
  EXPECT_TRUE(capture.Matches());
}

TEST(SshOutputCapture, ComparisonSeesOnlyFirst256Bytes) {
  std::string first(256, 'a');
  SshOutputCapture same(first.c_str(), nullptr, 0);
  same.Append(first.data(), first.size());
  same.Append("beyond", 6);
  EXPECT_TRUE(same.Matches());

  std::string longer = first + "beyond";
  SshOutputCapture whole(longer.c_str(), nullptr, 0);
  whole.Append(longer.data(), longer.size());
  EXPECT_FALSE(whole.Matches());

  SshOutputCapture shortExpected("yes\n", nullptr, 0);
  shortExpected.Append(longer.data(), longer.size());
  EXPECT_FALSE(shortExpected.Matches());
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
