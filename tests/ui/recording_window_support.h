#pragma once
// A window view that records what the window logic does to it, answers
// message boxes from a script, and a shell that accepts one password.
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/remote_shell.h"
#include "ui/operator_window_view.h"

class RecordingWindowView : public OperatorWindowView {
 public:
  std::map<int, std::string> texts;
  std::map<int, bool> enabled;  // a control never touched counts as enabled
  std::map<int, bool> checks;
  unsigned char address[4] = {0, 0, 0, 0};
  std::vector<std::string> list;
  int selected = -1;
  std::vector<std::string> log;
  int progress = 0;
  int progressLow = 0;
  int progressHigh = 0;
  std::vector<std::string> messages;
  std::deque<bool> answers;  // for OK/Cancel boxes; OK when empty
  int itemHeight = 0;
  int extent = 0;
  int extentChanges = 0;
  std::string browseExtension;
  std::string browseFilter;

  bool IsEnabled(int id) const;
  void SetAddressText(const std::string& dotted);

  void SetText(int id, const std::string& text) override { texts[id] = text; }
  std::string GetText(int id) override { return texts[id]; }
  void Enable(int id, bool on) override { enabled[id] = on; }
  void SetCheck(int id, bool on) override { checks[id] = on; }
  bool GetCheck(int id) override { return checks[id]; }
  void GetAddress(unsigned char parts[4]) override;
  void SetAddress(const unsigned char parts[4]) override;
  void ListReset() override;
  void ListAppend(const std::string& entry) override { list.push_back(entry); }
  int ListCount() override { return static_cast<int>(list.size()); }
  int ListSelected() override { return selected; }
  void ListSelect(int index) override { selected = index; }
  void LogAppend(const std::string& line) override { log.push_back(line); }
  void SetProgress(int percent) override { progress = percent; }
  bool MessageBox(const std::string& text, bool okCancel) override;
  void SetLogItemHeight(int pixels) override { itemHeight = pixels; }
  // Seven pixels a character: enough to compare widths.
  int MeasureLogLine(const std::string& line) override { return 7 * int(line.size()); }
  void SetLogExtent(int pixels) override;
  void RepaintLog() override {}
  void SetProgressRange(int low, int high) override;
  void SetBrowseDialog(const std::string& extension, const std::string& filter) override;
  void ShowAbout() override {}
};

// Accepts logins with `acceptedPassword` only and records the commands.
class OnePasswordShell : public RemoteShell {
 public:
  std::string acceptedPassword;
  std::vector<std::string> commands;

  bool RunCommand(const char* host, const char* user, const char* password, const char* command,
                  const char* expected, int* matched, char* output,
                  std::size_t outputCapacity) override;
  bool SendFile(const char*, const char*, const char*, const char*) override { return false; }
  bool Cancel() override { return false; }
};

// A fresh directory under the system's temporary directory.
std::string MakeTempDirectory();
std::string ReadWholeFile(const std::string& path);
