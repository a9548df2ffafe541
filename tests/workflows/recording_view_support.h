#pragma once
// An OperatorView that keeps what the window would show and answers
// message boxes as told; for tests of the window's logic.
#include <map>
#include <string>
#include <vector>

#include "core/operator_view.h"

class RecordingView : public OperatorView {
 public:
  // Address mode with this dotted address in the field.
  void UseAddress(const std::string& dotted);
  // Discovery mode with these list entries, `selected` chosen.
  void UseDiscoveryList(const std::vector<std::string>& entries, int selected);

  void SetText(int id, const std::string& text) override;
  std::string GetText(int id) override;
  void Enable(int id, bool enabled) override { enabled_[id] = enabled; }
  void SetCheck(int id, bool checked) override { checks_[id] = checked; }
  bool GetCheck(int id) override { return checks_[id]; }
  void GetAddress(unsigned char parts[4]) override;
  void SetAddress(const unsigned char parts[4]) override;
  void ListReset() override;
  void ListAppend(const std::string& entry) override { list_.push_back(entry); }
  int ListCount() override { return static_cast<int>(list_.size()); }
  int ListSelected() override { return selected_; }
  void ListSelect(int index) override { selected_ = index; }
  void LogAppend(const std::string& line) override { logLines.push_back(line); }
  void SetProgress(int percent) override { progress.push_back(percent); }
  bool MessageBox(const std::string& text, bool okCancel = false) override;

  bool IsEnabled(int id) const;
  int LastProgress() const { return progress.empty() ? -1 : progress.back(); }
  std::string Address() const;  // dotted
  const std::vector<std::string>& ListEntries() const { return list_; }

  std::vector<std::string> statuses;  // every text the status line received
  std::vector<std::string> logLines;
  std::vector<int> progress;
  std::vector<std::string> messages;
  bool messageAnswer = true;

 private:
  std::map<int, std::string> texts_;
  std::map<int, bool> enabled_;
  std::map<int, bool> checks_;
  unsigned char address_[4] = {0, 0, 0, 0};
  std::vector<std::string> list_;
  int selected_ = -1;
};
