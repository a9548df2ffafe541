#pragma once
// Shared pieces of the core tests: a private directory per test, whole-file
// reads, and a started program that outlives the one that started it.
#include <sys/types.h>

#include <gtest/gtest.h>

#include <string>

namespace core_test {

// Each test gets a fresh directory under /tmp, removed afterwards.
class TempDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  std::string dir_;  // no trailing '/'
};

std::string ReadFile(const std::string& path);

// Starts `sleep 5` and returns once it has replaced the forked copy, so
// that only descriptors without close-on-exec remain in it.
pid_t SpawnSleeper();
void EndSleeper(pid_t sleeper);

}  // namespace core_test
