#pragma once
// The benchterm program: connect, prompt for an address when needed, and
// the interactive SCPI command loop.
#include <string>

#include "console/options.h"
#include "console/query_methods.h"

namespace console {

constexpr int kLoopQuit = 1;
constexpr int kLoopOtherInstrument = 2;

bool connect_instrument(OptionTable& table, QueryMethod& method);
void prompt_for_address(OptionTable& table, QueryMethod& method);
int command_loop(QueryMethod& method);
bool is_valid_ip_address(const std::string& text);

// The whole program; returns the exit status.
int run_console(int argc, const char* const* argv);

}  // namespace console
