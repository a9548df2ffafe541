// One SCPI query with its link opened and closed, the reply printed.
// usage: bench_query ADDRESS [COMMAND [COUNT]]   (COMMAND defaults to "*IDN?")
// With COUNT the query runs COUNT times in this one process and the mean
// time of a call is printed instead, in microseconds: the call without the
// start of a process.
#include <chrono>
#include <cstdio>
#include <algorithm>
#include <cstdlib>

#include "instrument/instrument_info.h"

namespace {

int RepeatQuery(const char* address, const char* command, int count) {
  char reply[2048];
  const auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < count; ++i) {
    reply[0] = '\0';
    if (instrument_query(address, command, reply, 2047, true) != 1) return 1;
  }
  const std::chrono::duration<double, std::micro> spent = std::chrono::steady_clock::now() - start;
  std::printf("%.0f\n", spent.count() / count);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_query ADDRESS [COMMAND [COUNT]]\n");
    return 2;
  }
  const char* command = argc > 2 ? argv[2] : "*IDN?";
  if (argc > 3) return RepeatQuery(argv[1], command, std::max(1, std::atoi(argv[3])));
  char reply[2048] = {0};
  if (instrument_query(argv[1], command, reply, 2047, true) != 1) return 1;
  std::printf("%s\n", reply);
  return 0;
}
