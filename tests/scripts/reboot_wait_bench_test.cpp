// A reboot that brings the instrument back at another address: the wait
// finds it by its serial number and the script goes on there.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

#include "core/updater_controller.h"
#include "instrument/instrument_commands.h"
#include "scripts/script_interpreter.h"
#include "tests/scripts/bench_script_support.h"
#include "tests/scripts/fake_shell_support.h"
#include "tests/support/bench_env.h"

namespace {

// An address of the bench's first network that no instrument uses.
constexpr const char* kMovedTo = "198.18.0.63";

// Brings i3 back to its own address, whatever the test left behind.
class MovedInstrument {
 public:
  explicit MovedInstrument(UpdaterController& controller) : controller_(controller) {}
  ~MovedInstrument() {
    if (controller_.targetAddress == bench::kI3) return;
    bench::Run(std::string("ctl i3 reboot_address=") + bench::kI3);
    RunInstrumentCommand(controller_, "reboot", nullptr, nullptr, nullptr, 0);
    controller_.targetAddress = bench::kI3;
    if (!benchscript::WaitUntilAnswering(controller_, 120))
      std::fprintf(stderr, "i3 did not come back at %s\n", bench::kI3);
  }

 private:
  UpdaterController& controller_;
};

TEST(RebootWaitBenchTest, SlowFollowsTheInstrumentToItsNewAddress) {
  REQUIRE_BENCH();
  UpdaterController controller;
  NoticeQueue queue;
  benchscript::Connect(controller, queue, bench::kI3, bench::kKfwPassword);
  ASSERT_TRUE(benchscript::WaitUntilAnswering(controller, 60));
  ASSERT_EQ(bench::Run(std::string("ctl i3 reboot_address=") + kMovedTo), 0);
  MovedInstrument restore(controller);

  ScriptVariables variables;
  const std::string piece =
      "SerialNumber=$(cat /tvs/etc/serial)\n"
      "reboot wait\n"
      "Where=$(hostname)\n";
  EXPECT_EQ(RunScriptSection(controller, piece, variables), ScriptSuccess);
  EXPECT_EQ(variables["SerialNumber"], "TV8010A0003");
  EXPECT_EQ(controller.targetAddress, kMovedTo);
  EXPECT_FALSE(variables["Where"].empty());  // the line after the wait ran there

  std::vector<WorkerNotice> notices = fake::TakeNotices(queue);
  EXPECT_EQ(fake::TextsOf(notices, NoticeLog),
            (std::vector<std::string>{"Searching the instrument...",
                                      std::string("Instrument moved to ") + kMovedTo,
                                      "Successfully reconnected to the instrument."}));
  std::vector<std::string> addresses = fake::TextsOf(notices, NoticeInstrumentAddress);
  ASSERT_FALSE(addresses.empty());
  EXPECT_EQ(addresses.back(), kMovedTo);
}

}  // namespace
