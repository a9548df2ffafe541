#pragma once
// What the window logic needs from the window toolkit, by control id.
// The Qt dialog, tavrinctl's console and the tests' recording view
// implement it. Called on the window's thread only.
#include <string>

enum ControlId {
  IdcClose = 2,
  IdcAddress = 1000,
  IdcConnect = 1001,
  IdcUpgrade = 1002,
  IdcLogList = 1003,
  IdcModelNumber = 1004,
  IdcPackagePath = 1005,
  IdcRestore = 1006,
  IdcCancel = 1007,
  IdcProgress = 1008,
  IdcStatus = 1009,
  IdcDiscovery = 1010,
  IdcIpMode = 1011,
  IdcDiscoveryMode = 1012,
  IdcInstrumentList = 1013,
  IdcSerialNumber = 1014,
  IdcDriverVersion = 1015,
  IdcScpiVersion = 1016,
  IdcUiVersion = 1017,
  IdcPackageVersion = 1018,
  IdcConsole = 1019,
  IdcWebUi = 1020,
  IdcHostName = 1021,
  IdcApply = 1022,
};

class OperatorView {
 public:
  virtual ~OperatorView() = default;

  virtual void SetText(int id, const std::string& text) = 0;
  virtual std::string GetText(int id) = 0;  // hostname and package path fields
  virtual void Enable(int id, bool enabled) = 0;
  virtual void SetCheck(int id, bool checked) = 0;
  virtual bool GetCheck(int id) = 0;

  // The IPv4 field as four numbers; a blank number reads as 0.
  virtual void GetAddress(unsigned char parts[4]) = 0;
  virtual void SetAddress(const unsigned char parts[4]) = 0;

  virtual void ListReset() = 0;
  virtual void ListAppend(const std::string& entry) = 0;
  virtual int ListCount() = 0;
  virtual int ListSelected() = 0;  // -1 when nothing is selected
  virtual void ListSelect(int index) = 0;

  virtual void LogAppend(const std::string& line) = 0;  // and scroll to it
  virtual void SetProgress(int percent) = 0;

  // Modal message box with the caption "Information:". With okCancel the
  // box offers OK and Cancel; returns true for OK.
  virtual bool MessageBox(const std::string& text, bool okCancel = false) = 0;
};
