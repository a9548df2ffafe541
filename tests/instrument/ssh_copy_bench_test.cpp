// Copies to the bench's instruments through their real SCP sinks.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <string>

#include "instrument/ssh_channel.h"
#include "tests/instrument/ssh_test_env.h"
#include "tests/support/bench_env.h"

namespace {

using namespace std::chrono_literals;
using ssh_test::Capture;

class SshCopyBench : public testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_BENCH();
    ASSERT_FALSE(localDir_.empty());
  }

  // A file of `size` pseudo-random bytes named like the remote copy.
  std::string MakeFile(std::size_t size) {
    std::string path = localDir_ + "/" + remoteName_;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::mt19937 random(static_cast<unsigned>(size));
    std::string block(64 * 1024, '\0');
    for (std::size_t left = size; left > 0;) {
      std::size_t n = std::min(left, block.size());
      for (std::size_t i = 0; i < n; ++i) block[i] = static_cast<char>(random());
      std::fwrite(block.data(), 1, n, file);
      left -= n;
    }
    std::fclose(file);
    return path;
  }

  static std::string LocalMd5(const std::string& path) {
    std::FILE* pipe = popen(("md5sum " + path).c_str(), "r");
    char digest[33] = {};
    if (pipe != nullptr) {
      if (std::fread(digest, 1, 32, pipe) != 32) digest[0] = '\0';
      pclose(pipe);
    }
    return digest;
  }

  ssh_test::TempConfigHome config;
  ssh_test::TempDir local_;
  const std::string& localDir_ = local_.path();
  const std::string remoteName_ = "tv_scp_" + std::to_string(getpid());
};

TEST_F(SshCopyBench, FileArrivesIntactWithMode0644) {
  // Several large chunks and a short one; the local file's mode is not copied.
  std::string path = MakeFile(3 * 1024 * 1024 + 777);
  chmod(path.c_str(), 0700);
  std::string target = std::string("root@") + bench::kI1 + ":/tmp/";
  ASSERT_TRUE(scp_send_file("root", bench::kKfwPassword, path.c_str(), target.c_str()));

  std::string remote = "/tmp/" + remoteName_;
  ssh_test::Captured check =
      Capture(bench::kI1, bench::kKfwPassword, "md5sum " + remote + " | cut -c1-32; stat -c %a:%s " + remote + "; rm -f " + remote);
  EXPECT_TRUE(check.ok);
  EXPECT_EQ(check.text, LocalMd5(path) + "\n644:" + std::to_string(3 * 1024 * 1024 + 777) + "\n");
}

TEST_F(SshCopyBench, EmptyFileGoesToTheLoginDirectoryAsTheTargetsUser) {
  std::string path = MakeFile(0);
  // The user named in the target replaces the caller's.
  std::string target = std::string("root@") + bench::kI2 + ":";
  ASSERT_TRUE(scp_send_file("nobody", bench::kKf4Password, path.c_str(), target.c_str()));
  ssh_test::Captured check = Capture(bench::kI2, bench::kKf4Password,
                                 "stat -c %s " + remoteName_ + " && rm -f " + remoteName_);
  EXPECT_TRUE(check.ok);
  EXPECT_EQ(check.text, "0\n");
}

TEST_F(SshCopyBench, SinkRefusalFailsTheCopy) {
  std::string path = MakeFile(1000);
  std::string target = std::string(bench::kI1) + ":/tmp/tv_no_such_dir/" + remoteName_;
  EXPECT_FALSE(scp_send_file("root", bench::kKfwPassword, path.c_str(), target.c_str()));
  ssh_test::Captured check =
      Capture(bench::kI1, bench::kKfwPassword, "ls -d /tmp/tv_no_such_dir 2>/dev/null; echo end");
  EXPECT_EQ(check.text, "end\n");
}

TEST_F(SshCopyBench, DirectoryAndMissingSourcesAreRefused) {
  std::string target = std::string(bench::kI1) + ":/tmp/";
  EXPECT_FALSE(scp_send_file("root", bench::kKfwPassword, localDir_.c_str(), target.c_str()));
  EXPECT_FALSE(scp_send_file("root", bench::kKfwPassword, (localDir_ + "/missing").c_str(),
                             target.c_str()));
}

TEST_F(SshCopyBench, CancelFailsTheCopy) {
  std::string path = MakeFile(64 * 1024 * 1024);
  std::string target = std::string(bench::kI2) + ":/tmp/";
  ssh_test::Timed call = ssh_test::CancelAfter(300ms, [&] {
    return scp_send_file("root", bench::kKf4Password, path.c_str(), target.c_str());
  });
  EXPECT_FALSE(call.result);
  Capture(bench::kI2, bench::kKf4Password, "rm -f /tmp/" + remoteName_);
}

}  // namespace
