// One SCPI query with its link opened and closed, the reply printed.
// usage: bench_query ADDRESS [COMMAND]   (COMMAND defaults to "*IDN?")
#include <cstdio>

#include "instrument/instrument_info.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_query ADDRESS [COMMAND]\n");
    return 2;
  }
  char reply[2048] = {0};
  int result = instrument_query(argv[1], argc > 2 ? argv[2] : "*IDN?", reply, 2047, true);
  if (result != 1) return 1;
  std::printf("%s\n", reply);
  return 0;
}
