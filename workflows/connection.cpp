// Finding the instrument's family by the password it accepts, and the
// connection check every worker operation starts with.
#include <cstring>

#include "core/operator_view.h"
#include "core/remote_shell.h"
#include "core/updater_controller.h"
#include "instrument/instrument_commands.h"
#include "workflows/workflows.h"

namespace {

struct Credentials {
  const char* userName;
  const char* password;
  int familyCode;
  int familyIndex;
};

// Tried in this order; the first one accepted names the family.
constexpr Credentials kCandidates[] = {
    {"root", "kdrun64", 1, 0},
    {"root", "Xmvot27", 2, 1},
};

// One "pwd" over SSH; only whether the call succeeded counts.
bool Login(UpdaterController& controller, const char* user, const char* password) {
  char output[256];
  std::memset(output, 0, sizeof output);
  return ShellOf(controller).RunCommand(controller.targetAddress.c_str(), user, password, "pwd",
                                        nullptr, nullptr, output, sizeof output - 1);
}

std::string WithAddress(const char* format, const std::string& address) {
  std::string text(format);
  const std::size_t at = text.find("%s");
  if (at != std::string::npos) text.replace(at, 2, address);
  return text;
}

// A login that failed before any password was offered: another password
// cannot get further.
bool EndsBeforeAuthentication(LoginStage stage) {
  return stage == LoginStage::Unreachable || stage == LoginStage::NoLogin ||
         stage == LoginStage::KeyExchange;
}

}  // namespace

bool ProbeCredentials(UpdaterController& controller) {
  if (controller.view != nullptr) controller.view->SetText(IdcStatus, "Connecting...");
  controller.userName.clear();
  controller.password.clear();
  controller.familyCode = 0;
  controller.familyIndex = 0;
  controller.loginFailureCause.clear();
  for (const Credentials& candidate : kCandidates) {
    if (!Login(controller, candidate.userName, candidate.password)) {
      LoginFailure failure = ShellOf(controller).LastLoginFailure();
      controller.loginFailureCause = failure.cause;
      if (EndsBeforeAuthentication(failure.stage)) return false;
      continue;
    }
    controller.loginFailureCause.clear();
    controller.userName = candidate.userName;
    controller.password = candidate.password;
    controller.familyCode = candidate.familyCode;
    controller.familyIndex = candidate.familyIndex;
    return true;
  }
  return false;
}

bool CheckConnection(UpdaterController& controller) {
  controller.PostLog(WithAddress("Connecting to instrument IP (%s)...", controller.targetAddress));
  controller.PostStatus("Connecting...");
  controller.sshProbeActive = true;
  bool connected = false;
  if (!controller.userName.empty() && !controller.password.empty()) {
    connected = Login(controller, controller.userName.c_str(), controller.password.c_str());
    if (!connected) controller.loginFailureCause = ShellOf(controller).LastLoginFailure().cause;
  }
  controller.sshProbeActive = false;
  if (connected) {
    controller.PostStatus("Connected.");
    return true;
  }
  controller.PostLog(WithAddress("connection to the ip (%s) failed, please check the ip address.",
                                 controller.targetAddress));
  // The address may well be right: say what really stood in the way.
  if (!controller.loginFailureCause.empty()) controller.PostLog(controller.loginFailureCause);
  controller.PostStatus("Connection failed.");
  return false;
}
