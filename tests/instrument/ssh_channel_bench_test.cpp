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
using ssh_test::Captured;
using ssh_test::RunAsRoot;

constexpr const char* kTestSuffix = " >/dev/null 2>&1 && sync && echo yes || echo no";

class SshChannelBench : public testing::Test {
 protected:
  void SetUp() override { REQUIRE_BENCH(); }
  // A command on i1, the bench's usual instrument.
  static Captured OnI1(const std::string& command, std::size_t capacity = 4095) {
    return Capture(bench::kI1, bench::kKfwPassword, command, capacity);
  }
  static bool RunOnI1(const std::string& command, const char* expected = nullptr,
                      int* matched = nullptr, char* output = nullptr, std::size_t capacity = 0) {
    return RunAsRoot(bench::kI1, bench::kKfwPassword, command, expected, matched, output, capacity);
  }
  ssh_test::TempConfigHome config;
};

// A live instrument answers the kernel's keepalive probes while a command
// runs silently, so a quiet spell longer than the dead-peer bound (40 s)
// does not end the connection.
TEST_F(SshChannelBench, AQuietCommandLongerThanTheDeadPeerBoundCompletes) {
  Captured quiet = OnI1("sleep 50; echo done", 255);
  EXPECT_TRUE(quiet.ok);
  EXPECT_EQ(quiet.text, "done\n");
}

TEST_F(SshChannelBench, CapturesStandardOutputOnly) {
  Captured pwd = OnI1("pwd", 255);
  EXPECT_TRUE(pwd.ok);
  EXPECT_EQ(pwd.text, "/root\n");

  Captured mixed = OnI1("echo out; echo err >&2; exit 3");
  EXPECT_TRUE(mixed.ok) << "the exit status is never examined";
  EXPECT_EQ(mixed.text, "out\n");
}

TEST_F(SshChannelBench, TestSuffixTurnsSuccessIntoYes) {
  // No output at all: the call succeeds, the comparison does not.
  const std::pair<std::string, int> cases[] = {
      {std::string("[ -e /tvs/etc/serial ]") + kTestSuffix, 1},
      {std::string("[ -e /tvs/no/such/file ]") + kTestSuffix, 0},
      {"true", 0}};
  for (const auto& [command, expected] : cases) {
    int matched = -1;
    EXPECT_TRUE(RunOnI1(command, "yes\n", &matched)) << command;
    EXPECT_EQ(matched, expected) << command;
  }
}

TEST_F(SshChannelBench, LongOutputIsReadToTheEndButKeptWithinLimits) {
  std::string all;
  for (int i = 1; i <= 3000; ++i) all += std::to_string(i) + "\n";
  std::string buffer(256, '\0');
  int matched = -1;
  EXPECT_TRUE(RunOnI1("seq 1 3000", "yes\n", &matched, &buffer[0], 255));
  EXPECT_EQ(matched, 0);
  EXPECT_EQ(std::string(buffer.c_str()), all.substr(0, 255));
  EXPECT_EQ(buffer[255], '\0');

  EXPECT_TRUE(RunOnI1("seq 1 3000", all.substr(0, 256).c_str(), &matched));
  EXPECT_EQ(matched, 1) << "only the first 256 bytes are compared";
}

TEST_F(SshChannelBench, EachFamilyLogsInWithItsOwnPassword) {
  EXPECT_TRUE(OnI1("pwd").ok);
  EXPECT_TRUE(Capture(bench::kI2, bench::kKf4Password, "pwd").ok);
  // The wrong family's password is offered until the server gives up.
  Captured wrong = Capture(bench::kI2, bench::kKfwPassword, "pwd");
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

  Captured again = Capture(bench::kI3, bench::kKfwPassword, "pwd");
  EXPECT_TRUE(again.ok);
  EXPECT_EQ(again.text, "/root\n");
  EXPECT_EQ(ssh_test::ReadFile(config.StorePath()), genuine);
}

TEST_F(SshChannelBench, CancelEndsConnectAndAuthenticationPromptly) {
  const struct {
    const char* why;
    const char* host;  // with the kfw password
    std::chrono::milliseconds delay, limit;
  } cases[] = {
      // On the bench's network, but no instrument answers there: address
      // resolution alone takes about 3 s to fail.
      {"connect", "198.18.0.251", 200ms, 1500ms},
      // A refused password takes the server seconds per attempt.
      {"authentication", bench::kI2, 300ms, 3000ms},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    char output[256] = {};
    ssh_test::Timed call = ssh_test::CancelAfter(c.delay, [&] {
      return RunAsRoot(c.host, bench::kKfwPassword, "pwd", nullptr, nullptr, output, 255);
    });
    EXPECT_FALSE(call.result);
    EXPECT_LT(call.elapsed, c.limit);
  }
}

TEST_F(SshChannelBench, CancelWithoutCallLeavesTheNextCallAlone) {
  EXPECT_FALSE(ssh_cancel());
  Captured pwd = OnI1("pwd");
  EXPECT_TRUE(pwd.ok);
  EXPECT_EQ(pwd.text, "/root\n");
}

TEST_F(SshChannelBench, CommandWaitingForInputRunsUntilCancelled) {
  // End-of-file reaches the command only at tear-down, so `cat` waits. The
  // cancel comes long after the login and the first line, also on a busy
  // machine.
  std::string buffer(256, '\0');
  ssh_test::Timed call = ssh_test::CancelAfter(
      5000ms, [&] { return RunOnI1("echo started; cat", nullptr, nullptr, &buffer[0], 255); });
  EXPECT_TRUE(call.result) << "a cancel while reading keeps what came";
  EXPECT_EQ(std::string(buffer.c_str()), "started\n");
  EXPECT_GE(call.elapsed, 5000ms);
}

TEST_F(SshChannelBench, FireAndForgetReturnsOnceStarted) {
  // The command ends its own connection, as a reboot does, but only later.
  ssh_test::Clock::time_point start = ssh_test::Clock::now();
  EXPECT_TRUE(RunOnI1("sleep 5; kill -KILL $PPID"));
  EXPECT_LT(ssh_test::Clock::now() - start, 4s);
  EXPECT_TRUE(RunOnI1("sleep 0.5; kill -KILL $PPID"));
}

TEST_F(SshChannelBench, ConnectionLostWhileReadingKeepsTheOutputButFails) {
  // Cut before it could report an exit status: the command did not run to
  // its end, whatever it printed.
  Captured cut = OnI1("echo partial; sleep 1; kill -KILL $PPID; sleep 5");
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.text, "partial\n");
}

TEST_F(SshChannelBench, OverlappingCallsFromTwoThreadsBothSucceed) {
  Captured first, second;
  std::thread other(
      [&] { second = Capture(bench::kI2, bench::kKf4Password, "cat /tvs/etc/serial"); });
  first = OnI1("cat /tvs/etc/serial");
  other.join();
  EXPECT_TRUE(first.ok);
  EXPECT_TRUE(second.ok);
  EXPECT_EQ(first.text, "TV8010A0001\n");
  EXPECT_EQ(second.text, "TV9020B0002\n");
}

}  // namespace
