// The real widgets on the offscreen platform: captions, arrangement, the
// default button and the enabling of the operation group.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <algorithm>

#include "core/operation_codes.h"
#include "tests/ui/qt_application_support.h"
#include "tests/ui/recording_window_support.h"
#include "ui/ip_address_edit.h"
#include "ui/operator_window.h"
#include "ui/package_path_field.h"

namespace {

class DialogTest : public testing::Test {
 protected:
  static void SetUpTestSuite() { OffscreenApplication(); }

  void SetUp() override {
    shell_.acceptedPassword = "kdrun64";
    WindowOptions options;
    options.openLog = false;
    options.startWorker = false;
    options.shell = &shell_;
    window_ = std::make_unique<CInstrumentUpdaterDlg>(options);
    {
      MessageBoxCatcher startup;  // scripts may be missing beside the tests
      window_->Open();
    }
    QTest::qWait(20);
  }

  OperatorDialog& Dialog() { return window_->Dialog(); }
  QWidget* Control(int id) { return Dialog().Control(id); }
  QString Caption(int id) { return static_cast<QAbstractButton*>(Control(id))->text(); }

  // Texts of the widgets of a kind inside `parent`, top to bottom, then
  // left to right.
  template <typename Widget>
  QStringList TextsInOrder(QWidget* parent, QString (Widget::*text)() const) {
    QList<Widget*> widgets = parent->findChildren<Widget*>();
    std::sort(widgets.begin(), widgets.end(), [parent](Widget* a, Widget* b) {
      QPoint pa = a->mapTo(parent, QPoint()), pb = b->mapTo(parent, QPoint());
      return pa.y() != pb.y() ? pa.y() < pb.y() : pa.x() < pb.x();
    });
    QStringList texts;
    for (Widget* w : widgets) texts << (w->*text)();
    return texts;
  }

  OnePasswordShell shell_;
  std::unique_ptr<CInstrumentUpdaterDlg> window_;
};

TEST_F(DialogTest, CaptionsFramesAndLabelsAreThoseOfTheWindow) {
  EXPECT_EQ(Dialog().windowTitle(), "Tavrin Operator");
  EXPECT_EQ(Dialog().minimumSize(), Dialog().maximumSize());  // fixed size
  const std::pair<int, const char*> captions[] = {
      {IdcDiscovery, "Discovery"}, {IdcConnect, "Connect"}, {IdcApply, "Apply"},
      {IdcConsole, "Open SCPI Command Console"}, {IdcWebUi, "Open TavrinUI"}, {IdcUpgrade, "Upgrade"},
      {IdcRestore, "Restore"}, {IdcCancel, "Cancel"}, {IdcClose, "Close"}};
  for (const auto& [id, caption] : captions) EXPECT_EQ(Caption(id), caption) << id;

  EXPECT_EQ(TextsInOrder<QGroupBox>(&Dialog(), &QGroupBox::title),
            (QStringList{"Connection Information:", "Hostname", "Instrument Information:", "",
                         "Upgrade Information:"}));
  QStringList labels = TextsInOrder<QLabel>(&Dialog(), &QLabel::text);
  labels.removeAll(QString());
  labels.removeAll(".");
  EXPECT_EQ(labels, (QStringList{"IP:", "Model Number:", "Serial Number:", "Installed Package:",
                                 "Tavrin Driver:", "Tavrin SCPI:", "Tavrin UI:", "Package:"}));
  // Close sits under the frames, at the right.
  QWidget* close = Control(IdcClose);
  QWidget* log = Control(IdcLogList);
  EXPECT_GT(close->mapTo(&Dialog(), QPoint()).y(), log->mapTo(&Dialog(), QPoint()).y());
  EXPECT_GT(close->mapTo(&Dialog(), QPoint()).x(), Dialog().width() / 2);
}

TEST_F(DialogTest, EnterPressesConnectWhichChecksTheAddress) {
  EXPECT_TRUE(static_cast<QPushButton*>(Control(IdcConnect))->isDefault());
  unsigned char parts[4];
  Dialog().GetAddress(parts);
  EXPECT_EQ(parts[0], 192);
  Dialog().AddressField()->Number(0)->clear();  // a blank number reads as 0
  Dialog().GetAddress(parts);
  EXPECT_EQ(parts[0], 0);

  MessageBoxCatcher boxes;
  auto* hostName = static_cast<QLineEdit*>(Control(IdcHostName));
  hostName->setFocus();
  QTest::keyClick(hostName, Qt::Key_Return);
  QTRY_COMPARE(boxes.texts, QStringList{"Information:|Please check the ip address."});
  EXPECT_EQ(window_->Controller().operationType, OpNone);
}

TEST_F(DialogTest, TheGroupIsDisabledWhileAnOperationRunsButCancelAndCloseAreNot) {
  EXPECT_FALSE(Control(IdcDiscovery)->isEnabled());
  EXPECT_FALSE(Control(IdcInstrumentList)->isEnabled());
  QTest::mouseClick(Control(IdcDiscoveryMode), Qt::LeftButton);
  EXPECT_TRUE(Control(IdcDiscovery)->isEnabled());
  EXPECT_FALSE(Control(IdcAddress)->isEnabled());
  EXPECT_FALSE(Dialog().GetCheck(IdcIpMode));
  QTest::mouseClick(Control(IdcIpMode), Qt::LeftButton);
  EXPECT_TRUE(Dialog().GetCheck(IdcIpMode));
  EXPECT_TRUE(Control(IdcAddress)->isEnabled());

  const unsigned char loopback[4] = {127, 0, 0, 1};
  Dialog().SetAddress(loopback);
  QTest::mouseClick(Control(IdcConnect), Qt::LeftButton);
  EXPECT_EQ(window_->Controller().operationType, OpConnect);
  for (int id : {IdcIpMode, IdcDiscoveryMode, IdcAddress, IdcConnect, IdcPackagePath, IdcConsole,
                 IdcWebUi, IdcUpgrade, IdcRestore, IdcHostName, IdcApply})
    EXPECT_FALSE(Control(id)->isEnabled()) << id;
  EXPECT_TRUE(Control(IdcCancel)->isEnabled());
  EXPECT_TRUE(Control(IdcClose)->isEnabled());

  // The notice travels through the queue to the window's thread.
  window_->Controller().PostNotice(NoticeOperationDone, "");
  QTRY_VERIFY(Control(IdcConnect)->isEnabled());
  EXPECT_TRUE(Control(IdcAddress)->isEnabled());
  EXPECT_FALSE(Control(IdcDiscovery)->isEnabled());
}

TEST_F(DialogTest, OnlyTheOperatorsEditsForgetTheLoginAndListsStayUnselected) {
  UpdaterController& controller = window_->Controller();
  controller.familyCode = 2;
  const unsigned char address[4] = {10, 0, 0, 7};
  Dialog().SetAddress(address);  // as the reboot wait's follow-up does
  EXPECT_EQ(controller.familyCode, 2);
  QTest::keyClicks(Dialog().AddressField()->Number(3), "8");
  EXPECT_EQ(controller.familyCode, 0);

  Dialog().ListAppend("198.18.0.11 (Tavrin,TVS-8010,TV8010A0001,2.4.1)");
  Dialog().ListAppend("198.18.0.12 (Tavrin,TVS-9020,TV9020B0002,3.1.0)");
  EXPECT_EQ(Dialog().ListSelected(), -1);
  Dialog().ListSelect(1);
  EXPECT_EQ(static_cast<QComboBox*>(Control(IdcInstrumentList))->currentText(),
            "198.18.0.12 (Tavrin,TVS-9020,TV9020B0002,3.1.0)");
  Dialog().ListReset();
  EXPECT_EQ(Dialog().ListCount(), 0);

  controller.familyCode = 2;
  auto* package = static_cast<PackagePathField*>(Control(IdcPackagePath));
  Dialog().Enable(IdcPackagePath, true);
  Control(IdcHostName)->setFocus();
  package->setFocus();
  QTRY_COMPARE(package->NameFilter(), QString("kf4 files (*.kf4)"));
  EXPECT_EQ(package->DefaultExtension(), "kf4");
}

}  // namespace
