#include "scripts/reboot_wait.h"

#include <cctype>
#include <cstdint>
#include <vector>

#include "core/clock.h"
#include "core/updater_controller.h"
#include "instrument/discovery.h"
#include "instrument/instrument_commands.h"
#include "scripts/script_interpreter.h"

namespace {

constexpr std::uint32_t kFirstPauseMs = 200;
constexpr std::uint32_t kCyclePauseMs = 1000;
constexpr std::uint64_t kLimitMs = 300000;
constexpr std::uint64_t kNoSearchBeforeMs = 30000;
constexpr std::uint64_t kSearchIntervalMs = 15000;
constexpr int kProbesNeeded = 2;
// A reboot command that has not taken the instrument down within this long
// never will: real instruments stop their services in seconds.
constexpr std::uint64_t kNoRestartMs = 60000;
constexpr const char* kBootIdCommand = "cat /proc/sys/kernel/random/boot_id";
constexpr std::size_t kBootIdLength = 36;  // a UUID in text

RebootSearch& Search() {
  static RebootSearch search;
  return search;
}

int RunSearch(UpdaterController& controller) {
  return Search() ? Search()(controller) : DiscoverInstruments(controller);
}

// Looks for the instrument by its serial number among the discovered ones;
// true when found (and followed to its address).
bool FollowInstrument(UpdaterController& controller, const std::string& serialNumber) {
  RunSearch(controller);
  for (const InstrumentInfo& info : DiscoveredInstruments()) {
    if (info.idn.find(serialNumber) == std::string::npos) continue;
    if (!info.ip.empty() && info.ip != controller.targetAddress) {
      controller.targetAddress = info.ip;
      controller.PostLog("Instrument moved to " + info.ip);
    }
    controller.PostNotice(NoticeInstrumentAddress, controller.targetAddress);
    return true;
  }
  controller.PostNotice(NoticeInstrumentAddress, std::string());
  return false;
}

bool LooksLikeBootId(const std::string& text) {
  if (text.size() != kBootIdLength) return false;
  for (char c : text)
    if (!std::isxdigit(static_cast<unsigned char>(c)) && c != '-') return false;
  return true;
}

}  // namespace

std::string ReadBootId(UpdaterController& controller) {
  char output[64] = {};
  if (!RunInstrumentCommand(controller, kBootIdCommand, nullptr, nullptr, output,
                            sizeof output - 1))
    return std::string();
  std::string text(output);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
  return LooksLikeBootId(text) ? text : std::string();
}

void SetRebootSearch(RebootSearch search) { Search() = std::move(search); }

bool WaitForReboot(UpdaterController& controller, const std::string& serialNumber,
                   const std::string& bootIdBefore) {
  Clock& clock = controller.GetClock();
  const std::string probe = std::string("pwd") + kTestSuffix;
  const std::uint64_t start = clock.NowMs();
  bool searched = false;
  std::uint64_t lastSearch = 0;
  int successes = 0;
  bool announced = false;
  clock.SleepMs(kFirstPauseMs);
  for (;; clock.SleepMs(kCyclePauseMs)) {
    if (clock.NowMs() - start >= kLimitMs) return false;
    if (controller.IsCancelRequested()) return false;
    if (TestInstrumentCommand(controller, probe.c_str())) {
      if (++successes < kProbesNeeded) continue;
      // Answers from before the restart do not count: the boot id tells.
      if (bootIdBefore.empty() || ReadBootId(controller) != bootIdBefore) break;
      successes = 0;
      if (clock.NowMs() - start < kNoRestartMs) continue;
      controller.PostLog("The instrument did not restart: it still answers as before the reboot command.");
      return false;
    }
    const std::uint64_t now = clock.NowMs();
    if (serialNumber.empty() || now - start <= kNoSearchBeforeMs ||
        (searched && now - lastSearch <= kSearchIntervalMs))
      continue;
    if (!announced) {
      controller.PostLog("Searching the instrument...");
      announced = true;
    }
    // Found: the count restarts, so the new address must answer twice.
    if (FollowInstrument(controller, serialNumber)) successes = 0;
    searched = true;
    lastSearch = clock.NowMs();
  }
  controller.PostLog("Successfully reconnected to the instrument.");
  RunSearch(controller);
  controller.PostNotice(NoticeInstrumentAddress, controller.targetAddress);
  return true;
}
