// Faults on the bench, each through the controller as the window drives it:
// an instrument that vanishes mid-upload or never comes back, an SSH server
// that stops taking the password, VXI-11 servers that misbehave, and a data
// directory that cannot be written or fills up. Each test checks what the
// operator sees and what is left on disk. These tests own i3 (kfw) and put
// its software, password and knobs back.
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstdint>
#include <dirent.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <thread>

#include "core/clock.h"
#include "core/operator_view.h"
#include "core/settings.h"
#include "scripts/script_files.h"
#include "tests/support/bench_env.h"
#include "tests/workflows/instrument_state_support.h"
#include "tests/workflows/workflow_harness_support.h"
#include "workflows/workflows.h"

namespace {

using Texts = std::vector<std::string>;

constexpr const char* kI3Password = "kdrun64";
constexpr const char* kFailed = "Upgrading failed.";
constexpr const char* kNoVersion = "--.--.--";

bool Contains(const Texts& texts, const std::string& text) {
  return std::find(texts.begin(), texts.end(), text) != texts.end();
}

// True once i3 answers over SSH again (after a reboot), within `seconds`.
bool WaitForI3(int seconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (wfbench::Shell(bench::kI3, kI3Password, "pwd") != "<failed>") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return false;
}

// Runs a command on i3 through OpenSSH's own client in a process of its
// own: the program's SSH channel runs one call at a time, and the upload
// under test holds it. Returns the command's output.
std::string ShellOutside(const std::string& command) {
  const std::string line = std::string("sshpass -p ") + kI3Password +
                           " ssh -o StrictHostKeyChecking=no -o UserKnownHostsFile=/dev/null"
                           " -o LogLevel=ERROR root@" + bench::kI3 + " '" + command + "'";
  std::string output;
  if (FILE* pipe = popen(line.c_str(), "r")) {
    char piece[256];
    while (std::fgets(piece, sizeof piece, pipe) != nullptr) output += piece;
    pclose(pipe);
  }
  return output;
}

// Leaves i3 reachable and without knobs, whatever the test did to it. Made
// after the InstrumentKeeper, so it runs first and the keeper finds i3 up.
struct I3Restorer {
  ~I3Restorer() {
    bench::Run("ctl i3 reset");
    EXPECT_TRUE(WaitForI3(90)) << "i3 did not come back";
  }
};

// Time that runs sixty times faster than the real one, with real sleeps:
// the reboot wait's five minutes pass in five seconds, while its pauses
// keep their real length, so that the instrument's own reboot (half a
// second after the command) happens before the second probe.
class HurriedClock : public Clock {
 public:
  std::uint64_t NowMs() override { return start_ + (SystemClock().NowMs() - start_) * 60; }
  void SleepMs(std::uint32_t ms) override { SystemClock().SleepMs(ms); }

 private:
  std::uint64_t start_ = SystemClock().NowMs();
};

void ChoosePackage(WorkflowHarness& harness, const std::string& package) {
  harness.view.UseAddress(bench::kI3);
  harness.view.SetText(IdcPackagePath, package);
}

std::string DataDirectory() { return ProgramDirectory() + "data"; }

int CountEntries(const std::string& directory) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return -1;
  int count = 0;
  while (const dirent* entry = readdir(dir))
    if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..") ++count;
  closedir(dir);
  return count;
}

// Runs `body` on a thread of its own whose mounts are private, after
// mounting a tmpfs with `options` over the data directory. The mount goes
// with the thread; the test's other threads never see it.
void WithDataDirectoryMount(const std::string& options, const std::function<void()>& body) {
  const std::string data = DataDirectory();
  ASSERT_TRUE(EnsureDirectory(data + "/"));
  bool mounted = false;
  std::thread([&] {
    if (unshare(CLONE_NEWNS) != 0) return;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
    if (mount("tvfault", data.c_str(), "tmpfs", 0, options.c_str()) != 0) return;
    mounted = true;
    body();
  }).join();
  ASSERT_TRUE(mounted) << "no private tmpfs over " << data;
}

// A kfw package whose archive is `bytes` of noise: it decodes only where
// that much space is free.
std::string MakeLargePackage(std::size_t bytes) {
  const std::string dir = wfbench::MakeTempDirectory();
  std::string noise(bytes, '\0');
  std::mt19937 random(7);
  for (char& c : noise) c = static_cast<char>(random());
  std::ofstream(dir + "/tvs80_large.tgz", std::ios::binary) << noise;
  PackPackageFile(dir + "/tvs80_large.tgz", dir + "/tvs80_large.kfw", 1);
  return dir + "/tvs80_large.kfw";
}

// The upload's target is a pipe nobody reads: the copy stalls in it until
// the instrument goes away. True once the copy is stalled there.
bool StartStalledUpload(wfbench::InstrumentKeeper& keeper, WorkflowHarness& harness) {
  if (keeper.Run("mkfifo /tmp/tvs_update.tgz && echo made") != "made\n") return false;
  ChoosePackage(harness, bench::SamplePackage("tvs80_2.5.0.kfw"));
  if (!harness.Begin(BeginUpgrade) || !harness.WaitForStatus("Upgrading...", 120)) return false;
  for (int i = 0; i < 100; ++i) {
    if (ShellOutside("pgrep -x scp >/dev/null && echo stalled") == "stalled\n") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ShellOutside("timeout 5 cat /tmp/tvs_update.tgz >/dev/null");  // let it go
  return false;
}

}  // namespace

TEST(FaultBench, TheInstrumentVanishingDuringTheUploadFailsTheUpgradeAndTheArchiveIsGone) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI3, kI3Password);
  I3Restorer restorer;
  const std::string decoded = wfbench::DecodedArchive("tvs80_2.5.0.tgz");
  WorkflowHarness harness;
  ASSERT_TRUE(StartStalledUpload(keeper, harness)) << "the copy never reached the instrument";
  ShellOutside("reboot");
  ASSERT_TRUE(harness.WaitUntilDone(300));

  EXPECT_EQ(harness.LastStatus(), kFailed);
  EXPECT_EQ(harness.Logs().back(), "There is an error in the operation,please try again.");
  EXPECT_FALSE(Contains(harness.Statuses(), "Restoring...")) << "Rollback was not set yet";
  EXPECT_FALSE(wfbench::FileExists(decoded)) << "a failed copy still deletes the archive";
  EXPECT_NE(harness.Progress().back(), 100);
  ASSERT_TRUE(WaitForI3(90));
  EXPECT_EQ(keeper.Run("cat /tvs/releases/package_version"), keeper.packageVersionText());
  EXPECT_EQ(keeper.Run("[ -e /tvs/releases/update_pending ] || echo clear"), "clear\n");
}

// The same stalled copy, but the instrument leaves the network without a
// word: nothing ends the connection but the dead-peer bound of the SSH
// channel (40 s of silence).
TEST(FaultBench, TheInstrumentVanishingSilentlyDuringTheUploadFailsTheUpgradeWithinAMinute) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI3, kI3Password);
  I3Restorer restorer;
  const std::string decoded = wfbench::DecodedArchive("tvs80_2.5.0.tgz");
  WorkflowHarness harness;
  ASSERT_TRUE(StartStalledUpload(keeper, harness)) << "the copy never reached the instrument";
  ASSERT_EQ(bench::Run("ctl i3 vanish=1"), 0);
  const auto vanished = std::chrono::steady_clock::now();
  ASSERT_TRUE(harness.WaitUntilDone(300));
  const auto took = std::chrono::steady_clock::now() - vanished;
  RecordProperty("seconds", static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(took).count()));

  EXPECT_LT(took, std::chrono::seconds(90));
  EXPECT_EQ(harness.LastStatus(), kFailed);
  EXPECT_EQ(harness.Logs().back(), "There is an error in the operation,please try again.");
  EXPECT_FALSE(wfbench::FileExists(decoded)) << "a failed copy still deletes the archive";
  ASSERT_EQ(bench::Run("ctl i3 vanish="), 0);
  ASSERT_TRUE(WaitForI3(30));
  // The sink still waits in the pipe for the copy that will never come.
  ShellOutside("timeout 5 cat /tmp/tvs_update.tgz >/dev/null");
  EXPECT_EQ(keeper.Run("cat /tvs/releases/package_version"), keeper.packageVersionText());
  EXPECT_EQ(keeper.Run("[ -e /tvs/releases/update_pending ] || echo clear"), "clear\n");
}

TEST(FaultBench, AnInstrumentThatNeverComesBackEndsInFailureToReconnect) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI3, kI3Password);
  I3Restorer restorer;
  // Away far longer than the hurried five minutes of the wait last.
  ASSERT_EQ(bench::Run("ctl i3 reboot_down=25"), 0);
  HurriedClock clock;
  WorkflowHarness harness;
  harness.controller.clock = &clock;
  ChoosePackage(harness, bench::SamplePackage("tvs80_2.5.0.kfw"));
  ASSERT_TRUE(harness.Run(BeginUpgrade, 300));

  EXPECT_EQ(harness.LastStatus(), kFailed);
  EXPECT_EQ(harness.Logs().back(), "Failure to reconnect to the device,please check the ip.");
  EXPECT_FALSE(Contains(harness.Logs(), "Successfully reconnected to the instrument."));
  EXPECT_FALSE(Contains(harness.Statuses(), "Restoring...")) << "no rollback without the instrument";
  EXPECT_FALSE(wfbench::FileExists(wfbench::DecodedArchive("tvs80_2.5.0.tgz")));
  EXPECT_EQ(harness.controller.targetAddress, bench::kI3) << "nothing else answered for it";
}

TEST(FaultBench, AnSshServerThatStopsTakingThePasswordAfterTheProbeFailsTheConnectionCheck) {
  REQUIRE_BENCH();
  const std::string changed = "Tv-changed-9";
  WorkflowHarness harness(false);  // the worker starts once the password is gone
  harness.view.UseAddress(bench::kI3);
  ASSERT_TRUE(harness.Begin(BeginConnect));
  ASSERT_EQ(harness.controller.password, kI3Password);
  ASSERT_EQ(wfbench::Shell(bench::kI3, kI3Password, "echo root:" + changed + " | chpasswd && echo changed"),
            "changed\n");
  struct PasswordBack {
    std::string from;
    ~PasswordBack() {
      EXPECT_EQ(wfbench::Shell(bench::kI3, from, std::string("echo root:") + kI3Password +
                                                     " | chpasswd && echo back"),
                "back\n");
    }
  } back{changed};
  harness.worker.Start();
  ASSERT_TRUE(harness.WaitUntilDone(120));

  EXPECT_EQ(harness.Statuses(), (Texts{"Connecting...", "Connection failed."}));
  EXPECT_EQ(harness.Logs(),
            (Texts{"Connecting to instrument IP (198.18.0.13)...",
                   "connection to the ip (198.18.0.13) failed, please check the ip address."}));
  EXPECT_EQ(harness.view.IdentityShown(), Texts(6, ""));
  EXPECT_TRUE(harness.view.IsEnabled(IdcConnect));
}

// Connecting while the VXI-11 server misbehaves: the versions would come
// from ":system:info? ALL" (the version file is moved aside), the query
// fails in its own way, and the connect still ends normally.
class VxiFaultBench : public ::testing::TestWithParam<const char*> {};

TEST_P(VxiFaultBench, ConnectEndsNormallyWithUnknownVersions) {
  REQUIRE_BENCH();
  wfbench::InstrumentKeeper keeper(bench::kI3, kI3Password);
  I3Restorer restorer;
  ASSERT_EQ(keeper.Run("mv /tvs/releases/package_version /tvs/releases/package_version.away && echo done"),
            "done\n");
  ASSERT_EQ(bench::Run(std::string("ctl i3 ") + GetParam()), 0);
  WorkflowHarness harness;
  harness.view.UseAddress(bench::kI3);
  const bool ran = harness.Run(BeginConnect, 120);
  keeper.Run("rm -f /tvs/releases/package_version.away");
  ASSERT_TRUE(ran);

  EXPECT_EQ(harness.LastStatus(), "Connection established.");
  EXPECT_EQ(harness.view.IdentityShown(),
            (Texts{"TVS-8010", "TV8010A0003", kNoVersion, kNoVersion, kNoVersion, kNoVersion}));
  EXPECT_EQ(harness.view.GetText(IdcHostName), "i3");
}

INSTANTIATE_TEST_SUITE_P(Knobs, VxiFaultBench,
                         ::testing::Values("stall_read=1", "oversize_reply=1", "link_error=11",
                                           "accept_zero=1"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           name.erase(name.find('='));
                           name.erase(std::remove(name.begin(), name.end(), '_'), name.end());
                           return name;
                         });

TEST(FaultBench, AReadOnlyDataDirectoryIsReportedAndNothingStarts) {
  REQUIRE_BENCH();
  WorkflowHarness harness;
  ChoosePackage(harness, bench::SamplePackage("tvs80_2.5.0.kfw"));
  WithDataDirectoryMount("ro,size=1m", [&] {
    EXPECT_FALSE(harness.Begin(BeginUpgrade));
    EXPECT_EQ(CountEntries(DataDirectory()), 0);
  });
  // As root only a read-only file system keeps us out; permissions do not.
  EXPECT_EQ(harness.view.messages,
            Texts{"The data directory (" + DataDirectory() +
                  ") is not writable,\nplease check its permissions."});
  EXPECT_TRUE(harness.controller.sourceFilePath.empty());
  EXPECT_TRUE(harness.view.IsEnabled(IdcUpgrade));
}

TEST(FaultBench, ADiskFillingUpWhileDecodingLeavesNoPartialArchive) {
  REQUIRE_BENCH();
  const std::string package = MakeLargePackage(1 << 20);
  ASSERT_TRUE(wfbench::FileExists(package));
  WorkflowHarness harness;
  ChoosePackage(harness, package);
  int left = -1;
  WithDataDirectoryMount("size=256k", [&] {
    EXPECT_FALSE(harness.Begin(BeginUpgrade));
    left = CountEntries(DataDirectory());
  });
  EXPECT_EQ(left, 0) << "neither the archive nor its temporary may stay";
  // The decode reports every failure alike; the operator reads the package
  // as damaged.
  EXPECT_EQ(harness.view.messages, Texts{"The upgrade package has wrong format."});
  EXPECT_TRUE(harness.controller.sourceFilePath.empty());
  EXPECT_TRUE(harness.view.IsEnabled(IdcUpgrade));
  EXPECT_FALSE(wfbench::FileExists(wfbench::DecodedArchive("tvs80_large.tgz")));
  std::error_code ignored;
  std::filesystem::remove_all(package.substr(0, package.rfind('/')), ignored);
}
