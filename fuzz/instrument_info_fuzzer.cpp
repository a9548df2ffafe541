// The identity texts an instrument hands back: the package-version file,
// the ":system:info? ALL" reply and the device-information line, as parsed
// alone and as FillDeviceInfo puts them into the window's fields.
//
// Input: the version file, the system-information reply, the
// device-information line and a separator for SplitTrimmed, NUL-separated.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/operator_view.h"
#include "core/updater_controller.h"
#include "fuzz/fuzz_shell.h"
#include "fuzz/fuzz_support.h"
#include "instrument/instrument_info.h"

namespace {

// The fields FillDeviceInfo fills; the rest of the window is never asked.
class FieldView : public OperatorView {
 public:
  void SetText(int id, const std::string& text) override { fields[id] = text; }
  std::string GetText(int id) override { return fields[id]; }
  void Enable(int, bool) override {}
  void SetCheck(int, bool) override {}
  bool GetCheck(int) override { return false; }
  void GetAddress(unsigned char parts[4]) override { parts[0] = parts[1] = parts[2] = parts[3] = 0; }
  void SetAddress(const unsigned char*) override {}
  void ListReset() override {}
  void ListAppend(const std::string&) override {}
  int ListCount() override { return 0; }
  int ListSelected() override { return -1; }
  void ListSelect(int) override {}
  void LogAppend(const std::string&) override {}
  void SetProgress(int) override {}
  bool MessageBox(const std::string&, bool) override { return true; }

  std::map<int, std::string> fields;
};

bool OneLine(const std::string& text) { return text.find('\n') == std::string::npos; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string versionFile = fuzz::Take(data, size, '\0');
  const std::string systemInfo = fuzz::Take(data, size, '\0');
  const std::string deviceInfo = fuzz::Take(data, size, '\0');
  const std::string separator = fuzz::Take(data, size, '\0');

  std::string driver, scpi, package, ui;
  ParsePackageVersionText(versionFile, driver, scpi, package, ui);
  // Each field shows one line of the file.
  FUZZ_CHECK(OneLine(driver) && OneLine(scpi) && OneLine(package) && OneLine(ui));
  ParseSystemInfoText(systemInfo, driver, scpi);
  FUZZ_CHECK(OneLine(driver) && OneLine(scpi));

  std::vector<std::string> pieces;
  SplitTrimmed(deviceInfo, separator, pieces);
  FUZZ_CHECK(!pieces.empty());

  UpdaterController controller;
  fuzz::AnsweringShell shell;
  FieldView view;
  controller.shell = &shell;
  controller.view = &view;
  controller.userName = "root";
  controller.password = "secret";
  // No address is chosen, so the system-information query reaches no one.
  controller.selectedAddress = [] { return std::string(); };
  shell.answer = [&](const std::string&) { return fuzz::Reply{true, versionFile}; };
  FillDeviceInfo(controller, deviceInfo);
  return 0;
}
