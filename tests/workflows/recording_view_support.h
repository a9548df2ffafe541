#pragma once
// A view that keeps what the window would show and answers message boxes
// as told, and a shell that accepts one password; for tests of the window's
// logic. Header only: the script and window tests include it as well.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "core/operator_view.h"
#include "core/remote_shell.h"

// Any view interface built on OperatorView, recording into public members.
template <typename Base>
class RecordingViewOf : public Base {
 public:
  void SetText(int id, const std::string& text) override {
    texts[id] = text;
    if (id == IdcStatus) statuses.push_back(text);
  }
  std::string GetText(int id) override {
    auto it = texts.find(id);
    return it == texts.end() ? std::string() : it->second;
  }
  void Enable(int id, bool on) override { enabled[id] = on; }
  void SetCheck(int id, bool on) override { checks[id] = on; }
  bool GetCheck(int id) override { return checks[id]; }
  // The six identity fields as the window shows them.
  std::vector<std::string> IdentityShown() {
    return {GetText(IdcModelNumber),   GetText(IdcSerialNumber), GetText(IdcPackageVersion),
            GetText(IdcDriverVersion), GetText(IdcScpiVersion),  GetText(IdcUiVersion)};
  }
  void GetAddress(unsigned char parts[4]) override { std::copy(address, address + 4, parts); }
  void SetAddress(const unsigned char parts[4]) override { std::copy(parts, parts + 4, address); }
  void ListReset() override {
    list.clear();
    selected = -1;
  }
  void ListAppend(const std::string& entry) override { list.push_back(entry); }
  int ListCount() override { return static_cast<int>(list.size()); }
  int ListSelected() override { return selected; }
  void ListSelect(int index) override { selected = index; }
  void LogAppend(const std::string& line) override { log.push_back(line); }
  void SetProgress(int percent) override { progress.push_back(percent); }
  // OK/Cancel boxes take the next of `answers`, OK when none is left.
  bool MessageBox(const std::string& text, bool okCancel = false) override {
    messages.push_back(text);
    if (!okCancel || answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }

  bool IsEnabled(int id) const {
    auto it = enabled.find(id);
    return it == enabled.end() ? untouchedEnabled : it->second;
  }
  int LastProgress() const { return progress.empty() ? -1 : progress.back(); }
  void SetAddressText(const std::string& dotted) {
    unsigned n[4] = {0, 0, 0, 0};
    std::sscanf(dotted.c_str(), "%u.%u.%u.%u", &n[0], &n[1], &n[2], &n[3]);
    for (int i = 0; i < 4; ++i) address[i] = static_cast<unsigned char>(n[i]);
  }
  std::string Address() const {
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    return text;
  }
  // Address mode with this dotted address in the field.
  void UseAddress(const std::string& dotted) {
    SetAddressText(dotted);
    checks[IdcIpMode] = true;
    checks[IdcDiscoveryMode] = false;
  }
  // Discovery mode with these list entries, `chosen` selected.
  void UseDiscoveryList(const std::vector<std::string>& entries, int chosen) {
    list = entries;
    selected = chosen;
    checks[IdcIpMode] = false;
    checks[IdcDiscoveryMode] = true;
  }

  std::map<int, std::string> texts;
  std::map<int, bool> enabled;
  bool untouchedEnabled = false;  // what IsEnabled says of a control never touched
  std::map<int, bool> checks;
  unsigned char address[4] = {0, 0, 0, 0};
  std::vector<std::string> list;
  int selected = -1;
  std::vector<std::string> statuses;  // every text the status line received
  std::vector<std::string> log;
  std::vector<int> progress;
  std::vector<std::string> messages;
  std::deque<bool> answers;
};

using RecordingView = RecordingViewOf<OperatorView>;

// Accepts logins with `acceptedPassword` only (none while it is empty),
// records the commands and counts the interrupts.
class OnePasswordShell : public RemoteShell {
 public:
  explicit OnePasswordShell(std::string accepted = std::string()) : acceptedPassword(std::move(accepted)) {}
  bool RunCommand(const char*, const char*, const char* password, const char* command, const char*,
                  int*, char*, std::size_t) override {
    commands.push_back(command != nullptr ? command : "");
    return !acceptedPassword.empty() && password != nullptr && acceptedPassword == password;
  }
  bool SendFile(const char*, const char*, const char*, const char*) override { return false; }
  bool Cancel() override {
    ++cancels;
    return true;
  }

  std::string acceptedPassword;
  std::vector<std::string> commands;
  std::atomic<int> cancels{0};
};
