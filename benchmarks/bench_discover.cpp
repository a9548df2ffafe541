// One complete discovery; prints "ADDRESS IDN" per instrument found.
// usage: bench_discover
#include <cstdio>

#include "instrument/discovery.h"

int main() {
  int found = 0;
  discover_instruments([&found](const InstrumentInfo& info) {
    std::printf("%s %s\n", info.ip.c_str(), info.idn.c_str());
    ++found;
  });
  return found > 0 ? 0 : 1;
}
