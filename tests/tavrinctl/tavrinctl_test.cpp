// tavrinctl's command line and its console rendering; nothing here needs an
// instrument.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/instrument_lock.h"
#include "core/operator_view.h"
#include "tavrinctl/console_view.h"
#include "tavrinctl/csv_text.h"
#include "tavrinctl/ctl_command.h"
#include "tavrinctl/ctl_report.h"
#include "tests/support/bench_env.h"
#include "tests/tavrinctl/ctl_runner_support.h"

namespace {

bool Parse(std::vector<std::string> words, CtlCommand& command) {
  words.insert(words.begin(), "tavrinctl");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  std::string error;
  return ParseCtlCommand(static_cast<int>(argv.size()), argv.data(), command, error);
}

std::string Contents(std::FILE* file) {
  std::rewind(file);
  std::string text;
  char buffer[512];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  return text;
}

}  // namespace

TEST(CtlCommandLine, TakesEachCommandWithItsArgumentsOnly) {
  CtlCommand command;
  ASSERT_TRUE(Parse({"upgrade", "198.18.0.11", "/tmp/a b.kfw"}, command));
  EXPECT_EQ(command.action, CtlAction::Upgrade);
  EXPECT_EQ(command.address[0], 198);
  EXPECT_EQ(command.address[3], 11);
  EXPECT_EQ(command.argument, "/tmp/a b.kfw");
  ASSERT_TRUE(Parse({"discover"}, command));
  EXPECT_EQ(command.action, CtlAction::Discover);

  for (const std::vector<std::string>& bad :
       std::vector<std::vector<std::string>>{{},
                                             {"connect"},
                                             {"connect", "198.18.0.11", "extra"},
                                             {"hostname", "198.18.0.11"},
                                             {"connect", "198.18.0"},
                                             {"connect", "198.18.0.256"},
                                             {"connect", "198.18.0.1x"},
                                             {"connect", "198..0.1"},
                                             {"connect", "0198.18.0.1"},
                                             {"reboot", "198.18.0.11"}})
    EXPECT_FALSE(Parse(bad, command)) << (bad.empty() ? "(none)" : bad[0]);
}

TEST(CtlCommandLine, OptionsMayStandAnywhereUntilTheEndOfOptions) {
  CtlCommand command;
  ASSERT_TRUE(Parse({"--json", "hostname", "198.18.0.11", "bench-a"}, command));
  EXPECT_TRUE(command.json);
  EXPECT_EQ(command.action, CtlAction::HostName);
  EXPECT_EQ(command.argument, "bench-a");
  ASSERT_TRUE(Parse({"connect", "198.18.0.11", "--json"}, command));
  EXPECT_TRUE(command.json);
  EXPECT_EQ(command.action, CtlAction::Connect);
  ASSERT_TRUE(Parse({"upgrade", "--json", "198.18.0.11", "--", "--json.kfw"}, command));
  EXPECT_TRUE(command.json);
  EXPECT_EQ(command.argument, "--json.kfw") << "after -- a word is an argument";
  ASSERT_TRUE(Parse({"discover"}, command));
  EXPECT_FALSE(command.json);
  ASSERT_TRUE(Parse({"connect", "198.18.0.11", "--version"}, command));
  EXPECT_EQ(command.action, CtlAction::Version);
  ASSERT_TRUE(Parse({"--json", "--help", "connect"}, command));
  EXPECT_EQ(command.action, CtlAction::Help);

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"--json"}, {"connect", "--jsn", "198.18.0.11"}, {"--", "--json", "discover"}}) {
    EXPECT_FALSE(Parse(bad, command)) << bad.back();
    EXPECT_EQ(command.json, bad[0] == "--json") << "known even when the rest is refused";
  }
}

TEST(CtlCommandLine, TakesTheDryRunHistoryAndInventory) {
  CtlCommand command;
  ASSERT_TRUE(Parse({"upgrade", "198.18.0.11", "a.kfw", "--check"}, command));
  EXPECT_EQ(command.action, CtlAction::UpgradeCheck);
  EXPECT_STREQ(CtlCommandName(command.action), "upgrade");
  EXPECT_EQ(command.argument, "a.kfw");
  ASSERT_TRUE(Parse({"history"}, command));
  EXPECT_EQ(command.action, CtlAction::History);
  EXPECT_EQ(command.argument, "");
  ASSERT_TRUE(Parse({"history", "TV8010A0001"}, command));
  EXPECT_EQ(command.argument, "TV8010A0001");
  ASSERT_TRUE(Parse({"inventory"}, command));
  EXPECT_TRUE(command.addresses.empty()) << "every instrument discover lists";
  EXPECT_EQ(command.jobs, kCtlDefaultJobs);
  ASSERT_TRUE(Parse({"--jobs", "3", "inventory", "198.18.0.11", "198.018.0.12", "198.18.0.11",
                     "--jobs=20"},
                    command));
  EXPECT_EQ(command.addresses, (std::vector<std::string>{"198.18.0.11", "198.18.0.12"}))
      << "each instrument once, written as the runs write it";
  EXPECT_EQ(command.jobs, 20);

  for (const std::vector<std::string>& bad : std::vector<std::vector<std::string>>{
           {"connect", "198.18.0.11", "--check"},
           {"upgrade", "--jobs", "2", "198.18.0.11", "a.kfw"},
           {"inventory", "--jobs", "0"},
           {"inventory", "--jobs", "65"},
           {"inventory", "--jobs"},
           {"inventory", "198.18.0.11", "i2"},
           {"history", "TV8010A0001", "198.18.0.11"}})
    EXPECT_FALSE(Parse(bad, command)) << bad[0] << " " << bad[1];
}

TEST(CsvRecord, QuotesFieldsWithACommaAQuoteOrALineBreak) {
  EXPECT_EQ(CsvRecord({"198.18.0.11", "TVS-8010", "", "success"}),
            "198.18.0.11,TVS-8010,,success\r\n");
  EXPECT_EQ(CsvRecord({"a,b", "say \"hi\"", "two\nlines", "cr\r", "plain"}),
            "\"a,b\",\"say \"\"hi\"\"\",\"two\nlines\",\"cr\r\",plain\r\n");
}

// Another run holds the instrument: refused before any traffic, with its
// own exit status, however the command is given.
TEST(CtlCommandLine, ABusyInstrumentIsRefusedAtOnce) {
  InstrumentLock held;
  ASSERT_EQ(held.Take(InstrumentRunDirectory(), "198.18.0.77"), InstrumentLock::Result::Taken);
  const struct {
    const char* arguments;
    bool json;
  } kCases[] = {{"connect 198.18.0.77", false},
                {"restore 198.18.0.77", false},
                {"--json hostname 198.18.0.77 bench-a", true},
                {"--json upgrade 198.18.0.77 /nonexistent.kfw", true}};
  for (const auto& c : kCases) {
    CtlRun run = RunCtl(c.arguments);
    EXPECT_EQ(run.status, 3) << c.arguments;
    EXPECT_NE(run.err.find("The instrument at 198.18.0.77 is busy with another operation."),
              std::string::npos)
        << c.arguments << ": " << run.err;
    if (c.json)
      EXPECT_NE(run.out.find("\"result\":\"busy\""), std::string::npos) << run.out;
    else
      EXPECT_TRUE(run.out.empty()) << run.out;
  }
}

TEST(CtlCommandLine, HelpVersionAndUsageErrorsGiveTheirExitStatus) {
  CtlRun help = RunCtl("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("upgrade ADDRESS PACKAGE"), std::string::npos) << help.out;
  CtlRun version = RunCtl("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("tavrinctl ") + kCtlVersion + "\n");
  CtlRun usage = RunCtl("connect not-an-address");
  EXPECT_EQ(usage.status, 2);
  EXPECT_NE(usage.err.find("not an IPv4 address: not-an-address"), std::string::npos);
  EXPECT_TRUE(usage.out.empty());
  // With --json even a line that is not understood gives its document.
  CtlRun jsonUsage = RunCtl("connect not-an-address --json");
  EXPECT_EQ(jsonUsage.status, 2);
  const nlohmann::json document = nlohmann::json::parse(jsonUsage.out, nullptr, false);
  EXPECT_EQ(document.value("error", ""), "usage") << jsonUsage.out;
  EXPECT_EQ(document.value("schema", 0), 1) << jsonUsage.out;
}

// What could not be written is no success.
TEST(CtlCommandLine, AFailedWriteToStandardOutputFailsTheRun) {
  const std::string program = bench::ProgramDir() + "tavrinctl";
  for (const char* arguments : {"--version", "--help", "--json --version"}) {
    const int status = std::system((program + " " + arguments + " >/dev/full 2>/dev/null").c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1) << arguments;
  }
}

// In a network namespace of its own the host has no network: discover
// cannot broadcast, which is not the same as finding nothing.
TEST(CtlCommandLine, DiscoverWithoutANetworkIsAFailedDiscovery) {
  if (std::system("unshare -n true 2>/dev/null") != 0) GTEST_SKIP() << "needs unshare -n (root)";
  CtlRun plain = RunCtl("discover", "unshare -n");
  EXPECT_EQ(plain.status, 4) << plain.err;
  EXPECT_NE(plain.err.find("discovery failed"), std::string::npos) << plain.err;
  CtlRun json = RunCtl("--json discover", "unshare -n");
  EXPECT_EQ(json.status, 4);
  const nlohmann::json document = nlohmann::json::parse(json.out, nullptr, false);
  EXPECT_EQ(document.value("error", ""), "discovery_failed") << json.out;
  EXPECT_EQ(document.value("result", ""), "failure") << json.out;
}

TEST(ConsoleView, PrintsStatusLogAndProgressAndSendsMessagesToStandardError) {
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ConsoleView view(out, err);
  view.SetText(IdcModelNumber, "TVS-8010");
  view.SetText(IdcStatus, "Upgrading...");
  view.LogAppend("Instrument moved to 198.18.0.21");
  view.SetProgress(42);
  EXPECT_TRUE(view.MessageBox("Upgrade package does not match target instrument,\n"
                              "Please select a package with extension kfw."));
  EXPECT_EQ(Contents(out), "status: Upgrading...\nlog: Instrument moved to 198.18.0.21\nprogress: 42\n");
  EXPECT_EQ(Contents(err),
            "Upgrade package does not match target instrument, Please select a package with "
            "extension kfw.\n");
  EXPECT_EQ(view.GetText(IdcModelNumber), "TVS-8010");
  std::fclose(out);
  std::fclose(err);
}
