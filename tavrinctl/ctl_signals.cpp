#include "tavrinctl/ctl_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace {

volatile sig_atomic_t g_signals = 0;
// Copies that live until the end; a handler only reads them.
std::atomic<const char*> g_leftoverFile{nullptr};
std::atomic<const char*> g_leftoverDirectory{nullptr};
static_assert(std::atomic<const char*>::is_always_lock_free, "read in a signal handler");

void OnStopSignal(int number) {
  g_signals = g_signals + 1;
  if (g_signals < 2) return;
  static const char kQuit[] = "tavrinctl: interrupted\n";
  ssize_t ignored = write(STDERR_FILENO, kQuit, sizeof kQuit - 1);
  (void)ignored;
  if (const char* file = g_leftoverFile.load()) unlink(file);
  if (const char* directory = g_leftoverDirectory.load()) rmdir(directory);
  _exit(128 + number);
}

const char* Kept(const std::string& text) { return text.empty() ? nullptr : strdup(text.c_str()); }

}  // namespace

void CatchStopSignals() {
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;
  sigemptyset(&action.sa_mask);
  constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
  for (int number : kStopSignals) sigaddset(&action.sa_mask, number);
  for (int number : kStopSignals) sigaction(number, &action, nullptr);
}

int StopSignalsSeen() { return g_signals; }

void SetQuitLeftovers(const std::string& file, const std::string& directory) {
  if (!file.empty() && g_leftoverFile.load() == nullptr) g_leftoverFile = Kept(file);
  if (!directory.empty() && g_leftoverDirectory.load() == nullptr)
    g_leftoverDirectory = Kept(directory);
}
