#include "scripts/script_files.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/operator_view.h"
#include "core/updater_controller.h"
#include "scripts/md5.h"

namespace {

namespace fs = std::filesystem;

// Only the message boxes matter here.
class MessageRecorder : public OperatorView {
 public:
  std::vector<std::string> messages;
  bool MessageBox(const std::string& text, bool) override {
    messages.push_back(text);
    return true;
  }
  void SetText(int, const std::string&) override {}
  std::string GetText(int) override { return std::string(); }
  void Enable(int, bool) override {}
  void SetCheck(int, bool) override {}
  bool GetCheck(int) override { return false; }
  void GetAddress(unsigned char parts[4]) override { std::fill(parts, parts + 4, 0); }
  void SetAddress(const unsigned char*) override {}
  void ListReset() override {}
  void ListAppend(const std::string&) override {}
  int ListCount() override { return 0; }
  int ListSelected() override { return -1; }
  void ListSelect(int) override {}
  void LogAppend(const std::string&) override {}
  void SetProgress(int) override {}
};

class ScriptFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/tv_scripts_XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    dir_ = std::string(name) + "/";
  }
  void TearDown() override { fs::remove_all(dir_); }

  void Write(const std::string& name, const std::string& content) {
    std::ofstream(dir_ + name, std::ios::binary) << content;
  }
  std::string Read(const std::string& name) {
    std::ifstream in(dir_ + name, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
  }
  // Packs `plain` into `name` the way the packaging mode does.
  void Pack(const std::string& plain, const std::string& name) {
    Write("plain.sh", plain);
    PackScriptFile(dir_ + "plain.sh", dir_ + name);
  }
  bool Load(const std::string& name, std::string& text) { return LoadScriptFile(dir_ + name, text); }

  std::string dir_;
};

std::string Scramble(std::string bytes) {
  for (char& c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    c = static_cast<char>((b << 4) | (b >> 4));
  }
  return bytes;
}

std::string Container(const std::string& plain) {
  const std::string scrambled = Scramble(plain);
  return scrambled + Md5Hex(scrambled.data(), scrambled.size());
}

TEST_F(ScriptFilesTest, PackedScriptIsTheContainerAndLoadsBackByteForByte) {
  std::string every;
  for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
  const std::string plain = "echo start\r\n" + every + "\nRollbackSection:{{{x}}}";
  Pack(plain, "out/deeper/UpdatingScript_kf4.data");  // missing directories appear
  EXPECT_EQ(Read("out/deeper/UpdatingScript_kf4.data"), Container(plain));
  std::string text;
  ASSERT_TRUE(Load("out/deeper/UpdatingScript_kf4.data", text));
  EXPECT_EQ(text, plain);
}

TEST_F(ScriptFilesTest, PackingAnUnreadableScriptWritesNothing) {
  PackScriptFile(dir_ + "absent.sh", dir_ + "out.data");
  EXPECT_FALSE(fs::exists(dir_ + "out.data"));
  fs::create_directory(dir_ + "folder.sh");
  PackScriptFile(dir_ + "folder.sh", dir_ + "out.data");
  EXPECT_FALSE(fs::exists(dir_ + "out.data"));
}

TEST_F(ScriptFilesTest, ContainerRejectsAnythingButAnExactLowerCaseDigest) {
  const std::string good = Container("echo hello\n");
  std::string upper = good;
  for (std::size_t i = upper.size() - 32; i < upper.size(); ++i) upper[i] = std::toupper(upper[i]);
  ASSERT_NE(upper, good);  // the digest holds letters
  std::string edited = good;
  edited[0] ^= 0x01;

  Write("upper.data", upper);
  Write("newline.data", good + "\n");
  Write("edited.data", edited);
  Write("short.data", good.substr(good.size() - 32));
  Write("empty.data", "");
  std::string text = "untouched";
  EXPECT_FALSE(Load("upper.data", text));
  EXPECT_FALSE(Load("newline.data", text));
  EXPECT_FALSE(Load("edited.data", text));
  EXPECT_FALSE(Load("short.data", text));
  EXPECT_FALSE(Load("empty.data", text));
  EXPECT_FALSE(Load("absent.data", text));
  EXPECT_EQ(text, "untouched");
}

TEST_F(ScriptFilesTest, ThirtyThreeByteFileIsAOneByteScript) {
  Write("one.data", Container("x"));
  std::string text;
  ASSERT_TRUE(Load("one.data", text));
  EXPECT_EQ(text, "x");
}

TEST(ExtractSection, CutsTheFirstSectionAndKeepsWhatFollows) {
  std::string text = "a\nRollbackSection:{{{\n  undo one\n}}}\nb\nRollbackSection:{{{ undo two }}}\n";
  std::string body = "old";
  ExtractSection("RollbackSection", text, body);
  EXPECT_EQ(body, "\n  undo one\n");
  EXPECT_EQ(text, "a\n\nb\nRollbackSection:{{{ undo two }}}\n");
}

TEST(ExtractSection, BodyEndsAtTheFirstClosingBraces) {
  std::string text = "DeviceInfoSection:{{{ echo {{{x}}} more }}}\nrest";
  std::string body;
  ExtractSection("DeviceInfoSection", text, body);
  EXPECT_EQ(body, " echo {{{x");
  EXPECT_EQ(text, " more }}}\nrest");
}

TEST(ExtractSection, AcceptsBlanksTabsAndLineBreaksAroundTheColon) {
  std::string text = "SetHostNameSection \t :\t\n  {{{body}}}";
  std::string body;
  ExtractSection("SetHostNameSection", text, body);
  EXPECT_EQ(body, "body");
  EXPECT_EQ(text, "");
}

TEST(ExtractSection, FindsTheNameAtTheEndOfALongerWord) {
  std::string text = "MyRollbackSection:{{{x}}}\n";
  std::string body;
  ExtractSection("RollbackSection", text, body);
  EXPECT_EQ(body, "x");
  EXPECT_EQ(text, "My\n");
}

TEST(ExtractSection, LeavesBothUntouchedWithoutASection) {
  const std::string original = "RollbackSection {{{x}}}\nRollbackSection:{{x}}}\nRollbackSection:{{{x";
  std::string text = original;
  std::string body = "before";
  ExtractSection("RollbackSection", text, body);
  ExtractSection("CheckUpdatePendingSection", text, body);
  ExtractSection("Bad(", text, body);  // does not compile
  EXPECT_EQ(text, original);
  EXPECT_EQ(body, "before");
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
  MessageRecorder view;
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
  MessageRecorder view;
  controller.view = &view;
  LoadScriptSets(controller, dir_);
  EXPECT_EQ(view.messages, std::vector<std::string>{"UpdatingScripts file has been modified."});
  EXPECT_EQ(controller.scriptSets[0].mainBody, "body kfw\n");
  EXPECT_EQ(controller.scriptSets[1].mainBody, "");
  EXPECT_EQ(controller.scriptSets[1].lineCounts[0], 0);

  fs::remove(dir_ + "UpdatingScript_kfw.data");
  controller.view = nullptr;  // nothing to warn through: no crash
  LoadScriptSets(controller, dir_);
  EXPECT_EQ(controller.scriptSets[0].mainBody, "");
}

}  // namespace
