#pragma once
// Stand-ins for the controller's window and shell, for tests of the
// instrument layer's logic above them.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/operator_view.h"
#include "core/remote_shell.h"
#include "core/updater_controller.h"

namespace instrument_test {

// A window that only records the texts it is given.

class FieldView : public OperatorView {
 public:
  void SetText(int id, const std::string& text) override { fields[id] = text; }
  std::string GetText(int) override { return std::string(); }
  void Enable(int, bool) override {}
  void SetCheck(int, bool) override {}
  bool GetCheck(int) override { return false; }
  void GetAddress(unsigned char parts[4]) override;
  void SetAddress(const unsigned char*) override {}
  void ListReset() override {}
  void ListAppend(const std::string&) override {}
  int ListCount() override { return 0; }
  int ListSelected() override { return -1; }
  void ListSelect(int) override {}
  void LogAppend(const std::string&) override {}
  void SetProgress(int) override {}
  bool MessageBox(const std::string&, bool) override { return true; }

  // A field's text, "<unset>" when it was never set.
  std::string Field(int id) const;
  // Model and serial number, as shown.
  std::vector<std::string> Identity() const;
  // Package, driver, SCPI and UI version, as shown.
  std::vector<std::string> Versions() const;

  std::map<int, std::string> fields;
};

// A shell that records each command as "host|user|password|command" and
// answers every one with the same output.
class ScriptedShell : public RemoteShell {
 public:
  bool RunCommand(const char* host, const char* user, const char* password, const char* command,
                  const char* expected, int* matched, char* output,
                  std::size_t outputCapacity) override;
  bool SendFile(const char*, const char*, const char*, const char*) override { return false; }
  bool Cancel() override { return false; }

  std::vector<std::string> calls;
  std::string answer = "yes\n";
  bool succeed = true;
};

// A controller logged in to 198.18.0.11 as root through a ScriptedShell,
// showing into a FieldView, with no instrument chosen in the list.
class ScriptedControllerTest : public ::testing::Test {
 protected:
  ScriptedControllerTest();
  UpdaterController controller;
  ScriptedShell shell;
  FieldView view;
};

}  // namespace instrument_test
