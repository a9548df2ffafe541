#include "console/query_interrupt.h"

#include <signal.h>

#include <mutex>

namespace console {

namespace {

volatile sig_atomic_t g_interrupted = 0;
volatile sig_atomic_t g_in_query = 0;
struct sigaction g_previous;
std::once_flag g_installed;

void on_interrupt(int signal_number) {
  if (g_in_query) {
    g_interrupted = 1;
    return;
  }
  // Outside a query Ctrl-C does what it did before the console caught it.
  if (g_previous.sa_handler != SIG_DFL && (g_previous.sa_flags & SA_SIGINFO) == 0) {
    g_previous.sa_handler(signal_number);
    return;
  }
  sigaction(SIGINT, &g_previous, nullptr);
  raise(SIGINT);
}

// The handler stays installed for the whole run: setting it up around each
// query cost two system calls per query, a tenth of a query's own. A console
// started with SIGINT ignored (in the background) keeps ignoring it, and so
// its reads of typed lines are never cut short by a signal.
void install() {
  sigaction(SIGINT, nullptr, &g_previous);
  if (g_previous.sa_handler == SIG_IGN) return;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked semaphore wait must return
  sigaction(SIGINT, &action, &g_previous);
}

}  // namespace

QueryInterruptScope::QueryInterruptScope() {
  std::call_once(g_installed, install);
  g_interrupted = 0;
  g_in_query = 1;
}

QueryInterruptScope::~QueryInterruptScope() { g_in_query = 0; }

bool query_interrupted() { return g_interrupted != 0; }

}  // namespace console
