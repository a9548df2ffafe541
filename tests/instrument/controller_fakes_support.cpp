#include "tests/instrument/controller_fakes_support.h"

#include <algorithm>
#include <cstring>

namespace instrument_test {

void FieldView::GetAddress(unsigned char parts[4]) { std::memset(parts, 0, 4); }

std::string FieldView::Field(int id) const {
  auto found = fields.find(id);
  return found != fields.end() ? found->second : "<unset>";
}

std::vector<std::string> FieldView::Identity() const {
  return {Field(IdcModelNumber), Field(IdcSerialNumber)};
}

std::vector<std::string> FieldView::Versions() const {
  return {Field(IdcPackageVersion), Field(IdcDriverVersion), Field(IdcScpiVersion),
          Field(IdcUiVersion)};
}

bool ScriptedShell::RunCommand(const char* host, const char* user, const char* password,
                               const char* command, const char* expected, int* matched,
                               char* output, std::size_t outputCapacity) {
  calls.push_back(std::string(host) + "|" + user + "|" + password + "|" + command);
  if (expected != nullptr && matched != nullptr) *matched = answer == expected ? 1 : 0;
  if (output != nullptr) std::memcpy(output, answer.data(), std::min(outputCapacity, answer.size()));
  return succeed;
}

ScriptedControllerTest::ScriptedControllerTest() {
  controller.shell = &shell;
  controller.view = &view;
  controller.targetAddress = "198.18.0.11";
  controller.userName = "root";
  controller.password = "kdrun64";
  // The VXI-11 fallback finds nothing to ask.
  controller.selectedAddress = [] { return std::string(); };
}

}  // namespace instrument_test
