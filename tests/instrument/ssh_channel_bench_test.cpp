// The SSH command channel against the bench's instruments (real sshd).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "instrument/ssh_channel.h"
#include "tests/instrument/ssh_test_env.h"
#include "tests/support/bench_env.h"

namespace {

using namespace std::chrono_literals;
using ssh_test::Capture;

constexpr const char* kTestSuffix = " >/dev/null 2>&1 && sync && echo yes || echo no";
// On the bench's network, but no instrument answers there: the connect
// would wait for address resolution to fail (seconds).
constexpr const char* kSilentAddress = "198.18.0.251";

class SshChannelBench : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_BENCH(); }
  ssh_test::TempConfigHome config;
};

std::string Sequence(int last) {
  std::string text;
  for (int i = 1; i <= last; ++i) text += std::to_string(i) + "\n";
  return text;
}

bool TestLine(const char* host, const char* password, const std::string& command, int* matched) {
  return ssh_run_command(host, "root", password, (command + kTestSuffix).c_str(), "yes\n", matched,
                         nullptr, 0);
}

TEST_F(SshChannelBench, CapturesStandardOutputOnly) {
  ssh_test::Captured pwd = Capture(bench::kI1, bench::kKfwPassword, "pwd", 255);
  EXPECT_TRUE(pwd.ok);
  EXPECT_EQ(pwd.text, "/root\n");

  ssh_test::Captured mixed = Capture(bench::kI1, bench::kKfwPassword, "echo out; echo err >&2; exit 3");
  EXPECT_TRUE(mixed.ok) << "the exit status is never examined";
  EXPECT_EQ(mixed.text, "out\n");
}

TEST_F(SshChannelBench, TestSuffixTurnsSuccessIntoYes) {
  int matched = -1;
  EXPECT_TRUE(TestLine(bench::kI1, bench::kKfwPassword, "[ -e /tvs/etc/serial ]", &matched));
  EXPECT_EQ(matched, 1);
  EXPECT_TRUE(TestLine(bench::kI1, bench::kKfwPassword, "[ -e /tvs/no/such/file ]", &matched));
  EXPECT_EQ(matched, 0);
  // No output at all: the call succeeds, the comparison does not.
  EXPECT_TRUE(ssh_run_command(bench::kI1, "root", bench::kKfwPassword, "true", "yes\n", &matched,
                              nullptr, 0));
  EXPECT_EQ(matched, 0);
}

TEST_F(SshChannelBench, LongOutputIsReadToTheEndButKeptWithinLimits) {
  std::string all = Sequence(3000);
  std::string buffer(256, '\0');
  int matched = -1;
  EXPECT_TRUE(ssh_run_command(bench::kI1, "root", bench::kKfwPassword, "seq 1 3000", "yes\n",
                              &matched, &buffer[0], 255));
  EXPECT_EQ(matched, 0);
  EXPECT_EQ(std::string(buffer.c_str()), all.substr(0, 255));
  EXPECT_EQ(buffer[255], '\0');

  std::string first256 = all.substr(0, 256);
  EXPECT_TRUE(ssh_run_command(bench::kI1, "root", bench::kKfwPassword, "seq 1 3000",
                              first256.c_str(), &matched, nullptr, 0));
  EXPECT_EQ(matched, 1) << "only the first 256 bytes are compared";
}

TEST_F(SshChannelBench, EachFamilyLogsInWithItsOwnPassword) {
  EXPECT_TRUE(Capture(bench::kI1, bench::kKfwPassword, "pwd").ok);
  EXPECT_TRUE(Capture(bench::kI2, bench::kKf4Password, "pwd").ok);
  // The wrong family's password is offered until the server gives up.
  ssh_test::Captured wrong = Capture(bench::kI2, bench::kKfwPassword, "pwd");
  EXPECT_FALSE(wrong.ok);
  EXPECT_EQ(wrong.text, "");
}

TEST_F(SshChannelBench, ChangedHostKeyIsAcceptedAndReplaced) {
  ASSERT_TRUE(Capture(bench::kI3, bench::kKfwPassword, "pwd").ok);
  std::string genuine = ssh_test::ReadFile(config.StorePath());
  ASSERT_EQ(genuine.rfind(std::string(bench::kI3) + " ", 0), 0u) << genuine;

  // Store another key of the same type for the host, as after a reinstall.
  std::string type = genuine.substr(genuine.find(' ') + 1);
  type = type.substr(0, type.find(' '));
  std::string keyType = type == "ssh-ed25519" ? "ed25519" : type == "ssh-rsa" ? "rsa" : "ecdsa";
  std::string key = config.dir() + "/other";
  ASSERT_EQ(std::system(("ssh-keygen -q -t " + keyType + " -N '' -f " + key).c_str()), 0);
  std::string fake = ssh_test::ReadFile(key + ".pub");
  fake = std::string(bench::kI3) + " " + fake.substr(0, fake.find(' ', fake.find(' ') + 1)) + "\n";
  std::FILE* store = std::fopen(config.StorePath().c_str(), "w");
  ASSERT_NE(store, nullptr);
  std::fputs(fake.c_str(), store);
  std::fclose(store);

  ssh_test::Captured again = Capture(bench::kI3, bench::kKfwPassword, "pwd");
  EXPECT_TRUE(again.ok);
  EXPECT_EQ(again.text, "/root\n");
  EXPECT_EQ(ssh_test::ReadFile(config.StorePath()), genuine);
}

TEST_F(SshChannelBench, CancelEndsAConnectPromptly) {
  ssh_test::Timed call = ssh_test::CancelAfter(200ms, [] {
    return ssh_run_command(kSilentAddress, "root", bench::kKfwPassword, "pwd", nullptr, nullptr,
                           nullptr, 0);
  });
  EXPECT_FALSE(call.result);
  EXPECT_LT(call.elapsed, 1500ms) << "unanswered address resolution alone takes about 3 s";
}

TEST_F(SshChannelBench, CancelEndsAuthenticationPromptly) {
  char output[256] = {};
  ssh_test::Timed call = ssh_test::CancelAfter(300ms, [&] {
    return ssh_run_command(bench::kI2, "root", bench::kKfwPassword, "pwd", nullptr, nullptr,
                           output, 255);
  });
  EXPECT_FALSE(call.result);
  EXPECT_LT(call.elapsed, 3s) << "a refused password takes the server seconds per attempt";
}

TEST_F(SshChannelBench, CancelWithoutCallLeavesTheNextCallAlone) {
  EXPECT_FALSE(ssh_cancel());
  ssh_test::Captured pwd = Capture(bench::kI1, bench::kKfwPassword, "pwd");
  EXPECT_TRUE(pwd.ok);
  EXPECT_EQ(pwd.text, "/root\n");
}

TEST_F(SshChannelBench, CommandWaitingForInputRunsUntilCancelled) {
  // End-of-file reaches the command only at tear-down, so `cat` waits.
  std::string buffer(256, '\0');
  ssh_test::Timed call = ssh_test::CancelAfter(1500ms, [&] {
    return ssh_run_command(bench::kI1, "root", bench::kKfwPassword, "echo started; cat", nullptr,
                           nullptr, &buffer[0], 255);
  });
  EXPECT_TRUE(call.result) << "a cancel while reading keeps what came";
  EXPECT_EQ(std::string(buffer.c_str()), "started\n");
  EXPECT_GE(call.elapsed, 1500ms);
}

TEST_F(SshChannelBench, FireAndForgetReturnsOnceStarted) {
  // The command ends its own connection, as a reboot does, but only later.
  ssh_test::Clock::time_point start = ssh_test::Clock::now();
  EXPECT_TRUE(ssh_run_command(bench::kI1, "root", bench::kKfwPassword,
                              "sleep 5; kill -KILL $PPID", nullptr, nullptr, nullptr, 0));
  EXPECT_LT(ssh_test::Clock::now() - start, 4s);
  EXPECT_TRUE(ssh_run_command(bench::kI1, "root", bench::kKfwPassword,
                              "sleep 0.5; kill -KILL $PPID", nullptr, nullptr, nullptr, 0));
}

TEST_F(SshChannelBench, ConnectionLostWhileReadingKeepsTheOutput) {
  ssh_test::Captured cut = Capture(bench::kI1, bench::kKfwPassword, 
                                 "echo partial; sleep 1; kill -KILL $PPID; sleep 5");
  EXPECT_TRUE(cut.ok);
  EXPECT_EQ(cut.text, "partial\n");
}

TEST_F(SshChannelBench, OverlappingCallsFromTwoThreadsBothSucceed) {
  ssh_test::Captured first, second;
  std::thread other([&] { second = Capture(bench::kI2, bench::kKf4Password, "cat /tvs/etc/serial"); });
  first = Capture(bench::kI1, bench::kKfwPassword, "cat /tvs/etc/serial");
  other.join();
  EXPECT_TRUE(first.ok);
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(first.text, "TV8010A0001\n");
  EXPECT_EQ(second.text, "TV9020B0002\n");
}

}  // namespace
