#include "tests/workflows/recording_view_support.h"

#include <cstdio>

void RecordingView::UseAddress(const std::string& dotted) {
  unsigned numbers[4] = {0, 0, 0, 0};
  std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &numbers[0], &numbers[1], &numbers[2], &numbers[3]);
  for (int i = 0; i < 4; ++i) address_[i] = static_cast<unsigned char>(numbers[i]);
  checks_[IdcIpMode] = true;
  checks_[IdcDiscoveryMode] = false;
}

void RecordingView::UseDiscoveryList(const std::vector<std::string>& entries, int selected) {
  list_ = entries;
  selected_ = selected;
  checks_[IdcIpMode] = false;
  checks_[IdcDiscoveryMode] = true;
}

void RecordingView::SetText(int id, const std::string& text) {
  texts_[id] = text;
  if (id == IdcStatus) statuses.push_back(text);
}

std::string RecordingView::GetText(int id) {
  auto it = texts_.find(id);
  return it == texts_.end() ? std::string() : it->second;
}

void RecordingView::GetAddress(unsigned char parts[4]) {
  for (int i = 0; i < 4; ++i) parts[i] = address_[i];
}

void RecordingView::SetAddress(const unsigned char parts[4]) {
  for (int i = 0; i < 4; ++i) address_[i] = parts[i];
}

void RecordingView::ListReset() {
  list_.clear();
  selected_ = -1;
}

bool RecordingView::MessageBox(const std::string& text, bool okCancel) {
  messages.push_back(text);
  return okCancel ? messageAnswer : true;
}

bool RecordingView::IsEnabled(int id) const {
  auto it = enabled_.find(id);
  return it != enabled_.end() && it->second;
}

std::string RecordingView::Address() const {
  char text[16];
  std::snprintf(text, sizeof text, "%u.%u.%u.%u", address_[0], address_[1], address_[2],
                address_[3]);
  return text;
}
