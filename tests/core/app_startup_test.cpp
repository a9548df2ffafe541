#include "core/app_startup.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/operation_log.h"

namespace {

namespace fs = std::filesystem;

struct PackCall {
  std::string kind;
  std::string input;
  std::string output;
};

class PackagingModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tv_startup_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = name;
    logPath_ = dir_ + "/TavrinOperator.log";
    operations_.packScript = [this](const std::string& in, const std::string& out) {
      calls_.push_back({"script", in, out});
    };
    operations_.packPackage = [this](const std::string& in, const std::string& out, int kind) {
      calls_.push_back({"package" + std::to_string(kind), in, out});
    };
  }
  void TearDown() override { fs::remove_all(dir_); }

  int Run(const std::string& line) {
    return RunPackagingMode(SelectRunMode(line), line, logPath_, operations_);
  }

  std::string Log() const {
    std::ifstream in(logPath_, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }

  static int HeaderCount(const std::string& log) {
    int count = 0;
    for (auto at = log.find("=============\n"); at != std::string::npos;
         at = log.find("=============\n", at + 1)) {
      ++count;
    }
    return count;
  }

  std::string dir_;
  std::string logPath_;
  PackagingOperations operations_;
  std::vector<PackCall> calls_;
};

TEST_F(PackagingModeTest, CallsThePackerOfTheModeWithBothArguments) {
  EXPECT_EQ(Run("/opt/TavrinOperator -S \"/in/My Script.sh\" -O /out/x.data"), 0);
  EXPECT_EQ(Run("/opt/TavrinOperator -p /in/fw.bin"), 0);
  EXPECT_EQ(Run("/opt/TavrinOperator -p4 /in/fw.bin -o /out/fw.kf4"), 0);
  ASSERT_EQ(calls_.size(), 3u);
  EXPECT_EQ(calls_[0].kind, "script");
  EXPECT_EQ(calls_[0].input, "/in/My Script.sh");
  EXPECT_EQ(calls_[0].output, "/out/x.data");
  EXPECT_EQ(calls_[1].kind, "package1");
  EXPECT_EQ(calls_[1].input, "/in/fw.bin");
  EXPECT_EQ(calls_[1].output, "");
  EXPECT_EQ(calls_[2].kind, "package2");
  EXPECT_EQ(calls_[2].output, "/out/fw.kf4");
}

TEST_F(PackagingModeTest, EachRunAddsOneHeaderAndNoLines) {
  Run("/opt/TavrinOperator -p /in/fw.bin");
  Run("/opt/TavrinOperator -s a -o b");
  const std::string log = Log();
  EXPECT_EQ(HeaderCount(log), 2);
  EXPECT_EQ(log.size(), 2 * std::string("=============2026-03-07 09:05:03=============\n").size());
}

TEST_F(PackagingModeTest, RunWhileTheWindowHoldsTheLogAddsNothing) {
  OperationLog window(logPath_);
  ASSERT_TRUE(window.IsOpen());
  const std::string before = Log();
  Run("/opt/TavrinOperator -p4 /in/fw.bin");
  EXPECT_EQ(Log(), before);
  EXPECT_EQ(calls_.size(), 1u);  // the packing itself still happens
}

}  // namespace
