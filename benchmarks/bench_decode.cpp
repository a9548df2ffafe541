// The upgrade's package check and decode of one package file.
// usage: bench_decode PACKAGE OUTPUT kfw|kf4
#include <cstdio>
#include <cstring>
#include <string>

#include "scripts/script_files.h"

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[3], "kfw") != 0 && std::strcmp(argv[3], "kf4") != 0)) {
    std::fprintf(stderr, "usage: bench_decode PACKAGE OUTPUT kfw|kf4\n");
    return 2;
  }
  const int kind = std::strcmp(argv[3], "kf4") == 0 ? 2 : 1;
  return DecodePackage(argv[1], argv[2], kind) ? 0 : 1;
}
