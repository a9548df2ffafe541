#pragma once
// The operator window's widgets: a resizable dialog that implements the
// window view and forwards every command to the presenter.
#include <QDialog>
#include <map>
#include <string>

#include "ui/operator_window_view.h"

class IpAddressEdit;
class OperatorPresenter;
class PackagePathField;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QRadioButton;
class LogItemDelegate;
class LogList;

class OperatorDialog : public QDialog, public OperatorWindowView {
 public:
  // Room left for the desktop's title bar when the window fits the desk.
  static constexpr int kTitleBarAllowance = 32;

  explicit OperatorDialog(QWidget* parent = nullptr);
  ~OperatorDialog() override;

  // The presenter that receives the commands; null detaches.
  void Attach(OperatorPresenter* presenter) { presenter_ = presenter; }

  // The widget of a control id, null for an unknown id.
  QWidget* Control(int id) const;
  IpAddressEdit* AddressField() const { return address_; }
  // Raises the window above the others (another start asked for it).
  void BringToFront();

  // OperatorView
  void SetText(int id, const std::string& text) override;
  std::string GetText(int id) override;
  void Enable(int id, bool enabled) override;
  void SetCheck(int id, bool checked) override;
  bool GetCheck(int id) override;
  void GetAddress(unsigned char parts[4]) override;
  void SetAddress(const unsigned char parts[4]) override;
  void ListReset() override;
  void ListAppend(const std::string& entry) override;
  int ListCount() override;
  int ListSelected() override;
  void ListSelect(int index) override;
  void LogAppend(const std::string& line) override;
  void SetProgress(int percent) override;
  bool MessageBox(const std::string& text, bool okCancel) override;
  // OperatorWindowView
  void SetLogItemHeight(int pixels) override;
  int MeasureLogLine(const std::string& line) override;
  void SetLogExtent(int pixels) override;
  void RepaintLog() override;
  void SetProgressRange(int low, int high) override;
  void SetBrowseDialog(const std::string& defaultExtension, const std::string& filter) override;
  void ShowAbout() override;

 protected:
  void reject() override;  // Esc
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  QWidget* BuildConnectionFrame();
  QWidget* BuildHostNameFrame();
  QWidget* BuildInstrumentFrame();
  QWidget* BuildLauncherFrame();
  QWidget* BuildUpgradeFrame();
  QPushButton* AddButton(int id);
  void SetTabOrder();
  // Asks a close question unless one is open already; true to close.
  bool Ask(bool (OperatorPresenter::*question)());
  QLabel* AddValue(int id);
  void Forward(void (OperatorPresenter::*command)());
  void CloseCommand();

  OperatorPresenter* presenter_ = nullptr;
  std::map<int, QWidget*> controls_;
  QRadioButton* ipMode_ = nullptr;
  QRadioButton* discoveryMode_ = nullptr;
  IpAddressEdit* address_ = nullptr;
  QComboBox* instruments_ = nullptr;
  PackagePathField* package_ = nullptr;
  LogList* log_ = nullptr;
  LogItemDelegate* logDelegate_ = nullptr;
  QProgressBar* progress_ = nullptr;
  bool closing_ = false;
  bool asking_ = false;
  bool shown_ = false;
};
