#include "tests/scripts/bench_script_support.h"

#include <chrono>
#include <thread>

#include "instrument/instrument_commands.h"
#include "scripts/script_interpreter.h"

namespace benchscript {

void Connect(UpdaterController& controller, NoticeQueue& queue, const std::string& address,
             const std::string& password) {
  controller.noticeSink = &queue;
  controller.targetAddress = address;
  controller.userName = "root";
  controller.password = password;
  controller.instrumentTypes = {"tvs-80", "tvs-90"};
}

bool WaitUntilAnswering(UpdaterController& controller, int seconds) {
  const std::string probe = std::string("pwd") + kTestSuffix;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!TestInstrumentCommand(controller, probe.c_str())) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
  }
  return true;
}

}  // namespace benchscript
