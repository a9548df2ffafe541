#include "core/operation_log.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <string>

#include "tests/core/temp_dir_support.h"

namespace {

namespace fs = std::filesystem;

// A local time, as the header shows it.
std::time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = second;
  local.tm_isdst = -1;
  return std::mktime(&local);
}

const char kHeader[] = "=============2026-03-07 09:05:03=============\n";

class OperationLogTest : public core_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    path_ = dir_ + "/TavrinOperator.log";
  }
  std::string Content() const { return core_test::ReadFile(path_); }

  const std::time_t when_ = LocalTime(2026, 3, 7, 9, 5, 3);  // kHeader's time
  std::string path_;
};

TEST_F(OperationLogTest, WritesDatedHeaderThenLinesEndingInCrLf) {
  {
    OperationLog log(path_, when_);
    ASSERT_TRUE(log.IsOpen());
    EXPECT_EQ(Content(), kHeader);  // on disk at once
    log.AppendLine("Connecting to 198.18.0.11");
    EXPECT_EQ(Content(), std::string(kHeader) + "Connecting to 198.18.0.11\r\n");
    log.AppendLine("");
    log.AppendLine("100% done, %s %d %n");
  }
  EXPECT_EQ(Content(), std::string(kHeader) + "Connecting to 198.18.0.11\r\n\r\n100% done, %s %d %n\r\n");
}

TEST_F(OperationLogTest, EachRunAppendsItsOwnHeader) {
  { OperationLog first(path_, when_); first.AppendLine("one"); }
  { OperationLog second(path_, LocalTime(2026, 12, 31, 23, 59, 58)); }
  EXPECT_EQ(Content(), std::string(kHeader) + "one\r\n" +
                           "=============2026-12-31 23:59:58=============\n");
}

TEST_F(OperationLogTest, CutsLongTextTo1023BytesNeverSplittingAUtf8Character) {
  const std::string e = "\xC3\xA9";             // 2 bytes
  const std::string euro = "\xE2\x82\xAC";      // 3 bytes
  const std::string clef = "\xF0\x9D\x84\x9E";  // 4 bytes
  OperationLog log(path_, when_);
  log.AppendLine(std::string(2000, 'x'));
  log.AppendLine(std::string(1023, 'y'));
  log.AppendLine(std::string(1022, 'a') + e);              // would end after byte 1 of 2
  log.AppendLine(std::string(1021, 'b') + euro);           // after byte 2 of 3
  log.AppendLine(std::string(1020, 'c') + clef + "tail");  // after byte 3 of 4
  log.AppendLine(std::string(1021, 'd') + e + "tail");     // ends exactly on the boundary
  EXPECT_EQ(Content(), kHeader + std::string(1023, 'x') + "\r\n" + std::string(1023, 'y') + "\r\n" +
                           std::string(1022, 'a') + "\r\n" + std::string(1021, 'b') + "\r\n" +
                           std::string(1020, 'c') + "\r\n" + std::string(1021, 'd') + e + "\r\n");
}

TEST_F(OperationLogTest, CutsTextThatIsNotUtf8AtTheByteLimit) {
  const std::string e = "\xC3\xA9";
  const std::string stray(2000, '\xA9');  // continuation bytes with no character to belong to
  const struct {
    const char* why;
    std::string text;
    std::string kept;
  } cases[] = {
      {"only continuation bytes", stray, stray.substr(0, 1023)},
      {"a character, then stray bytes across the cut", std::string(1000, 'a') + e + stray,
       std::string(1000, 'a') + e + stray.substr(0, 21)},
      {"a lead byte four bytes before the cut", std::string(1019, 'b') + "\xE2" + stray,
       std::string(1019, 'b') + "\xE2" + stray.substr(0, 3)},
      {"a character that ends before the cut, stray bytes after it", std::string(1020, 'c') + e + stray,
       std::string(1020, 'c') + e + stray.substr(0, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    fs::remove(path_);
    {
      OperationLog log(path_, when_);
      log.AppendLine(c.text);
    }
    EXPECT_EQ(Content(), kHeader + c.kept + "\r\n");
  }
}

TEST_F(OperationLogTest, SecondHolderGetsNoHandleAndWritesNothing) {
  OperationLog first(path_, when_);
  ASSERT_TRUE(first.IsOpen());
  {
    OperationLog second(path_);
    EXPECT_FALSE(second.IsOpen());
    second.AppendLine("lost");
  }
  // Another process is refused as well.
  const pid_t child = ::fork();
  if (child == 0) {
    OperationLog other(path_);
    other.AppendLine("lost");
    ::_exit(other.IsOpen() ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  first.AppendLine("kept");
  EXPECT_EQ(Content(), std::string(kHeader) + "kept\r\n");
}

TEST_F(OperationLogTest, StartedProgramsDoNotInheritTheLock) {
  pid_t child = -1;
  {
    OperationLog log(path_);
    ASSERT_TRUE(log.IsOpen());
    child = core_test::SpawnSleeper();
  }
  // The window has gone while the program it started still runs.
  OperationLog next(path_);
  EXPECT_TRUE(next.IsOpen());
  core_test::EndSleeper(child);
}

TEST_F(OperationLogTest, UnopenableFileLeavesTheLogClosed) {
  OperationLog log(dir_ + "/missing/TavrinOperator.log");
  EXPECT_FALSE(log.IsOpen());
  log.AppendLine("nowhere");
  EXPECT_FALSE(fs::exists(dir_ + "/missing"));
}

}  // namespace
