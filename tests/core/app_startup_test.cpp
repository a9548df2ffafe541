#include "core/app_startup.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/operation_log.h"
#include "tests/core/temp_dir_support.h"

namespace {

using core_test::ReadFile;

class PackagingModeTest : public core_test::TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    logPath_ = dir_ + "/TavrinOperator.log";
    // Each call as "kind|input|output".
    operations_.packScript = [this](const std::string& in, const std::string& out) {
      calls_.push_back("script|" + in + "|" + out);
      return PackResult{};
    };
    operations_.packPackage = [this](const std::string& in, const std::string& out, int kind) {
      calls_.push_back("package" + std::to_string(kind) + "|" + in + "|" + out);
      return PackResult{};
    };
  }

  int Run(const std::string& line) {
    return RunPackagingMode(SelectRunMode(line), line, logPath_, operations_);
  }

  std::string logPath_;
  PackagingOperations operations_;
  std::vector<std::string> calls_;
};

TEST_F(PackagingModeTest, CallsThePackerOfTheModeWithBothArguments) {
  EXPECT_EQ(Run("/opt/TavrinOperator -S \"/in/My Script.sh\" -O /out/x.data"), 0);
  EXPECT_EQ(Run("/opt/TavrinOperator -p /in/fw.bin"), 0);
  EXPECT_EQ(Run("/opt/TavrinOperator -p4 /in/fw.bin -o /out/fw.kf4"), 0);
  EXPECT_EQ(calls_, (std::vector<std::string>{"script|/in/My Script.sh|/out/x.data",
                                              "package1|/in/fw.bin|",
                                              "package2|/in/fw.bin|/out/fw.kf4"}));
}

TEST_F(PackagingModeTest, EachRunAddsOneHeaderAndNoLines) {
  Run("/opt/TavrinOperator -p /in/fw.bin");
  Run("/opt/TavrinOperator -s a -o b");
  const std::string log = ReadFile(logPath_);
  int headers = 0;
  for (auto at = log.find("=============\n"); at != std::string::npos;
       at = log.find("=============\n", at + 1)) {
    ++headers;
  }
  EXPECT_EQ(headers, 2);
  EXPECT_EQ(log.size(), 2 * std::string("=============2026-03-07 09:05:03=============\n").size());
}

TEST_F(PackagingModeTest, AFailedPackingEndsWithStatusOneAndOneLineOnStandardError) {
  const struct {
    PackResult result;
    int status;
    std::string error;
  } cases[] = {
      {{PackResult::Written, ""}, 0, ""},
      {{PackResult::InputUnreadable, "/in/fw.bin"}, 1, "TavrinOperator: cannot read /in/fw.bin\n"},
      {{PackResult::OutputUnwritable, "/usr/fw.kfw"}, 1, "TavrinOperator: cannot write /usr/fw.kfw\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    operations_.packPackage = [&c](const std::string&, const std::string&, int) { return c.result; };
    operations_.packScript = [&c](const std::string&, const std::string&) { return c.result; };
    for (const char* line : {"/opt/TavrinOperator -p /in/fw.bin", "/opt/TavrinOperator -s a -o b"}) {
      testing::internal::CaptureStderr();
      EXPECT_EQ(Run(line), c.status) << line;
      EXPECT_EQ(testing::internal::GetCapturedStderr(), c.error) << line;
    }
  }
}

TEST_F(PackagingModeTest, RunWhileTheWindowHoldsTheLogAddsNothing) {
  OperationLog window(logPath_);
  ASSERT_TRUE(window.IsOpen());
  const std::string before = ReadFile(logPath_);
  Run("/opt/TavrinOperator -p4 /in/fw.bin");
  EXPECT_EQ(ReadFile(logPath_), before);
  EXPECT_EQ(calls_.size(), 1u);  // the packing itself still happens
}

}  // namespace
