#include "tavrinctl/console_view.h"

namespace {

// One notice or message, one line: a line break inside becomes a blank.
std::string OneLine(const std::string& text) {
  std::string line = text;
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  return line;
}

}  // namespace

void ConsoleView::SetText(int id, const std::string& text) {
  texts_[id] = text;
  if (id != IdcStatus || quiet_) return;
  std::fprintf(out_, "status: %s\n", OneLine(text).c_str());
  std::fflush(out_);
}

std::string ConsoleView::GetText(int id) {
  auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

void ConsoleView::GetAddress(unsigned char parts[4]) {
  for (int i = 0; i < 4; ++i) parts[i] = address_[i];
}

void ConsoleView::SetAddress(const unsigned char parts[4]) {
  for (int i = 0; i < 4; ++i) address_[i] = parts[i];
}

void ConsoleView::ListReset() {
  entries_.clear();
  selected_ = -1;
}

void ConsoleView::ListSelect(int index) {
  selected_ = index >= 0 && index < ListCount() ? index : -1;
}

void ConsoleView::LogAppend(const std::string& line) {
  logLines_.push_back(line);
  if (quiet_) return;
  std::fprintf(out_, "log: %s\n", OneLine(line).c_str());
  std::fflush(out_);
}

void ConsoleView::SetProgress(int percent) {
  if (quiet_) return;
  std::fprintf(out_, "progress: %d\n", percent);
  std::fflush(out_);
}

bool ConsoleView::MessageBox(const std::string& text, bool okCancel) {
  (void)okCancel;  // nobody to ask: the console answers OK
  messages_.push_back(text);
  std::fprintf(err_, "%s\n", OneLine(text).c_str());
  std::fflush(err_);
  return true;
}
