#pragma once
// A window that only records the texts it is given, for the identity
// fields' tests.
#include <map>
#include <string>
#include <vector>

#include "core/operator_view.h"

namespace instrument_test {

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

}  // namespace instrument_test
