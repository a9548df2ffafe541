#pragma once
// Helpers of the bench tests that run scripts on the simulated instruments.
#include <string>

#include "core/notice_queue.h"
#include "core/updater_controller.h"

namespace benchscript {

// Points the controller at `address` over real SSH as root, with the
// instrument types of the sample configuration.
void Connect(UpdaterController& controller, NoticeQueue& queue, const std::string& address,
             const std::string& password);

// Probes the controller's address until it answers, for at most `seconds`.
bool WaitUntilAnswering(UpdaterController& controller, int seconds);

}  // namespace benchscript
