#include "core/update_history.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/core/temp_dir_support.h"

namespace {

class UpdateHistoryTest : public core_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    path_ = dir_ + "/history.jsonl";
  }
  void AppendRaw(const std::string& bytes) {
    std::ofstream out(path_, std::ios::binary | std::ios::app);
    out << bytes;
  }
  static HistoryRecord Record(const std::string& serial, const std::string& address) {
    HistoryRecord record;
    record.time = "2026-03-07T09:05:03Z";
    record.address = address;
    record.model = "TVS-8010";
    record.serial = serial;
    record.operation = "upgrade";
    record.before.package = "2.4.1";
    record.after.package = "2.5.0";
    record.result = "success";
    record.durationMs = 12345;
    return record;
  }
  std::string path_;
};

// The window and several tavrinctl runs append at once: every record must
// arrive whole, on its own line. Long records make a record split across
// writes, or written over another, show.
TEST_F(UpdateHistoryTest, ProcessesAndThreadsAppendingAtOnceKeepEveryRecordWhole) {
  constexpr int kProcesses = 4, kThreads = 3, kRecords = 40;
  const std::string padding(3000, 'x');
  const auto appendMany = [&](int process) {
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        UpdateHistory history(path_, "p" + std::to_string(process));
        for (int i = 0; i < kRecords; ++i) {
          const std::string serial = "S" + std::to_string(t) + "-" + std::to_string(i);
          HistoryRecord record = Record(serial, "198.18.0.11");
          record.notes.push_back(padding);
          if (!history.Append(record)) ::_exit(2);
        }
      });
    }
    for (std::thread& thread : threads) thread.join();
  };
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      appendMany(p);
      ::_exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }

  const HistoryReading reading = ReadHistory(path_);
  EXPECT_TRUE(reading.warnings.empty()) << reading.warnings.front();
  std::set<std::string> seen;
  for (const HistoryRecord& record : reading.records) {
    EXPECT_EQ(record.notes, std::vector<std::string>{padding});
    seen.insert(record.program + "/" + record.serial);
  }
  EXPECT_EQ(reading.records.size(), std::size_t{kProcesses * kThreads * kRecords});
  EXPECT_EQ(seen.size(), std::size_t{kProcesses * kThreads * kRecords});
}

// A line cut short (a power cut mid-write) or otherwise damaged is skipped
// with a warning; the records around it, and one appended after a cut-short
// last line, are kept.
TEST_F(UpdateHistoryTest, DamagedLinesAreSkippedWithAWarning) {
  UpdateHistory history(path_, "tavrinctl");
  ASSERT_TRUE(history.Append(Record("TV8010A0001", "198.18.0.11")));
  AppendRaw("not json at all\n[\"an\", \"array\"]\n");
  ASSERT_TRUE(history.Append(Record("TV9020B0002", "198.18.0.12")));
  AppendRaw(R"({"time":"2026-03-07T09:05:03Z","user":"root","addr)");
  ASSERT_TRUE(history.Append(Record("TV8010A0003", "198.18.0.13")));

  const HistoryReading reading = ReadHistory(path_);
  ASSERT_EQ(reading.records.size(), 3u);
  EXPECT_EQ(reading.records[0].serial, "TV8010A0001");
  EXPECT_EQ(reading.records[1].serial, "TV9020B0002");
  EXPECT_EQ(reading.records[2].serial, "TV8010A0003");
  EXPECT_EQ(reading.records[2].program, "tavrinctl");
  EXPECT_EQ(reading.records[2].before.package, "2.4.1");
  EXPECT_EQ(reading.records[2].after.package, "2.5.0");
  EXPECT_EQ(reading.records[2].durationMs, 12345);
  ASSERT_EQ(reading.warnings.size(), 3u);
  EXPECT_NE(reading.warnings[0].find("history.jsonl:2:"), std::string::npos) << reading.warnings[0];
}

// Instruments answer in any encoding: bytes that are not UTF-8, written by
// this program or found in the file, never make a later JSON writer throw.
// The filter takes a serial number or an address.
TEST_F(UpdateHistoryTest, TextThatIsNotUtf8IsReplacedAndTheFilterFindsSerialOrAddress) {
  UpdateHistory history(path_, "TavrinOperator");
  HistoryRecord odd = Record("TV\xff\xfe" "01", "198.18.0.11");
  odd.after.ui = "2.0\xc3";  // cut inside a character
  ASSERT_TRUE(history.Append(odd));
  AppendRaw("{\"serial\":\"TV\xe9" "02\",\"address\":\"198.18.0.12\"}\n");
  HistoryRecord moved = Record("TV8010A0003", "198.18.0.13");
  moved.addressAfter = "198.19.0.13";
  ASSERT_TRUE(history.Append(moved));

  const HistoryReading all = ReadHistory(path_);
  ASSERT_EQ(all.records.size(), 3u);
  EXPECT_TRUE(all.warnings.empty());
  EXPECT_EQ(all.records[0].serial, "TV\xEF\xBF\xBD\xEF\xBF\xBD" "01");
  EXPECT_EQ(all.records[1].serial, "TV\xEF\xBF\xBD" "02");
  for (const HistoryRecord& record : all.records)
    EXPECT_NO_THROW(nlohmann::json(HistoryRecordJson(record)).dump());
  EXPECT_NO_THROW(nlohmann::json(HistoryRecordJson(odd)).dump());

  EXPECT_EQ(ReadHistory(path_, "198.18.0.12").records.size(), 1u);
  EXPECT_EQ(ReadHistory(path_, "TV8010A0003").records.size(), 1u);
  EXPECT_EQ(ReadHistory(path_, "198.19.0.13").records.size(), 1u);
  EXPECT_TRUE(ReadHistory(path_, "TV8010A0001").records.empty());
  EXPECT_TRUE(ReadHistory(dir_ + "/missing.jsonl").records.empty());
}

}  // namespace
