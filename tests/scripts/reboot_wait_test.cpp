// The five-minute reboot wait on a clock that moves only when the wait
// sleeps, with a scripted shell for the probes and a scripted search.
#include <gtest/gtest.h>

#include <functional>

#include "instrument/discovery.h"
#include "scripts/reboot_wait.h"
#include "tests/scripts/fake_shell_support.h"

namespace {

const std::string kProbe = "pwd >/dev/null 2>&1 && sync && echo yes || echo no";
const std::string kOld = "198.18.0.13";
const std::string kNew = "198.18.0.23";
const std::string kSerial = "TV8010A0003";

InstrumentInfo Listed(const std::string& ip, const std::string& serial) {
  return InstrumentInfo{ip, "Tavrin,TVS-8010," + serial + ",2.4.1"};
}

class RebootWaitTest : public fake::FakeInstrumentTest {
 protected:
  RebootWaitTest() : FakeInstrumentTest(kOld) {
    start = clock.NowMs();
    SetRebootSearch([this](UpdaterController&) {
      searchTimes.push_back(Elapsed());
      ClearDiscoveredInstruments();
      std::vector<InstrumentInfo> found = listed ? listed(Elapsed()) : std::vector<InstrumentInfo>();
      for (const InstrumentInfo& info : found) collect_instrument(info);
      clock.Advance(1500);  // a discovery takes a while
      return static_cast<int>(found.size());
    });
    // The instrument answers where and when `up` says.
    shell.responder = [this](const fake::ShellCall& call) {
      EXPECT_EQ(call.command, kProbe);
      EXPECT_EQ(call.expected, "yes\n");
      probes.push_back(call.host);
      if (up && up(call.host, Elapsed())) return fake::ShellReply{true, "yes\n"};
      return fake::ShellReply{false, ""};
    };
  }

  std::uint64_t Elapsed() { return clock.NowMs() - start; }

  std::uint64_t start = 0;
  std::function<bool(const std::string& host, std::uint64_t elapsed)> up;
  std::function<std::vector<InstrumentInfo>(std::uint64_t elapsed)> listed;
  std::vector<std::uint64_t> searchTimes;
  std::vector<std::string> probes;
};

TEST_F(RebootWaitTest, GivesUpAfterFiveMinutesAndNeverSearchesWithoutSerial) {
  EXPECT_FALSE(WaitForReboot(controller, ""));
  EXPECT_GE(Elapsed(), 300000u);
  EXPECT_LT(Elapsed(), 301200u);
  EXPECT_EQ(probes.size(), 300u);  // one a second after the first 200 ms
  EXPECT_TRUE(searchTimes.empty());
  EXPECT_TRUE(Notices().empty());
  EXPECT_EQ(controller.targetAddress, kOld);
}

TEST_F(RebootWaitTest, SearchesOnlyAfterThirtySecondsAndAtMostEveryFifteen) {
  EXPECT_FALSE(WaitForReboot(controller, kSerial));
  ASSERT_GE(searchTimes.size(), 10u);
  EXPECT_GT(searchTimes[0], 30000u);
  EXPECT_LT(searchTimes[0], 31500u);
  for (std::size_t i = 1; i < searchTimes.size(); ++i) {
    EXPECT_GT(searchTimes[i] - searchTimes[i - 1], 15000u);
    EXPECT_LT(searchTimes[i] - searchTimes[i - 1], 19000u);
  }
  std::vector<WorkerNotice> notices = Notices();
  EXPECT_EQ(fake::TextsOf(notices, NoticeLog), std::vector<std::string>{"Searching the instrument..."});
  // Nothing found: each search only has the window rebuild its list.
  EXPECT_EQ(fake::TextsOf(notices, NoticeInstrumentAddress),
            std::vector<std::string>(searchTimes.size(), ""));
}

TEST_F(RebootWaitTest, AnInstrumentThatStillAnswersEndsTheWaitAtOnce) {
  up = [](const std::string&, std::uint64_t) { return true; };
  EXPECT_TRUE(WaitForReboot(controller, kSerial));
  EXPECT_EQ(probes.size(), 2u);
  EXPECT_EQ(Elapsed(), 1200u + 1500u);  // two probes a second apart, then the refresh
  EXPECT_EQ(searchTimes.size(), 1u);    // only the final refresh of the list
  std::vector<WorkerNotice> notices = Notices();
  EXPECT_EQ(fake::TextsOf(notices, NoticeLog),
            std::vector<std::string>{"Successfully reconnected to the instrument."});
  EXPECT_EQ(fake::TextsOf(notices, NoticeInstrumentAddress), std::vector<std::string>{kOld});
}

TEST_F(RebootWaitTest, ComesBackAtTheSameAddress) {
  up = [](const std::string& host, std::uint64_t elapsed) { return host == kOld && elapsed >= 90000; };
  listed = [](std::uint64_t elapsed) {
    return elapsed >= 90000 ? std::vector<InstrumentInfo>{Listed(kOld, kSerial)}
                            : std::vector<InstrumentInfo>();
  };
  EXPECT_TRUE(WaitForReboot(controller, kSerial));
  EXPECT_EQ(controller.targetAddress, kOld);
  EXPECT_GE(Elapsed(), 91000u);
  EXPECT_LT(Elapsed(), 95000u);
  std::vector<WorkerNotice> notices = Notices();
  EXPECT_EQ(fake::TextsOf(notices, NoticeLog),
            (std::vector<std::string>{"Searching the instrument...",
                                      "Successfully reconnected to the instrument."}));
  EXPECT_EQ(fake::TextsOf(notices, NoticeInstrumentAddress).back(), kOld);
}

TEST_F(RebootWaitTest, FollowsTheInstrumentToANewAddressAndCountsAgainThere) {
  // A stray answer from the old address before it went quiet must not count
  // towards the new one.
  up = [](const std::string& host, std::uint64_t elapsed) {
    return host == kNew || (elapsed > 25000 && elapsed < 26000);
  };
  listed = [](std::uint64_t) {
    return std::vector<InstrumentInfo>{Listed("198.18.0.50", "TV8010A0009"), Listed(kNew, kSerial)};
  };
  EXPECT_TRUE(WaitForReboot(controller, kSerial));
  EXPECT_EQ(controller.targetAddress, kNew);
  std::vector<WorkerNotice> notices = Notices();
  EXPECT_EQ(fake::TextsOf(notices, NoticeLog),
            (std::vector<std::string>{"Searching the instrument...", "Instrument moved to " + kNew,
                                      "Successfully reconnected to the instrument."}));
  EXPECT_EQ(fake::TextsOf(notices, NoticeInstrumentAddress), (std::vector<std::string>{kNew, kNew}));
  ASSERT_EQ(searchTimes.size(), 2u);
  EXPECT_GT(searchTimes[0], 30000u);
  // Probes follow the instrument, and the new address must answer twice.
  ASSERT_GE(probes.size(), 2u);
  EXPECT_EQ(std::count(probes.begin(), probes.end(), kNew), 2);
  EXPECT_EQ(probes.back(), kNew);
}

TEST_F(RebootWaitTest, SuccessfulProbesAddUpAcrossFailedOnesAndSearchesThatFindNothingElse) {
  const struct {
    const char* why;
    std::string serial;
    std::vector<InstrumentInfo> listed;
  } cases[] = {
      {"no serial, so no search", "", {}},
      {"searches find only another instrument", kSerial, {Listed(kNew, "TV8010A0009")}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    start = clock.NowMs();
    probes.clear();
    // One answer at 10 s, silence, then answers from 60 s on.
    int answers = 0;
    up = [&answers](const std::string&, std::uint64_t elapsed) {
      const bool answered = (elapsed >= 10000 && elapsed < 11000) || elapsed >= 60000;
      answers += answered;
      return answered;
    };
    listed = [&c](std::uint64_t) { return c.listed; };
    EXPECT_TRUE(WaitForReboot(controller, c.serial));
    EXPECT_EQ(controller.targetAddress, kOld);
    EXPECT_EQ(answers, 2);
    EXPECT_GE(Elapsed(), 60000u);
  }
}

TEST_F(RebootWaitTest, ASerialContainedInAnotherIdnPicksTheFirstListed) {
  up = [](const std::string& host, std::uint64_t) { return host == "198.18.0.21"; };
  listed = [](std::uint64_t) {
    return std::vector<InstrumentInfo>{Listed("198.18.0.21", kSerial + "1"), Listed(kNew, kSerial)};
  };
  EXPECT_TRUE(WaitForReboot(controller, kSerial));
  EXPECT_EQ(controller.targetAddress, "198.18.0.21");
}

TEST_F(RebootWaitTest, CancelEndsTheWaitAtTheNextCycle) {
  shell.responder = [this](const fake::ShellCall&) {
    probes.push_back(controller.targetAddress);
    if (probes.size() == 5) controller.cancelRequested = true;
    return fake::ShellReply{false, ""};
  };
  EXPECT_FALSE(WaitForReboot(controller, kSerial));
  EXPECT_EQ(probes.size(), 5u);
  EXPECT_LT(Elapsed(), 6000u);
  EXPECT_TRUE(Notices().empty());
}

}  // namespace

TEST_F(RebootWaitTest, AnswersCountOnceTheBootIdChangedAndAnInstrumentThatNeverRestartsFails) {
  const std::string before = "6f1c2a3e-0000-4000-8000-000000000001";
  const std::string after = "6f1c2a3e-0000-4000-8000-000000000002";
  std::uint64_t restartAt = 0;  // 0: the reboot command did nothing
  shell.responder = [&](const fake::ShellCall& call) {
    if (call.command == kProbe) return fake::ShellReply{true, "yes\n"};
    EXPECT_EQ(call.command, "cat /proc/sys/kernel/random/boot_id");
    bool restarted = restartAt != 0 && Elapsed() >= restartAt;
    return fake::ShellReply{true, (restarted ? after : before) + "\n"};
  };

  restartAt = 20000;  // answers all along, restarted only after 20 s
  EXPECT_TRUE(WaitForReboot(controller, kSerial, before));
  EXPECT_GE(Elapsed(), 20000u);
  EXPECT_LT(Elapsed(), 30000u);
  EXPECT_EQ(fake::TextsOf(Notices(), NoticeLog),
            std::vector<std::string>{"Successfully reconnected to the instrument."});

  restartAt = 0;
  start = clock.NowMs();
  EXPECT_FALSE(WaitForReboot(controller, kSerial, before));
  EXPECT_GE(Elapsed(), 60000u);
  EXPECT_LT(Elapsed(), 70000u);
  EXPECT_EQ(fake::TextsOf(Notices(), NoticeLog),
            std::vector<std::string>{
                "The instrument did not restart: it still answers as before the reboot command."});
}
