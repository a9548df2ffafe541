// The operator's whole flow on instruments as they are in the field
// (bench/flavours): each flavour's row of the compatibility table in
// README.md is what this run saw, so the table cannot drift from the code.
// A cell is ✔, or what the operator saw instead; "—" marks an operation
// that the flavour does not reach, which is not run: the SSH side for a
// VXI-11 flavour, discovery and benchterm for an SSH or reboot flavour.
// Each test puts its instrument's knobs, software and hostname back.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/ssh_channel.h"
#include "tests/support/bench_env.h"
#include "tests/tavrinctl/ctl_runner_support.h"

namespace {

struct Flavour {
  const char* name;        // the test's name
  const char* knobs;       // as in README's table and bench/bench ctl
  const char* instrument;  // i1 (kfw) or i2 (kf4)
  bool sshSide;            // whether hostname, upgrade and restore are run
  bool vxiSide;            // whether discovery and benchterm are run
  bool idle;               // benchterm pauses past idle_close between its lines
};

struct Original {
  const char* model;
  const char* address;
  const char* password;
  const char* hostname;
  const char* versions;  // the package version file as the bench writes it
  const char* package;   // a sample package of the family
  const char* newVersion;
  const char* serial;
};

const Original kI1{"TVS-8010", "198.18.0.11", "kdrun64", "i1",
                   "package: 2.4.1\ndriver: 1.8.0\nscpi: 1.5.2\nui: 2.0.3\n", "tvs80_2.5.0.kfw",
                   "2.5.0", "TV8010A0001"};
const Original kI2{"TVS-9020", "198.18.0.12", "Xmvot27", "i2",
                   "package: 3.1.0\ndriver: 2.2.0\nscpi: 2.0.1\nui: 3.0.4\n", "tvs90_3.2.0.kf4",
                   "3.2.0", "TV9020B0002"};

const Original& OriginalOf(const Flavour& flavour) {
  return std::string(flavour.instrument) == "i2" ? kI2 : kI1;
}

std::vector<std::string> Prefixed(const std::string& text, const std::string& prefix) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
  return lines;
}

// What the operator saw of a failed run: the messages (on standard error,
// one a line, where the diagnostics start with a lower-case "name:") and
// the last two log lines, which hold the failure's own text and the cause
// where one is named; the last status when there is neither.
std::string Seen(const CtlRun& run) {
  std::vector<std::string> seen;
  for (const std::string& line : Prefixed(run.err, ""))
    if (!line.empty() && std::isupper(static_cast<unsigned char>(line[0]))) seen.push_back(line);
  std::vector<std::string> logs = Prefixed(run.out, "log: ");
  for (std::size_t i = logs.size() > 2 ? logs.size() - 2 : 0; i < logs.size(); ++i)
    seen.push_back(logs[i]);
  std::vector<std::string> statuses = Prefixed(run.out, "status: ");
  if (seen.empty()) seen.push_back(statuses.empty() ? "exit " + std::to_string(run.status) : statuses.back());
  std::string text;
  for (const std::string& line : seen) text += (text.empty() ? "" : " ") + line;
  return text;
}

bool Printed(const CtlRun& run, const std::string& line) {
  return run.out.find(line + "\n") != std::string::npos;
}

std::string Cell(bool worked, const CtlRun& run) { return worked ? "✔" : Seen(run); }


// What the instrument itself says, read over SSH past the program's flow.
std::string OnInstrument(const Original& original, const char* command) {
  char output[256] = {};
  ssh_run_command(original.address, "root", original.password, command, nullptr, nullptr, output,
                  sizeof output - 1);
  return output;
}

std::string InstalledPackage(const Original& original) {
  return OnInstrument(original, "sed -n 's/^package: *//p' /tvs/releases/package_version");
}

// benchterm with one method: a query, (a pause past idle_close), a query.
std::string ConsoleCell(const Original& original, int method, bool idle) {
  const std::string program = bench::ProgramDir() + "benchterm";
  const std::string lines =
      "printf '*SRE 16\\n*IDN?\\n'; " + std::string(idle ? "sleep 4; " : "") +
      "printf '*IDN?\\n*SRE 0\\nq\\n'";
  const std::string command = "(" + lines + ") | timeout 60 " + program + " rip=" +
                              original.address + " method=" + std::to_string(method) + " 2>&1";
  std::string out;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char chunk[512];
    for (std::size_t n; (n = fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
    pclose(pipe);
  }
  const std::string idn =
      std::string("benchterm$ Tavrin,") + original.model + "," + original.serial;
  std::size_t first = out.find(idn);
  if (first != std::string::npos && out.find(idn, first + 1) != std::string::npos) return "✔";
  // The line that went wrong: the first that is neither a prompt nor an answer.
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    while (line.compare(0, 11, "benchterm$ ") == 0) line.erase(0, 11);
    if (line.empty() || line.find("Attempting") == 0 || line.find("Enter \"q\"") == 0 ||
        line.find("Tavrin,") == 0)
      continue;
    return line;
  }
  return "no answer";
}

// Everything the row's runs may have changed goes back to the bench's start.
void PutBack(const Flavour& flavour) {
  const Original& original = OriginalOf(flavour);
  EXPECT_EQ(bench::Run(std::string("ctl ") + flavour.instrument + " reset"), 0);
  const std::string command =
      std::string("rm -rf /tvs/releases/previous /tvs/releases/current /tvs/releases/update_pending "
                  "/tmp/tvs_update /tmp/tvs_update.tgz /tmp/kf4_update /tmp/kf4_update.tgz; "
                  "printf '") + original.versions + "' >/tvs/releases/package_version; hostname " +
      original.hostname + "; echo " + original.hostname + " >/etc/hostname";
  EXPECT_TRUE(ssh_run_command(original.address, "root", original.password, command.c_str(), nullptr,
                              nullptr, nullptr, 0));
}

// The row's first cell: the knobs, and the family where it is not kfw.
std::string Label(const Flavour& flavour) {
  return "`" + std::string(flavour.knobs) + "`" + (OriginalOf(flavour).address == kI2.address ? " (kf4)" : "");
}

struct Row {
  std::string cells[9];
  std::string Text(const std::string& label) const {
    std::string text = "| " + label + " |";
    for (const std::string& cell : cells) text += " " + cell + " |";
    return text;
  }
};

Row Observe(const Flavour& flavour) {
  const Original& original = OriginalOf(flavour);
  const std::string address = original.address;
  Row row;
  for (std::string& cell : row.cells) cell = "—";
  CtlRun connect = RunCtl("connect " + address);
  row.cells[0] = Cell(connect.status == 0 && Printed(connect, std::string("Serial Number: ") + original.serial), connect);
  if (flavour.sshSide) {
    // Success counts only when the instrument then says so itself.
    CtlRun rename = RunCtl("hostname " + address + " tvfield");
    row.cells[1] = Cell(rename.status == 0 && OnInstrument(original, "hostname") == "tvfield\n", rename);
    RunCtl("hostname " + address + " " + original.hostname);
    CtlRun upgrade = RunCtl("upgrade " + address + " " + bench::SamplePackage(original.package));
    row.cells[2] = Cell(upgrade.status == 0 && InstalledPackage(original) == std::string(original.newVersion) + "\n", upgrade);
    CtlRun restore = RunCtl("restore " + address);
    std::string before = original.versions;
    before = before.substr(9, before.find('\n') - 8);
    row.cells[3] = Cell(restore.status == 0 && InstalledPackage(original) == before, restore);
  }
  if (flavour.vxiSide) {
    CtlRun discover = RunCtl("discover");
    row.cells[4] = Cell(discover.status == 0 && discover.out.find(address + " (") != std::string::npos, discover);
    for (int method = 1; method <= 4; ++method)
      row.cells[4 + method] = ConsoleCell(original, method, flavour.idle);
  }
  return row;
}

// The README's row with this label, or empty.
std::string ReadmeRow(const std::string& label) {
  std::ifstream in(bench::SourceDir() + "/README.md");
  const std::string start = "| " + label + " |";
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, start.size(), start) == 0) return line;
  return std::string();
}

class FieldFlavourBench : public ::testing::TestWithParam<Flavour> {};

}  // namespace

TEST_P(FieldFlavourBench, TheOperatorsFlowMatchesTheCompatibilityTable) {
  REQUIRE_BENCH();
  const Flavour& flavour = GetParam();
  ASSERT_EQ(bench::Run(std::string("ctl ") + flavour.instrument + " reset " + flavour.knobs), 0);
  Row row = Observe(flavour);
  PutBack(flavour);
  const std::string seen = row.Text(Label(flavour));
  RecordProperty("row", seen);
  EXPECT_EQ(ReadmeRow(Label(flavour)), seen) << "README.md's compatibility table should read:\n" << seen;
}

INSTANTIATE_TEST_SUITE_P(
    Flavours, FieldFlavourBench,
    ::testing::Values(Flavour{"Dropbear", "ssh=dropbear", "i1", true, false, false},
                      Flavour{"Kf4DropbearWithoutScp", "ssh=dropbear scp=none", "i2", true, false, false},
                      Flavour{"OpenSshWithoutScp", "scp=none", "i1", true, false, false},
                      Flavour{"LegacyAlgorithms", "ssh=legacy", "i1", true, false, false},
                      Flavour{"RsaHostKeyOnly", "ssh=rsa_only", "i1", true, false, false},
                      Flavour{"RebootDrops", "reboot=drop", "i1", true, false, false},
                      Flavour{"RebootHangs", "reboot=hang", "i1", true, false, false},
                      Flavour{"RebootDoesNothing", "reboot=noop", "i1", true, false, false},
                      Flavour{"NoInterruptChannel", "intr=none", "i1", false, true, false},
                      Flavour{"CorePortRotates", "core_port=rotate", "i1", false, true, false},
                      Flavour{"IdleLinksClosed", "idle_close=2", "i1", false, true, true}),
    [](const ::testing::TestParamInfo<Flavour>& info) { return std::string(info.param.name); });
