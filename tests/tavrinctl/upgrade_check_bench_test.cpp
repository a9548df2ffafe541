// tavrinctl upgrade --check on the bench: the dry run of an upgrade must
// change nothing, on the instrument or here. i1's software is copied aside
// on the instrument first and put back afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <string>

#include "core/update_history.h"
#include "instrument/ssh_channel.h"
#include "tests/support/bench_env.h"
#include "tests/tavrinctl/ctl_runner_support.h"

namespace {

std::string OnI1(const std::string& command) {
  std::string output(64 * 1024, '\0');
  ssh_run_command(bench::kI1, "root", bench::kKfwPassword, command.c_str(), nullptr, nullptr,
                  &output[0], output.size() - 1);
  return output.c_str();
}

// Every file and directory where an upgrade or a restore writes, with the
// contents of those that are not the system's own, and the hostname.
std::string InstrumentState() {
  return OnI1(
      "find /tvs /tmp /root -xdev -printf '%p %y %s %m %T@\\n' | sort; "
      "find /tvs /tmp -xdev -type f -exec md5sum {} + | sort; "
      "find /etc -xdev -printf '%p %y %s %T@\\n' | sort | md5sum; hostname");
}

// What the program directory holds where a run writes packages.
std::string DataDirectory() {
  char listing[4096] = {};
  FILE* in = popen(("ls -laR " + bench::ProgramDir() + "data 2>&1").c_str(), "r");
  if (in == nullptr) return std::string();
  const std::size_t n = std::fread(listing, 1, sizeof listing - 1, in);
  pclose(in);
  return std::string(listing, n);
}

}  // namespace

// An unfinished earlier update is pending, which a real upgrade would roll
// back first: the dry run reports it and leaves every file as it was.
TEST(UpgradeCheckBench, ChangesNothingOnTheInstrumentNorHere) {
  REQUIRE_BENCH();
  OnI1("rm -rf /tvs/releases.check && cp -a /tvs/releases /tvs/releases.check && "
       "mkdir -p /tvs/releases/previous/current && "
       "sed 's/^package: .*/package: 2.3.0/' /tvs/releases/package_version "
       ">/tvs/releases/previous/package_version && touch /tvs/releases/update_pending");
  const std::string history = bench::ProgramDir() + "history.jsonl";
  const std::size_t records = ReadHistory(history).records.size();
  const std::string dataBefore = DataDirectory();
  const std::string before = InstrumentState();

  const CtlRun run = RunCtl(std::string("--json upgrade --check ") + bench::kI1 + " " +
                            bench::ProgramDir() + "packages/tvs80_2.5.0.kfw");
  const std::string after = InstrumentState();
  OnI1("rm -rf /tvs/releases && mv /tvs/releases.check /tvs/releases");

  EXPECT_EQ(run.status, 0) << run.out << run.err;
  const nlohmann::json document = nlohmann::json::parse(run.out, nullptr, false);
  EXPECT_EQ(document.value("status", ""), "Upgrade check passed.") << run.out;
  EXPECT_EQ(document.value("changed", true), false);
  EXPECT_EQ(document.value("pending", false), true) << run.out;
  EXPECT_EQ(document.value("family", ""), "kfw");
  ASSERT_GT(before.size(), 100u) << before;
  EXPECT_EQ(after, before);
  EXPECT_EQ(DataDirectory(), dataBefore);
  EXPECT_NE(access((bench::ProgramDir() + "data/" + bench::kI1).c_str(), F_OK), 0);
  EXPECT_EQ(ReadHistory(history).records.size(), records) << "a dry run is no operation";
}
