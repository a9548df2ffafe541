// One script test line: connect, authenticate, run "pwd" with the test
// suffix and compare the answer with "yes\n".
// usage: bench_ssh_line HOST PASSWORD [USER]
#include <cstdio>

#include "instrument/ssh_channel.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: bench_ssh_line HOST PASSWORD [USER]\n");
    return 2;
  }
  const char* user = argc > 3 ? argv[3] : "root";
  int matched = 0;
  bool ok = ssh_run_command(argv[1], user, argv[2],
                            "pwd >/dev/null 2>&1 && sync && echo yes || echo no", "yes\n",
                            &matched, nullptr, 0);
  return ok && matched == 1 ? 0 : 1;
}
