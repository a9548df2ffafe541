// One SCP upload. usage: bench_scp PASSWORD LOCAL_FILE [USER@]HOST:PATH
#include <cstdio>

#include "instrument/ssh_channel.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: bench_scp PASSWORD LOCAL_FILE [USER@]HOST:PATH\n");
    return 2;
  }
  return scp_send_file("root", argv[1], argv[2], argv[3]) ? 0 : 1;
}
