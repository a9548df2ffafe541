// Ansible upgrading i1, i2 and i3 together through the shipped collection
// and example playbook, tavrinctl running with connection local inside the
// bench. Every instrument's software is copied aside on the instrument first
// and put back afterwards.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "instrument/ssh_channel.h"
#include "tests/support/bench_env.h"

namespace {

struct Instrument {
  const char* host;
  const char* address;
  const char* password;
};
const Instrument kFleet[] = {{"i1", bench::kI1, bench::kKfwPassword},
                             {"i2", bench::kI2, bench::kKf4Password},
                             {"i3", bench::kI3, bench::kKfwPassword}};

using Recap = std::map<std::string, std::map<std::string, int>>;
Recap ParseRecap(const std::string& printed);

class FleetBench : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!bench::Available()) GTEST_SKIP() << "bench not up or not root";
    char directory[] = "/tmp/tv_fleet_XXXXXX";
    ASSERT_NE(mkdtemp(directory), nullptr);
    work_ = directory;
    WriteInventory();
    for (const Instrument& instrument : kFleet) {
      Ssh(instrument, "rm -rf /tvs/releases.fleet && cp -a /tvs/releases /tvs/releases.fleet");
      std::remove((bench::ProgramDir() + "instruments/" + instrument.address + ".log").c_str());
    }
  }
  void TearDown() override {
    if (work_.empty()) return;
    for (const Instrument& instrument : kFleet) PutBack(instrument);
    std::error_code ignored;
    std::filesystem::remove_all(work_, ignored);
  }

  void WriteInventory() {
    const std::string bin = bench::ProgramDir();
    std::ofstream out(work_ + "/inventory.ini");
    out << "[instruments]\n";
    for (const Instrument& instrument : kFleet)
      out << instrument.host << " address=" << instrument.address << "\n";
    out << "[instruments:vars]\nansible_connection=local\n"
           "ansible_python_interpreter=/usr/bin/python3\n"
        << "tavrinctl=" << bin << "tavrinctl\n"
        << "packages={\"kfw\": {\"path\": \"" << bin << "packages/tvs80_2.5.0.kfw\", "
        << "\"version\": \"2.5.0\"}, \"kf4\": {\"path\": \"" << bin
        << "packages/tvs90_3.2.0.kf4\", \"version\": \"3.2.0\"}}\n";
  }

  // Runs the example playbook; its recap, host by host ("changed", "failed").
  Recap Playbook(const std::string& options = std::string(), std::size_t hosts = 3) {
    const std::string out = work_ + "/out";
    const std::string command = "ANSIBLE_NOCOLOR=1 ANSIBLE_LOCAL_TEMP=" + work_ +
                                "/tmp ansible-playbook -i " + work_ + "/inventory.ini " +
                                bench::SourceDir() + "/contrib/ansible/upgrade.yml --forks 3 " +
                                options + " >" + out + " 2>&1";
    const int status = std::system(command.c_str());
    const std::string printed = ReadFile(out);
    Recap recap = ParseRecap(printed);
    EXPECT_EQ(recap.size(), hosts) << "status " << status << ":\n" << printed;
    return recap;
  }

  static void Ssh(const Instrument& instrument, const std::string& command) {
    ssh_run_command(instrument.address, "root", instrument.password, command.c_str(), nullptr,
                    nullptr, nullptr, 0);
  }

  static void PutBack(const Instrument& instrument) {
    Ssh(instrument,
        "[ ! -e /tvs/etc/model.broken ] || mv /tvs/etc/model.broken /tvs/etc/model; "
        "[ ! -d /tvs/releases.fleet ] || { rm -rf /tvs/releases && mv /tvs/releases.fleet /tvs/releases; }; "
        "rm -rf /tmp/tvs_update /tmp/tvs_update.tgz /tmp/kf4_update /tmp/kf4_update.tgz");
  }

  std::string work_;
};

// "i1 : ok=2 changed=1 unreachable=0 failed=0 ..." after "PLAY RECAP".
Recap ParseRecap(const std::string& printed) {
  Recap recap;
  const std::size_t start = printed.find("PLAY RECAP");
  if (start == std::string::npos) return recap;
  std::istringstream lines(printed.substr(start));
  const std::regex line(R"(^(\S+)\s+:\s+(.*)$)");
  const std::regex count(R"((\w+)=(\d+))");
  for (std::string text; std::getline(lines, text);) {
    std::smatch host;
    if (!std::regex_match(text, host, line)) continue;
    const std::string counts = host[2];
    for (std::sregex_iterator it(counts.begin(), counts.end(), count), end; it != end; ++it)
      recap[host[1]][(*it)[1]] = std::stoi((*it)[2]);
  }
  return recap;
}

int Count(const Recap& recap, const char* host, const char* key) {
  auto h = recap.find(host);
  if (h == recap.end()) return -1;
  auto k = h->second.find(key);
  return k == h->second.end() ? -1 : k->second;
}

}  // namespace

// The check run must leave every instrument to the real run, which must
// upgrade each; the next run then finds nothing to do.
TEST_F(FleetBench, OneRunUpgradesEveryInstrumentOnceAndCheckModeChangesNothing) {
  const Recap check = Playbook("--check");
  const Recap first = Playbook();
  const Recap second = Playbook();
  for (const Instrument& instrument : kFleet) {
    EXPECT_EQ(Count(check, instrument.host, "changed"), 1) << "would upgrade " << instrument.host;
    EXPECT_EQ(Count(first, instrument.host, "changed"), 1) << instrument.host;
    EXPECT_EQ(Count(first, instrument.host, "failed"), 0) << instrument.host;
    EXPECT_EQ(Count(second, instrument.host, "changed"), 0) << instrument.host;
    EXPECT_EQ(Count(second, instrument.host, "failed"), 0) << instrument.host;
    // Each run logged in its own instrument's file; no decoded archive is left.
    EXPECT_NE(ReadFile(bench::ProgramDir() + "instruments/" + instrument.address + ".log")
                  .find("Successfully reconnected"),
              std::string::npos)
        << instrument.host;
    EXPECT_NE(access((bench::ProgramDir() + "data/" + instrument.address).c_str(), F_OK), 0);
  }
}

TEST_F(FleetBench, AFailingInstrumentFailsItsOwnHostOnly) {
  // The package lists only the models it fits: i3 now claims another one.
  Ssh(kFleet[2], "cp -p /tvs/etc/model /tvs/etc/model.broken && echo TVS-0000 >/tvs/etc/model");
  const Recap recap = Playbook("-l i1,i3", 2);
  EXPECT_EQ(Count(recap, "i3", "failed"), 1);
  EXPECT_EQ(Count(recap, "i1", "failed"), 0);
  EXPECT_EQ(Count(recap, "i1", "changed"), 1);
}
