#pragma once
// A fresh directory under /tmp for each test, removed afterwards, with file
// helpers relative to it; and the nibble swap that packed files store.
#include <gtest/gtest.h>

#include <string>
#include <vector>

class ScratchDirTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Path(const std::string& name) const { return dir_ + name; }
  void Write(const std::string& name, const std::string& content) const;
  std::string Read(const std::string& name) const;
  std::vector<std::string> Names() const;  // sorted

  std::string dir_;  // ends in '/'
};

// Each byte with its two halves swapped.
std::string SwapNibbles(std::string bytes);
