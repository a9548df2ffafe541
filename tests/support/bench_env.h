#pragma once
// The bench: four instruments, at the same addresses on every bench.
#include <string>

namespace bench {

constexpr const char* kI1 = "198.18.0.11";  // family kfw
constexpr const char* kI2 = "198.18.0.12";  // family kf4
constexpr const char* kI3 = "198.18.0.13";  // family kfw, also 198.19.0.13
constexpr const char* kI3Second = "198.19.0.13";
constexpr const char* kI4 = "198.18.0.14";  // a type the sample config does not list
constexpr const char* kKfwPassword = "kdrun64";
constexpr const char* kKf4Password = "Xmvot27";

// True when this process runs inside the bench's operator namespace.
bool Available();
// Runs `bench/bench ARGS` (for ctl knobs); returns its exit status.
int Run(const std::string& args);
// The source tree's root, the build's directory, and the directory of the
// running test program, where the programs it runs and their files lie.
std::string SourceDir();
std::string BuildDir();
std::string ProgramDir();
// The sample package NAME among the files beside the running test program.
std::string SamplePackage(const std::string& name);

}  // namespace bench

// Skips the current test with a clear message when the bench is not there.
#define REQUIRE_BENCH()                                                        \
  do {                                                                         \
    if (!bench::Available()) GTEST_SKIP() << "bench not up or not root";       \
  } while (0)
