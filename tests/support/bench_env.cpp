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

// The test program runs from its lane's program directory (a link to the
// build's, tests/support/lane.sh) or from the build's; the programs it runs
// lie beside it and write there.
std::string ProgramDir() {
  char path[4096];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  if (n <= 0) return std::string(TV_BINARY_DIR) + "/bin/";
  std::string self(path, static_cast<std::size_t>(n));
  return self.substr(0, self.rfind('/') + 1);
}

std::string SamplePackage(const std::string& name) { return ProgramDir() + "packages/" + name; }

std::string BuildDir() { return TV_BINARY_DIR; }

int Run(const std::string& args) {
  std::string cmd = SourceDir() + "/bench/bench " + args;
  int rc = std::system(cmd.c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

}  // namespace bench
