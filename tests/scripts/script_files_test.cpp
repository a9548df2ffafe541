// Packed update scripts: the container, cutting out sections and loading
// both families' scripts.
#include "scripts/script_files.h"

#include <filesystem>

#include "core/updater_controller.h"
#include "scripts/md5.h"
#include "tests/scripts/scratch_dir_support.h"
#include "tests/workflows/recording_view_support.h"

namespace {

namespace fs = std::filesystem;

class ScriptFilesTest : public ScratchDirTest {
 protected:
  // Packs `plain` into `name` the way the packaging mode does.
  void Pack(const std::string& plain, const std::string& name) {
    Write("plain.sh", plain);
    PackScriptFile(Path("plain.sh"), Path(name));
  }
  bool Load(const std::string& name, std::string& text) { return LoadScriptFile(Path(name), text); }
};

std::string Container(const std::string& plain) {
  const std::string scrambled = SwapNibbles(plain);
  return scrambled + Md5Hex(scrambled.data(), scrambled.size());
}

TEST_F(ScriptFilesTest, PackedScriptIsTheContainerAndLoadsBackByteForByte) {
  std::string every;
  for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
  // The one-byte script is the shortest file that loads: 33 bytes.
  for (const std::string& plain : {std::string("x"), "echo start\r\n" + every + "\nRollbackSection:{{{x}}}"}) {
    Pack(plain, "out/deeper/UpdatingScript_kf4.data");  // missing directories appear
    EXPECT_EQ(Read("out/deeper/UpdatingScript_kf4.data"), Container(plain));
    std::string text;
    ASSERT_TRUE(Load("out/deeper/UpdatingScript_kf4.data", text));
    EXPECT_EQ(text, plain);
  }
}

TEST_F(ScriptFilesTest, PackingAnUnreadableScriptWritesNothing) {
  PackScriptFile(Path("absent.sh"), Path("out.data"));
  EXPECT_FALSE(fs::exists(Path("out.data")));
  fs::create_directory(Path("folder.sh"));
  PackScriptFile(Path("folder.sh"), Path("out.data"));
  EXPECT_FALSE(fs::exists(Path("out.data")));
}

TEST_F(ScriptFilesTest, PackingOntoItsOwnInputIsRefusedWhateverThePath) {
  const std::string plain = "echo keep me\n";
  Write("plain.sh", plain);
  fs::create_directory(Path("sub"));
  fs::create_symlink(Path("plain.sh"), Path("link.sh"));
  fs::create_hard_link(Path("plain.sh"), Path("hard.sh"));
  for (const char* output : {"plain.sh", "sub/../plain.sh", "link.sh", "hard.sh"}) {
    PackScriptFile(Path("plain.sh"), Path(output));
    PackScriptFile(Path("link.sh"), Path(output));
    EXPECT_EQ(Read("plain.sh"), plain) << output;
  }
}

TEST_F(ScriptFilesTest, ContainerRejectsAnythingButAnExactLowerCaseDigest) {
  const std::string good = Container("echo hello\n");
  std::string upper = good;
  for (std::size_t i = upper.size() - 32; i < upper.size(); ++i) upper[i] = std::toupper(upper[i]);
  ASSERT_NE(upper, good);  // the digest holds letters
  std::string edited = good;
  edited[0] ^= 0x01;

  const std::pair<const char*, std::string> bad[] = {
      {"upper", upper}, {"newline", good + "\n"}, {"edited", edited},
      {"short", good.substr(good.size() - 32)}, {"empty", ""}};
  for (const auto& [name, content] : bad) Write(name, content);
  std::string text = "untouched";
  for (const char* name : {"upper", "newline", "edited", "short", "empty", "absent"})
    EXPECT_FALSE(Load(name, text)) << name;
  EXPECT_EQ(text, "untouched");
}

TEST(ExtractSection, CutsTheFirstMatchingSectionOrLeavesBothUntouched) {
  const std::string plain = "RollbackSection {{{x}}}\nRollbackSection:{{x}}}\nRollbackSection:{{{x";
  struct Case {
    const char* why;
    const char* name;
    std::string text;
    std::string body;  // expected; "before" when nothing was cut
    std::string rest;
  } cases[] = {
      {"the first of two, what follows kept", "RollbackSection",
       "a\nRollbackSection:{{{\n  undo one\n}}}\nb\nRollbackSection:{{{ undo two }}}\n", "\n  undo one\n",
       "a\n\nb\nRollbackSection:{{{ undo two }}}\n"},
      {"the body ends at the first closing braces", "DeviceInfoSection",
       "DeviceInfoSection:{{{ echo {{{x}}} more }}}\nrest", " echo {{{x", " more }}}\nrest"},
      {"blanks, tabs and line breaks around the colon", "SetHostNameSection",
       "SetHostNameSection \t :\t\n  {{{body}}}", "body", ""},
      {"the name at the end of a longer word", "RollbackSection", "MyRollbackSection:{{{x}}}\n", "x", "My\n"},
      {"no colon, two braces, no end", "RollbackSection", plain, "before", plain},
      {"another section's name", "CheckUpdatePendingSection", plain, "before", plain},
      {"a name that does not compile", "Bad(", plain, "before", plain},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.why);
    std::string text = c.text;
    std::string body = "before";
    ExtractSection(c.name, text, body);
    EXPECT_EQ(body, c.body);
    EXPECT_EQ(text, c.rest);
  }
}

TEST(CountLines, CountsLineFeedsAndAnUnfinishedLastLine) {
  EXPECT_EQ(CountLines(""), 0);
  EXPECT_EQ(CountLines("a"), 1);
  EXPECT_EQ(CountLines("a\n"), 1);
  EXPECT_EQ(CountLines("a\nb"), 2);
  EXPECT_EQ(CountLines("\n"), 1);
  EXPECT_EQ(CountLines("\nx\n"), 2);  // an empty first line counts
  EXPECT_EQ(CountLines("a\r\nb\r"), 2);
}

TEST_F(ScriptFilesTest, LoadsBothFamiliesCutIntoTheirPieces) {
  Pack("RollbackSection:{{{\nundo\n}}}\nstep 1\nDeviceInfoSection : {{{info}}}\nstep 2\n"
       "CheckUpdatePendingSection:{{{p1\np2\np3}}}\nSetHostNameSection:{{{}}}",
       "UpdatingScript_kfw.data");
  Pack("only body\n", "UpdatingScript_kf4.data");
  UpdaterController controller;
  RecordingView view;
  controller.view = &view;
  LoadScriptSets(controller, dir_);
  EXPECT_TRUE(view.messages.empty());

  const ScriptSet& kfw = controller.scriptSets[0];
  EXPECT_EQ(kfw.rollbackSection, "\nundo\n");
  EXPECT_EQ(kfw.deviceInfoSection, "info");
  EXPECT_EQ(kfw.checkUpdatePendingSection, "p1\np2\np3");
  EXPECT_EQ(kfw.setHostNameSection, "");
  EXPECT_EQ(kfw.mainBody, "\nstep 1\n\nstep 2\n\n");
  const int counts[5] = {5, 2, 3, 1, 0};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(kfw.lineCounts[i], counts[i]) << i;

  const ScriptSet& kf4 = controller.scriptSets[1];
  EXPECT_EQ(kf4.mainBody, "only body\n");
  EXPECT_EQ(kf4.rollbackSection, "");
  EXPECT_EQ(kf4.lineCounts[0], 1);
}

TEST_F(ScriptFilesTest, WarnsOnceWhenAFamilyFailsAndKeepsTheOther) {
  Pack("body kfw\n", "UpdatingScript_kfw.data");
  Write("UpdatingScript_kf4.data", Container("body kf4\n") + "\n");
  UpdaterController controller;
  controller.scriptSets[1].mainBody = "stale";
  RecordingView view;
  controller.view = &view;
  LoadScriptSets(controller, dir_);
  EXPECT_EQ(view.messages, std::vector<std::string>{"UpdatingScripts file has been modified."});
  EXPECT_EQ(controller.scriptSets[0].mainBody, "body kfw\n");
  EXPECT_EQ(controller.scriptSets[1].mainBody, "");
  EXPECT_EQ(controller.scriptSets[1].lineCounts[0], 0);

  fs::remove(Path("UpdatingScript_kfw.data"));
  controller.view = nullptr;  // nothing to warn through: no crash
  LoadScriptSets(controller, dir_);
  EXPECT_EQ(controller.scriptSets[0].mainBody, "");
}

}  // namespace
