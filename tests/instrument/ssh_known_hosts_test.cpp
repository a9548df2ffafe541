#include "instrument/known_hosts.h"

#include <libssh2.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/instrument/ssh_test_env.h"

namespace {

// A raw public-key blob as a server presents it.
std::string Ed25519Key(char fill) {
  std::string blob("\0\0\0\x0bssh-ed25519\0\0\0\x20", 19);
  return blob + std::string(32, fill);
}

class KnownHostStore : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    session_ = libssh2_session_init();
    ASSERT_NE(session_, nullptr);
  }
  void TearDown() override {
    if (session_ != nullptr) libssh2_session_free(session_);
  }
  HostKeyVerdict Offer(const std::string& host, const std::string& key, int type) {
    return AcceptHostKey(session_, store_, host, key.data(), key.size(), type);
  }
  // An ed25519 key whose bytes are all `fill`.
  HostKeyVerdict Offer(const std::string& host, char fill) {
    return Offer(host, Ed25519Key(fill), LIBSSH2_HOSTKEY_TYPE_ED25519);
  }
  std::vector<std::string> StoreLines() const {
    std::vector<std::string> lines;
    std::stringstream in(ssh_test::ReadFile(store_));
    for (std::string line; std::getline(in, line);)
      if (!line.empty()) lines.push_back(line);
    return lines;
  }

  ssh_test::TempDir dir_;
  const std::string store_ = dir_.path() + "/TavrinOperator/known_hosts";
  LIBSSH2_SESSION* session_ = nullptr;
};

TEST_F(KnownHostStore, NewKeyIsRecordedInOpenSshFormat) {
  EXPECT_EQ(Offer("198.18.0.11", 'a'), HostKeyVerdict::Recorded);
  std::vector<std::string> lines = StoreLines();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("198.18.0.11 ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAI", 0), 0u) << lines[0];

  std::string before = ssh_test::ReadFile(store_);
  EXPECT_EQ(Offer("198.18.0.11", 'a'), HostKeyVerdict::Known);
  EXPECT_EQ(ssh_test::ReadFile(store_), before);
}

// Runs side by side, each meeting instruments of its own for the first time:
// every key lands in the store, none is lost to another run's write.
TEST_F(KnownHostStore, RunsSideBySideKeepEveryOnesKeys) {
  constexpr int kRuns = 6;
  constexpr int kHostsEach = 25;
  std::vector<pid_t> children;
  for (int run = 0; run < kRuns; ++run) {
    const pid_t child = fork();
    if (child == 0) {
      LIBSSH2_SESSION* session = libssh2_session_init();
      const std::string key = Ed25519Key(static_cast<char>('a' + run));
      for (int n = 0; n < kHostsEach; ++n) {
        const std::string host = "198.18." + std::to_string(run) + "." + std::to_string(n + 1);
        AcceptHostKey(session, store_, host, key.data(), key.size(), LIBSSH2_HOSTKEY_TYPE_ED25519);
      }
      _exit(0);
    }
    children.push_back(child);
  }
  for (pid_t child : children) waitpid(child, nullptr, 0);
  EXPECT_EQ(StoreLines().size(), static_cast<std::size_t>(kRuns * kHostsEach));
}

TEST_F(KnownHostStore, ChangedKeyReplacesOnlyThatHostsEntry) {
  Offer("198.18.0.11", 'a');
  Offer("198.18.0.12", 'b');
  std::string other = StoreLines()[1];

  EXPECT_EQ(Offer("198.18.0.11", 'c'), HostKeyVerdict::Replaced);
  std::vector<std::string> lines = StoreLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(std::find(lines.begin(), lines.end(), other), lines.end());
  EXPECT_EQ(Offer("198.18.0.11", 'c'), HostKeyVerdict::Known);
  EXPECT_EQ(Offer("198.18.0.11", 'a'), HostKeyVerdict::Replaced);
}

TEST_F(KnownHostStore, KeysOfAnotherTypeStayBesideEachOther) {
  std::string rsa("\0\0\0\x07ssh-rsa\0\0\0\x03\x01\x00\x01", 18);
  Offer("198.18.0.11", 'a');
  EXPECT_EQ(Offer("198.18.0.11", rsa, LIBSSH2_HOSTKEY_TYPE_RSA), HostKeyVerdict::Recorded);
  EXPECT_EQ(StoreLines().size(), 2u);
  EXPECT_EQ(Offer("198.18.0.11", 'a'), HostKeyVerdict::Known);
}

TEST_F(KnownHostStore, UnwritableStoreStillAcceptsTheKey) {
  // A file where the directory should be makes the store unwritable.
  std::ofstream(dir_.path() + "/TavrinOperator") << "not a directory";
  EXPECT_EQ(Offer("198.18.0.11", 'a'), HostKeyVerdict::Unrecorded);
}

TEST(KnownHostsPath, LivesInTheConfigurationDirectoryNeverInDotSsh) {
  ssh_test::EnvironmentGuard config("XDG_CONFIG_HOME");
  ssh_test::EnvironmentGuard home("HOME");
  setenv("HOME", "/home/operator", 1);
  setenv("XDG_CONFIG_HOME", "/var/cfg", 1);
  EXPECT_EQ(KnownHostsPath(), "/var/cfg/TavrinOperator/known_hosts");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(KnownHostsPath(), "/home/operator/.config/TavrinOperator/known_hosts");
  setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // only an absolute path counts
  EXPECT_EQ(KnownHostsPath(), "/home/operator/.config/TavrinOperator/known_hosts");
}

}  // namespace
