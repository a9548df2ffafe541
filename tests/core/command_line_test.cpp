#include "core/command_line.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(CommandLine, JoinsProgramPathAndArgumentsWithSingleBlanks) {
  const char* argv[] = {"/opt/tv/TavrinOperator", "-p4", "/data/fw 1.bin", "-o", "x.kf4"};
  EXPECT_EQ(JoinCommandLine(5, const_cast<char**>(argv)),
            "/opt/tv/TavrinOperator -p4 /data/fw 1.bin -o x.kf4");
  EXPECT_EQ(JoinCommandLine(1, const_cast<char**>(argv)), "/opt/tv/TavrinOperator");
}

TEST(CommandLine, SelectsModeByFlagWithFixedPrecedence) {
  const struct {
    const char* arguments;
    RunMode mode;
  } cases[] = {
      {"", RunMode::Interactive},
      {" -s a.sh -o a.data", RunMode::ScriptCompanion},
      {" -p fw.bin", RunMode::PackageKfw},
      {" -p4 fw.bin", RunMode::PackageKf4},
      {" -S A -O B", RunMode::ScriptCompanion},
      {" -P4 X", RunMode::PackageKf4},
      // -s beats -p, which beats -p4, wherever they stand.
      {" -p4 a -p b -s c", RunMode::ScriptCompanion},
      {" -p4 a -p b", RunMode::PackageKfw},
      // Flags need a blank on either side...
      {" -s", RunMode::Interactive},
      {" -p", RunMode::Interactive},
      {" -sx", RunMode::Interactive},
      {" --s x", RunMode::Interactive},
      {" -p4", RunMode::PackageKf4},
  };
  for (const auto& c : cases) {
    const std::string line = std::string("/bin/TavrinOperator") + c.arguments;
    EXPECT_EQ(SelectRunMode(line), c.mode) << line;
  }
  // ...and a program path in front of them.
  EXPECT_EQ(SelectRunMode(" -s a -o b"), RunMode::Interactive);
}

TEST(CommandLine, ExtractsArgumentsAroundTheSeparator) {
  const struct {
    const char* why;
    const char* arguments;
    const char* first;
    const char* second;
  } cases[] = {
      {"case kept", " -S /Src/Plain.sh -O /Out/Script.data", "/Src/Plain.sh", "/Out/Script.data"},
      {"no separator", " -p4 /pkg/fw.bin", "/pkg/fw.bin", ""},
      {"lower-case separator", " -p /pkg/fw.bin -o /out/fw.kfw", "/pkg/fw.bin", "/out/fw.kfw"},
      {"quotes and outer blanks trimmed, inner blanks kept",
       " -s  \"/my scripts/a.sh\"  -o \"/my out/a.data\" ", "/my scripts/a.sh", "/my out/a.data"},
      {"quoted nothing", " -p \"\" -o \" \"", "", ""},
      {"separator in front of the flag", " -o out.kfw -p fw.bin", "", "out.kfw -p fw.bin"},
      {"nothing between flag and separator", " -s -o out.data", "", "out.data"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const std::string line = std::string("/bin/TavrinOperator") + c.arguments;
    std::string first = "stale", second = "stale";
    ExtractArguments(line, SelectRunMode(line), first, second);
    EXPECT_EQ(first, c.first);
    EXPECT_EQ(second, c.second);
  }
}

}  // namespace
