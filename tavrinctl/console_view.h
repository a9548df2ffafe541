#pragma once
// The window's controls held in memory for a console front end: status
// changes, log lines and progress are printed as they come; a message box
// becomes a line on standard error. Quiet, it prints no progress and only
// keeps the log lines and messages for a report at the end.
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "core/operator_view.h"

class ConsoleView : public OperatorView {
 public:
  ConsoleView(std::FILE* out, std::FILE* err, bool quiet = false)
      : out_(out), err_(err), quiet_(quiet) {}

  void SetText(int id, const std::string& text) override;
  std::string GetText(int id) override;
  void Enable(int id, bool enabled) override { enabled_[id] = enabled; }
  void SetCheck(int id, bool checked) override { checks_[id] = checked; }
  bool GetCheck(int id) override { return checks_[id]; }

  void GetAddress(unsigned char parts[4]) override;
  void SetAddress(const unsigned char parts[4]) override;

  void ListReset() override;
  void ListAppend(const std::string& entry) override { entries_.push_back(entry); }
  int ListCount() override { return static_cast<int>(entries_.size()); }
  int ListSelected() override { return selected_; }
  void ListSelect(int index) override;

  void LogAppend(const std::string& line) override;
  void SetProgress(int percent) override;
  bool MessageBox(const std::string& text, bool okCancel = false) override;

  const std::vector<std::string>& ListEntries() const { return entries_; }
  int MessageCount() const { return static_cast<int>(messages_.size()); }
  const std::vector<std::string>& LogLines() const { return logLines_; }
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  std::FILE* out_;
  std::FILE* err_;
  bool quiet_;
  std::map<int, std::string> texts_;
  std::map<int, bool> enabled_;
  std::map<int, bool> checks_;
  unsigned char address_[4] = {0, 0, 0, 0};
  std::vector<std::string> entries_;
  int selected_ = -1;
  std::vector<std::string> logLines_;
  std::vector<std::string> messages_;
};
