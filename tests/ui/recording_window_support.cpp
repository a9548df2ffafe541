#include "tests/ui/recording_window_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

std::string MakeTempDirectory() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/tv_ui_XXXXXX";
  char* made = mkdtemp(&pattern[0]);
  return made != nullptr ? made : std::string();
}

std::string ReadWholeFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}
