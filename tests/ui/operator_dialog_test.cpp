// The real widgets on the offscreen platform: captions, arrangement, the
// default button and the enabling of the operation group.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <map>

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
  // A caption as the window shows it: the '&' only marks the mnemonic.
  QString Caption(int id) {
    return static_cast<QAbstractButton*>(Control(id))->text().remove('&');
  }

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
    for (Widget* w : widgets) texts << (w->*text)().remove('&');
    return texts;
  }

  OnePasswordShell shell_;
  std::unique_ptr<CInstrumentUpdaterDlg> window_;
};

TEST_F(DialogTest, CaptionsFramesAndLabelsAreThoseOfTheWindow) {
  EXPECT_EQ(Dialog().windowTitle(), "Tavrin Operator");
  EXPECT_NE(Dialog().minimumSize(), Dialog().maximumSize());  // resizable
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

// The window on a 1366x768 screen with a 32 px panel, at 100 % and 125 %
// scaling (a scaled desktop offers fewer logical pixels).
class DialogSizeTest : public DialogTest, public testing::WithParamInterface<double> {};

TEST_P(DialogSizeTest, TheMinimumSizeFitsTheDeskOfA1366x768Screen) {
  const double scale = GetParam();
  const int kPanel = 32;
  const QSize desk(int(1366 / scale), int(768 / scale) - kPanel - OperatorDialog::kTitleBarAllowance);
  const QSize minimum = Dialog().minimumSize().expandedTo(Dialog().minimumSizeHint());
  EXPECT_LE(minimum.width(), desk.width());
  EXPECT_LE(minimum.height(), desk.height()) << "minimum " << minimum.width() << "x" << minimum.height();
}

INSTANTIATE_TEST_SUITE_P(Scaling, DialogSizeTest, testing::Values(1.0, 1.25),
                         [](const testing::TestParamInfo<double>& info) {
                           return info.param == 1.0 ? std::string("At100Percent") : std::string("At125Percent");
                         });

TEST_F(DialogTest, TheLogListTakesTheExtraRoomAndItsRowsFollowTheFont) {
  auto* log = static_cast<QListWidget*>(Control(IdcLogList));
  // The layout laid out directly: no window system in between.
  const QSize minimum = Dialog().minimumSize();
  Dialog().layout()->setGeometry(QRect(QPoint(), minimum));
  const int logHeight = log->height(), statusY = Control(IdcStatus)->y();
  Dialog().layout()->setGeometry(QRect(QPoint(), minimum + QSize(100, 200)));
  EXPECT_EQ(log->height(), logHeight + 200);
  EXPECT_EQ(Control(IdcStatus)->y(), statusY);

  // 20 pixels with the default font; a large font is not clipped.
  EXPECT_EQ(log->visualItemRect(log->item(0)).height(), 20);
  QFont large = log->font();
  large.setPixelSize(40);
  log->setFont(large);
  Dialog().SetLogItemHeight(20);
  EXPECT_GE(log->visualItemRect(log->item(0)).height(), log->fontMetrics().height());
}

class DialogKeyboardTest : public DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    Dialog().activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Dialog()));
  }
  // The control id a focused widget belongs to; kBrowse for the "..." button.
  static constexpr int kBrowse = -1;
  int IdOf(QWidget* widget) {
    auto* package = static_cast<PackagePathField*>(Control(IdcPackagePath));
    if (widget == package->BrowseButton()) return kBrowse;
    for (int id : {IdcIpMode, IdcAddress, IdcDiscoveryMode, IdcDiscovery, IdcInstrumentList,
                   IdcConnect, IdcHostName, IdcApply, IdcConsole, IdcWebUi, IdcPackagePath,
                   IdcUpgrade, IdcRestore, IdcCancel, IdcLogList, IdcClose})
      if (Control(id) == widget || Control(id)->focusProxy() == widget) return id;
    return -100;
  }
  QWidget* Focused() { return QApplication::focusWidget(); }
};

TEST_F(DialogKeyboardTest, TabFollowsTheFramesTopToBottomAndLeftToRight) {
  Dialog().Enable(IdcDiscovery, true);
  Dialog().Enable(IdcInstrumentList, true);
  Control(IdcIpMode)->setFocus(Qt::TabFocusReason);
  std::vector<int> order{IdOf(Focused())};
  for (int i = 0; i < 17; ++i) {
    QTest::keyClick(Focused(), Qt::Key_Tab);
    order.push_back(IdOf(Focused()));
  }
  EXPECT_EQ(order, (std::vector<int>{IdcIpMode, IdcAddress, IdcDiscoveryMode, IdcDiscovery,
                                     IdcInstrumentList, IdcConnect, IdcHostName, IdcApply,
                                     IdcConsole, IdcWebUi, IdcPackagePath, kBrowse, IdcUpgrade,
                                     IdcRestore, IdcCancel, IdcLogList, IdcClose, IdcIpMode}));
}

TEST_F(DialogKeyboardTest, ArrowKeysAndTypingMoveBetweenTheFourNumbers) {
  IpAddressEdit* address = Dialog().AddressField();  // 192.168.1.100
  QLineEdit* first = address->Number(0);
  first->setFocus();
  first->setCursorPosition(1);
  QTest::keyClick(first, Qt::Key_Right);  // inside the number: the cursor moves
  EXPECT_EQ(Focused(), first);
  QTest::keyClick(first, Qt::Key_Right);
  QTest::keyClick(first, Qt::Key_Right);  // past the end: the next number
  EXPECT_EQ(Focused(), address->Number(1));
  EXPECT_EQ(address->Number(1)->cursorPosition(), 0);
  QTest::keyClick(Focused(), Qt::Key_Left);  // past the start: back, at the end
  EXPECT_EQ(Focused(), first);
  EXPECT_EQ(first->cursorPosition(), 3);
  for (int number = 1; number < 4; ++number) {
    QTest::keyClick(Focused(), Qt::Key_End);
    QTest::keyClick(Focused(), Qt::Key_Right);
    EXPECT_EQ(Focused(), address->Number(number)) << number;
  }
  QTest::keyClick(Focused(), Qt::Key_End);
  QTest::keyClick(Focused(), Qt::Key_Right);  // the last number keeps the focus
  EXPECT_EQ(Focused(), address->Number(3));
  unsigned char parts[4];
  Dialog().GetAddress(parts);
  EXPECT_EQ(parts[3], 100);  // moving typed nothing

  // Typed straight through, the '.' after a third digit is no second step.
  first->setFocus();
  first->selectAll();
  for (char c : std::string("127.0.0.1")) QTest::keyClick(Focused(), c);
  Dialog().GetAddress(parts);
  EXPECT_EQ(std::vector<int>(parts, parts + 4), (std::vector<int>{127, 0, 0, 1}));
}

TEST_F(DialogKeyboardTest, EveryButtonHasAMnemonicAndNoTwoAreAlike) {
  std::map<QKeySequence, QWidget*> owners;  // key, the widget it reaches
  QStringList clashes;
  auto add = [&](const QKeySequence& key, QWidget* owner, const QString& what) {
    if (key.isEmpty()) return;
    if (!owners.emplace(key, owner).second) clashes << what + " " + key.toString();
  };
  for (QAbstractButton* button : Dialog().findChildren<QAbstractButton*>())
    add(QKeySequence::mnemonic(button->text()), button, button->text());
  for (QLabel* label : Dialog().findChildren<QLabel*>())
    if (label->buddy() != nullptr)
      add(QKeySequence::mnemonic(label->text()), label->buddy(), label->text());
  for (QGroupBox* frame : Dialog().findChildren<QGroupBox*>())
    add(QKeySequence::mnemonic(frame->title()), frame, frame->title());
  for (QShortcut* shortcut : Dialog().findChildren<QShortcut*>())
    if (shortcut->key()[0].keyboardModifiers() == Qt::AltModifier)
      add(shortcut->key(), qobject_cast<QWidget*>(shortcut->parent()), "shortcut");
  EXPECT_TRUE(clashes.isEmpty()) << clashes.join(", ").toStdString();
  for (QAbstractButton* button : Dialog().findChildren<QAbstractButton*>()) {
    bool reached = false;
    for (const auto& owner : owners) reached = reached || owner.second == button;
    EXPECT_TRUE(reached) << button->text().toStdString() << " " << button->accessibleName().toStdString();
  }

  // The radio buttons' keys switch the mode as a click does.
  QTest::keyClick(&Dialog(), Qt::Key_Y, Qt::AltModifier);
  EXPECT_TRUE(Dialog().GetCheck(IdcDiscoveryMode));
  EXPECT_TRUE(Control(IdcDiscovery)->isEnabled());
  QTest::keyClick(&Dialog(), Qt::Key_I, Qt::AltModifier);
  QTRY_VERIFY(Dialog().GetCheck(IdcIpMode));  // a label's key clicks after a moment
  EXPECT_FALSE(Dialog().GetCheck(IdcDiscoveryMode));
}

TEST_F(DialogKeyboardTest, TheLogListTakesTheFocusAndScrollsWithTheKeys) {
  auto* log = static_cast<QListWidget*>(Control(IdcLogList));
  for (int i = 0; i < 60; ++i) Dialog().LogAppend("line " + std::to_string(i));
  Control(IdcCancel)->setFocus(Qt::TabFocusReason);
  QTest::keyClick(Focused(), Qt::Key_Tab);
  ASSERT_EQ(Focused(), log);
  QScrollBar* bar = log->verticalScrollBar();
  ASSERT_GT(bar->maximum(), 0);
  QTest::keyClick(log, Qt::Key_Home);
  EXPECT_EQ(bar->value(), 0);
  QTest::keyClick(log, Qt::Key_PageDown);
  EXPECT_GT(bar->value(), 0);
  QTest::keyClick(log, Qt::Key_End);
  EXPECT_EQ(bar->value(), bar->maximum());
}

TEST_F(DialogTest, AScreenReaderFindsANameAndADescriptionForEachField) {
  auto* package = static_cast<PackagePathField*>(Control(IdcPackagePath));
  IpAddressEdit* address = Dialog().AddressField();
  const std::pair<const char*, QWidget*> fields[] = {
      {"first number", address->Number(0)}, {"second number", address->Number(1)},
      {"third number", address->Number(2)}, {"fourth number", address->Number(3)},
      {"instrument list", Control(IdcInstrumentList)}, {"hostname", Control(IdcHostName)},
      {"package", package->Edit()}, {"browse", package->BrowseButton()},
      {"progress", Control(IdcProgress)}, {"log", Control(IdcLogList)}};
  QStringList names;
  for (const auto& [what, widget] : fields) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    ASSERT_NE(accessible, nullptr) << what;
    const QString name = accessible->text(QAccessible::Name);
    EXPECT_FALSE(name.isEmpty()) << what;
    EXPECT_FALSE(accessible->text(QAccessible::Description).isEmpty()) << what;
    names << name;
  }
  names.removeDuplicates();
  EXPECT_EQ(names.size(), int(std::size(fields)));  // each its own name
}

// The close paths of the real dialog while an operation runs.
enum class ClosePath { Esc, CloseButton, TitleBar };

struct CloseCase {
  const char* name;
  ClosePath path;
  bool ok;       // the operator's answer
  bool cancels;  // the running operation is asked to stop
};

class DialogCloseTest : public DialogTest, public testing::WithParamInterface<CloseCase> {
 protected:
  void Close(ClosePath path) {
    switch (path) {
      case ClosePath::Esc:
        QTest::keyClick(&Dialog(), Qt::Key_Escape);
        break;
      case ClosePath::CloseButton:
        static_cast<QAbstractButton*>(Control(IdcClose))->click();
        break;
      case ClosePath::TitleBar:
        Dialog().close();
        break;
    }
  }
};

TEST_P(DialogCloseTest, AsksOnceAndCancelsOnlyOnTheCloseButtonOrEsc) {
  const CloseCase& c = GetParam();
  window_->Controller().operationBusy = true;
  QList<QMessageBox*> questions;
  bool triedAgain = false;
  QTimer answer;
  answer.setInterval(10);
  QObject::connect(&answer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    if (!questions.contains(box)) questions << box;
    if (!triedAgain) {
      triedAgain = true;
      // Every close path again while the first question is open.
      QTimer::singleShot(0, [this] {
        for (ClosePath again : {ClosePath::Esc, ClosePath::CloseButton, ClosePath::TitleBar})
          Close(again);
      });
      return;
    }
    box->button(c.ok ? QMessageBox::Ok : QMessageBox::Cancel)->click();
  });
  answer.start();
  Close(c.path);
  answer.stop();

  ASSERT_EQ(questions.size(), 1);
  EXPECT_EQ(Dialog().isVisible(), !c.ok);
  EXPECT_EQ(window_->Controller().cancelRequested.load(), c.cancels);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, DialogCloseTest,
    testing::Values(CloseCase{"EscAnsweredOk", ClosePath::Esc, true, true},
                    CloseCase{"EscAnsweredCancel", ClosePath::Esc, false, false},
                    CloseCase{"CloseButtonAnsweredOk", ClosePath::CloseButton, true, true},
                    CloseCase{"CloseButtonAnsweredCancel", ClosePath::CloseButton, false, false},
                    CloseCase{"TitleBarAnsweredOk", ClosePath::TitleBar, true, false},
                    CloseCase{"TitleBarAnsweredCancel", ClosePath::TitleBar, false, false}),
    [](const testing::TestParamInfo<CloseCase>& info) { return std::string(info.param.name); });

}  // namespace
