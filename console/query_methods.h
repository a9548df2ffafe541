#pragma once
// The four ways of asking a query: they differ only in how they wait until
// the instrument's reply is ready.
#include <string>

#include "console/instrument_link.h"

namespace console {

// Returns the reply text; sets `error` when the caller should follow up
// with "*ESR?".
using QueryMethod = std::string (*)(InstrumentLink& link, const std::string& command, bool& error);

std::string query_stb_poll(InstrumentLink& link, const std::string& command, bool& error);
std::string query_readstb_poll(InstrumentLink& link, const std::string& command, bool& error);
std::string query_plain(InstrumentLink& link, const std::string& command, bool& error);
std::string query_srq_wait(InstrumentLink& link, const std::string& command, bool& error);

// 1 to 4 select the method of that number; any other value method 1.
QueryMethod select_query_method(int value);

// Waits on the service-request semaphore; false when Ctrl-C ended the wait.
// Defined with the service-request channel.
bool srq_wait();

}  // namespace console
