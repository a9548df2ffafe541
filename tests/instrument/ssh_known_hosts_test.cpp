#include "instrument/known_hosts.h"

#include <libssh2.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream in(text);
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

// A raw public-key blob as a server presents it.
std::string Ed25519Key(char fill) {
  std::string blob("\0\0\0\x0bssh-ed25519\0\0\0\x20", 19);
  return blob + std::string(32, fill);
}

class KnownHostStore : public testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tv_known_hosts_XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    store_ = dir_ + "/TavrinOperator/known_hosts";
    session_ = libssh2_session_init();
    ASSERT_NE(session_, nullptr);
  }
  void TearDown() override {
    if (session_ != nullptr) libssh2_session_free(session_);
    std::system(("rm -rf " + dir_).c_str());
  }
  HostKeyVerdict Offer(const std::string& host, const std::string& key, int type) {
    return AcceptHostKey(session_, store_, host, key.data(), key.size(), type);
  }

  std::string dir_;
  std::string store_;
  LIBSSH2_SESSION* session_ = nullptr;
};

TEST_F(KnownHostStore, NewKeyIsRecordedInOpenSshFormat) {
  EXPECT_EQ(Offer("198.18.0.11", Ed25519Key('a'), LIBSSH2_HOSTKEY_TYPE_ED25519),
            HostKeyVerdict::Recorded);
  std::vector<std::string> lines = Lines(ReadAll(store_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("198.18.0.11 ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAI", 0), 0u) << lines[0];

  std::string before = ReadAll(store_);
  EXPECT_EQ(Offer("198.18.0.11", Ed25519Key('a'), LIBSSH2_HOSTKEY_TYPE_ED25519),
            HostKeyVerdict::Known);
  EXPECT_EQ(ReadAll(store_), before);
}

TEST_F(KnownHostStore, ChangedKeyReplacesOnlyThatHostsEntry) {
  Offer("198.18.0.11", Ed25519Key('a'), LIBSSH2_HOSTKEY_TYPE_ED25519);
  Offer("198.18.0.12", Ed25519Key('b'), LIBSSH2_HOSTKEY_TYPE_ED25519);
  std::string other = Lines(ReadAll(store_))[1];

  EXPECT_EQ(Offer("198.18.0.11", Ed25519Key('c'), LIBSSH2_HOSTKEY_TYPE_ED25519),
            HostKeyVerdict::Replaced);
  std::vector<std::string> lines = Lines(ReadAll(store_));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(std::find(lines.begin(), lines.end(), other), lines.end());
  EXPECT_EQ(Offer("198.18.0.11", Ed25519Key('c'), LIBSSH2_HOSTKEY_TYPE_ED25519),
            HostKeyVerdict::Known);
  EXPECT_EQ(Offer("198.18.0.11", Ed25519Key('a'), LIBSSH2_HOSTKEY_TYPE_ED25519),
            HostKeyVerdict::Replaced);
}

TEST_F(KnownHostStore, KeysOfAnotherTypeStayBesideEachOther) {
  std::string rsa("\0\0\0\x07ssh-rsa\0\0\0\x03\x01\x00\x01", 18);
  Offer("198.18.0.11", Ed25519Key('a'), LIBSSH2_HOSTKEY_TYPE_ED25519);
  EXPECT_EQ(Offer("198.18.0.11", rsa, LIBSSH2_HOSTKEY_TYPE_RSA), HostKeyVerdict::Recorded);
  EXPECT_EQ(Lines(ReadAll(store_)).size(), 2u);
  EXPECT_EQ(Offer("198.18.0.11", Ed25519Key('a'), LIBSSH2_HOSTKEY_TYPE_ED25519),
            HostKeyVerdict::Known);
}

TEST_F(KnownHostStore, UnwritableStoreStillAcceptsTheKey) {
  // A file where the directory should be makes the store unwritable.
  std::ofstream(dir_ + "/TavrinOperator") << "not a directory";
  EXPECT_EQ(Offer("198.18.0.11", Ed25519Key('a'), LIBSSH2_HOSTKEY_TYPE_ED25519),
            HostKeyVerdict::Unrecorded);
}

class EnvironmentGuard {
 public:
  explicit EnvironmentGuard(const char* name) : name_(name) {
    const char* value = std::getenv(name);
    had_ = value != nullptr;
    if (had_) value_ = value;
  }
  ~EnvironmentGuard() {
    if (had_)
      setenv(name_, value_.c_str(), 1);
    else
      unsetenv(name_);
  }

 private:
  const char* name_;
  bool had_ = false;
  std::string value_;
};

TEST(KnownHostsPath, LivesInTheConfigurationDirectoryNeverInDotSsh) {
  EnvironmentGuard config("XDG_CONFIG_HOME");
  EnvironmentGuard home("HOME");
  setenv("HOME", "/home/operator", 1);
  setenv("XDG_CONFIG_HOME", "/var/cfg", 1);
  EXPECT_EQ(KnownHostsPath(), "/var/cfg/TavrinOperator/known_hosts");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(KnownHostsPath(), "/home/operator/.config/TavrinOperator/known_hosts");
  setenv("XDG_CONFIG_HOME", "relative/cfg", 1);  // only an absolute path counts
  EXPECT_EQ(KnownHostsPath(), "/home/operator/.config/TavrinOperator/known_hosts");
}

}  // namespace
