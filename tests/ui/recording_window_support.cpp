#include "tests/ui/recording_window_support.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

bool RecordingWindowView::IsEnabled(int id) const {
  auto it = enabled.find(id);
  return it == enabled.end() || it->second;
}

void RecordingWindowView::SetAddressText(const std::string& dotted) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &a, &b, &c, &d);
  const unsigned char parts[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                  static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
  SetAddress(parts);
}

void RecordingWindowView::GetAddress(unsigned char parts[4]) {
  for (int i = 0; i < 4; ++i) parts[i] = address[i];
}

void RecordingWindowView::SetAddress(const unsigned char parts[4]) {
  for (int i = 0; i < 4; ++i) address[i] = parts[i];
}

void RecordingWindowView::ListReset() {
  list.clear();
  selected = -1;
}

bool RecordingWindowView::MessageBox(const std::string& text, bool okCancel) {
  messages.push_back(text);
  if (!okCancel || answers.empty()) return true;
  bool answer = answers.front();
  answers.pop_front();
  return answer;
}

void RecordingWindowView::SetLogExtent(int pixels) {
  extent = pixels;
  ++extentChanges;
}

void RecordingWindowView::SetProgressRange(int low, int high) {
  progressLow = low;
  progressHigh = high;
}

void RecordingWindowView::SetBrowseDialog(const std::string& extension,
                                          const std::string& filter) {
  browseExtension = extension;
  browseFilter = filter;
}

bool OnePasswordShell::RunCommand(const char*, const char*, const char* password,
                                  const char* command, const char*, int*, char*, std::size_t) {
  commands.push_back(command != nullptr ? command : "");
  return password != nullptr && acceptedPassword == password;
}

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
