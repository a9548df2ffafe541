#include "console/query_interrupt.h"

#include <signal.h>

namespace console {

namespace {

volatile sig_atomic_t g_interrupted = 0;
struct sigaction g_previous;

void on_interrupt(int) { g_interrupted = 1; }

}  // namespace

QueryInterruptScope::QueryInterruptScope() {
  g_interrupted = 0;
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked semaphore wait must return
  sigaction(SIGINT, &action, &g_previous);
}

QueryInterruptScope::~QueryInterruptScope() { sigaction(SIGINT, &g_previous, nullptr); }

bool query_interrupted() { return g_interrupted != 0; }

}  // namespace console
