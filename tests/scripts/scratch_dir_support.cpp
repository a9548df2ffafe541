#include "tests/scripts/scratch_dir_support.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

void ScratchDirTest::SetUp() {
  char name[] = "/tmp/tv_scripts_XXXXXX";
  ASSERT_NE(::mkdtemp(name), nullptr);
  dir_ = std::string(name) + "/";
}

void ScratchDirTest::TearDown() {
  if (!dir_.empty()) fs::remove_all(dir_);
}

void ScratchDirTest::Write(const std::string& name, const std::string& content) const {
  std::ofstream(Path(name), std::ios::binary) << content;
}

std::string ScratchDirTest::Read(const std::string& name) const {
  std::ifstream in(Path(name), std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  return all.str();
}

std::vector<std::string> ScratchDirTest::Names() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::string SwapNibbles(std::string bytes) {
  for (char& c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    c = static_cast<char>((b << 4) | (b >> 4));
  }
  return bytes;
}
