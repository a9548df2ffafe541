#include "core/command_line.h"

#include <gtest/gtest.h>

namespace {

struct Arguments {
  std::string first;
  std::string second;
};

Arguments Extract(const std::string& line) {
  Arguments args;
  ExtractArguments(line, SelectRunMode(line), args.first, args.second);
  return args;
}

TEST(CommandLine, JoinsProgramPathAndArgumentsWithSingleBlanks) {
  const char* argv[] = {"/opt/tv/TavrinOperator", "-p4", "/data/fw 1.bin", "-o", "x.kf4"};
  EXPECT_EQ(JoinCommandLine(5, const_cast<char**>(argv)),
            "/opt/tv/TavrinOperator -p4 /data/fw 1.bin -o x.kf4");
  EXPECT_EQ(JoinCommandLine(1, const_cast<char**>(argv)), "/opt/tv/TavrinOperator");
}

TEST(CommandLine, SelectsModeByFlagWithFixedPrecedence) {
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator"), RunMode::Interactive);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -s a.sh -o a.data"), RunMode::ScriptCompanion);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -p fw.bin"), RunMode::PackageKfw);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -p4 fw.bin"), RunMode::PackageKf4);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -S A -O B"), RunMode::ScriptCompanion);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -P4 X"), RunMode::PackageKf4);
  // -s beats -p, which beats -p4, wherever they stand.
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -p4 a -p b -s c"), RunMode::ScriptCompanion);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -p4 a -p b"), RunMode::PackageKfw);
}

TEST(CommandLine, FlagsNeedTheirBlanksAndAProgramPathInFront) {
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -s"), RunMode::Interactive);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -p"), RunMode::Interactive);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -sx"), RunMode::Interactive);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator --s x"), RunMode::Interactive);
  EXPECT_EQ(SelectRunMode(" -s a -o b"), RunMode::Interactive);
  EXPECT_EQ(SelectRunMode("/bin/TavrinOperator -p4"), RunMode::PackageKf4);
}

TEST(CommandLine, SplitsArgumentsAtSeparatorKeepingTheirCase) {
  Arguments args = Extract("/bin/TavrinOperator -S /Src/Plain.sh -O /Out/Script.data");
  EXPECT_EQ(args.first, "/Src/Plain.sh");
  EXPECT_EQ(args.second, "/Out/Script.data");

  args = Extract("/bin/TavrinOperator -p4 /pkg/fw.bin");
  EXPECT_EQ(args.first, "/pkg/fw.bin");
  EXPECT_EQ(args.second, "");

  args = Extract("/bin/TavrinOperator -p /pkg/fw.bin -o /out/fw.kfw");
  EXPECT_EQ(args.first, "/pkg/fw.bin");
  EXPECT_EQ(args.second, "/out/fw.kfw");
}

TEST(CommandLine, TrimsQuotesAndBlanksButKeepsInnerBlanks) {
  Arguments args = Extract("/bin/TavrinOperator -s  \"/my scripts/a.sh\"  -o \"/my out/a.data\" ");
  EXPECT_EQ(args.first, "/my scripts/a.sh");
  EXPECT_EQ(args.second, "/my out/a.data");

  args = Extract("/bin/TavrinOperator -p \"\" -o \" \"");
  EXPECT_EQ(args.first, "");
  EXPECT_EQ(args.second, "");
}

TEST(CommandLine, SeparatorInFrontOfFlagLeavesFirstArgumentEmpty) {
  Arguments args = Extract("/bin/TavrinOperator -o out.kfw -p fw.bin");
  EXPECT_EQ(args.first, "");
  EXPECT_EQ(args.second, "out.kfw -p fw.bin");
  // Nothing between flag and separator.
  args = Extract("/bin/TavrinOperator -s -o out.data");
  EXPECT_EQ(args.first, "");
  EXPECT_EQ(args.second, "out.data");
}

}  // namespace
