#include "tests/support/bench_env.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace bench {

namespace {
bool g_inNamespace = false;
}

void MarkAvailable(bool available) { g_inNamespace = available; }

bool Available() { return g_inNamespace; }

std::string SourceDir() { return TV_SOURCE_DIR; }

std::string ProgramDir() { return std::string(TV_BINARY_DIR) + "/bin/"; }

int Run(const std::string& args) {
  std::string cmd = SourceDir() + "/bench/bench " + args;
  int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace bench
