// The update history as tavrinctl writes it on the bench. Upgrades i1; its
// software is copied aside on the instrument first and put back afterwards.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/update_history.h"
#include "instrument/ssh_channel.h"
#include "tests/support/bench_env.h"
#include "tests/tavrinctl/ctl_runner_support.h"

namespace {

// What md5sum prints for the file.
std::string Md5sum(const std::string& path) {
  char digest[33] = {};
  FILE* out = popen(("md5sum " + path).c_str(), "r");
  if (out == nullptr) return std::string();
  const int read = std::fscanf(out, "%32s", digest);
  pclose(out);
  return read == 1 ? digest : std::string();
}

void ExpectVersions(const InstrumentVersions& versions, const char* package, const char* driver,
                    const char* scpi, const char* ui) {
  EXPECT_EQ(versions.package, package);
  EXPECT_EQ(versions.driver, driver);
  EXPECT_EQ(versions.scpi, scpi);
  EXPECT_EQ(versions.ui, ui);
}

void RunOnI1(const char* command) {
  ssh_run_command(bench::kI1, "root", bench::kKfwPassword, command, nullptr, nullptr, nullptr, 0);
}

}  // namespace

// An upgrade leaves one record: who and where, the instrument's model and
// serial number, the package with its MD5, the versions before and as read
// back after the script's reboot wait, the outcome and the duration.
TEST(HistoryBench, AnUpgradeIsRecordedWithTheVersionsReadBack) {
  REQUIRE_BENCH();
  const std::string path = bench::ProgramDir() + "history.jsonl";
  const std::string package = bench::ProgramDir() + "packages/tvs80_2.5.0.kfw";
  const std::size_t earlier = ReadHistory(path).records.size();
  RunOnI1("rm -rf /tvs/releases.history && cp -a /tvs/releases /tvs/releases.history");
  bench::Run("ctl i1 reboot_down=0");
  const CtlRun upgrade = RunCtl(std::string("upgrade ") + bench::kI1 + " " + package);
  bench::Run("ctl i1 reboot_down=");
  RunOnI1("rm -rf /tvs/releases && mv /tvs/releases.history /tvs/releases");
  EXPECT_EQ(upgrade.status, 0) << upgrade.out << upgrade.err;

  const HistoryReading reading = ReadHistory(path);
  EXPECT_TRUE(reading.warnings.empty());
  ASSERT_EQ(reading.records.size(), earlier + 1);
  const HistoryRecord& record = reading.records.back();
  EXPECT_EQ(record.program, "tavrinctl");
  EXPECT_FALSE(record.user.empty());
  EXPECT_FALSE(record.computer.empty());
  EXPECT_EQ(record.time.size(), 20u) << record.time;  // 2026-03-07T09:05:03Z
  EXPECT_EQ(record.address, bench::kI1);
  EXPECT_EQ(record.model, "TVS-8010");
  EXPECT_EQ(record.serial, "TV8010A0001");
  EXPECT_EQ(record.operation, "upgrade");
  EXPECT_EQ(record.package, "tvs80_2.5.0.kfw");
  EXPECT_EQ(record.packageMd5, Md5sum(package));
  ExpectVersions(record.before, "2.4.1", "1.8.0", "1.5.2", "2.0.3");
  ExpectVersions(record.after, "2.5.0", "1.9.0", "1.6.0", "2.1.0");
  EXPECT_EQ(record.result, "success");
  EXPECT_EQ(record.status, "Upgrading completed, the instrument is now rebooting.");
  EXPECT_GT(record.durationMs, 0);
  EXPECT_TRUE(record.notes.empty()) << record.notes.front();
}
