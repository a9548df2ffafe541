#include "ui/demo/demo_driver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

#include "core/operator_view.h"
#include "ui/operator_window.h"

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

bool ParseAddress(const std::string& text, unsigned char parts[4]) {
  unsigned a, b, c, d;
  char tail;
  if (std::sscanf(text.c_str(), "%u.%u.%u.%u%c", &a, &b, &c, &d, &tail) != 4) return false;
  if (a > 255 || b > 255 || c > 255 || d > 255) return false;
  parts[0] = a, parts[1] = b, parts[2] = c, parts[3] = d;
  return true;
}

// What a desktop with a dark colour scheme hands every program.
QPalette DarkPalette() {
  QPalette palette;
  const QColor window(0x35, 0x35, 0x35), base(0x23, 0x23, 0x23), text(0xe6, 0xe6, 0xe6);
  palette.setColor(QPalette::Window, window);
  palette.setColor(QPalette::WindowText, text);
  palette.setColor(QPalette::Base, base);
  palette.setColor(QPalette::AlternateBase, window);
  palette.setColor(QPalette::ToolTipBase, base);
  palette.setColor(QPalette::ToolTipText, text);
  palette.setColor(QPalette::Text, text);
  palette.setColor(QPalette::Button, window);
  palette.setColor(QPalette::ButtonText, text);
  palette.setColor(QPalette::BrightText, Qt::red);
  palette.setColor(QPalette::Light, QColor(0x50, 0x50, 0x50));
  palette.setColor(QPalette::Midlight, QColor(0x45, 0x45, 0x45));
  palette.setColor(QPalette::Mid, QColor(0x2a, 0x2a, 0x2a));
  palette.setColor(QPalette::Dark, QColor(0x1e, 0x1e, 0x1e));
  palette.setColor(QPalette::Shadow, Qt::black);
  palette.setColor(QPalette::Link, QColor(0x5a, 0xa0, 0xf0));
  palette.setColor(QPalette::Highlight, QColor(0x3d, 0x7a, 0xd6));
  palette.setColor(QPalette::HighlightedText, Qt::white);
  palette.setColor(QPalette::PlaceholderText, QColor(0x90, 0x90, 0x90));
  for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
    palette.setColor(QPalette::Disabled, role, QColor(0x80, 0x80, 0x80));
  return palette;
}

class DemoDriver {
 public:
  explicit DemoDriver(CInstrumentUpdaterDlg& window) : window_(window), dialog_(window.Dialog()) {}

  void Start() {
    if (Env("TAVRINOPERATOR_DEMO_PALETTE") == "dark") QApplication::setPalette(DarkPalette());
    if (Env("TAVRINOPERATOR_DEMO_FIT") == "1") FitToDesk();
    QTimer::singleShot(300, &dialog_, [this] { Connect(); });
  }

 private:
  void FitToDesk() {
    const int kPanel = 32, kTitleBar = 30;
    const QRect screen = dialog_.screen()->geometry();
    dialog_.resize(dialog_.sizeHint().width(), screen.height() - kPanel - kTitleBar);
    dialog_.move(screen.left(), screen.top());
  }

  void Say(const char* step) {
    std::printf("demo: %s: %s\n", step, dialog_.GetText(IdcStatus).c_str());
    std::fflush(stdout);
  }

  // Presses a button as the operator would and waits until the operation
  // it started has ended (the button is enabled again).
  void Press(int id, std::function<void()> then) {
    auto* button = static_cast<QAbstractButton*>(dialog_.Control(id));
    button->click();
    WaitUntilIdle(button, std::move(then), 0);
  }

  void WaitUntilIdle(QAbstractButton* button, std::function<void()> then, int waitedMs) {
    const int kStepMs = 200;
    if ((button->isEnabled() && !window_.Controller().operationBusy) || waitedMs > 15 * 60000) {
      QTimer::singleShot(300, &dialog_, then);  // let the last notices paint
      return;
    }
    QTimer::singleShot(kStepMs, &dialog_, [this, button, then, waitedMs] {
      WaitUntilIdle(button, then, waitedMs + kStepMs);
    });
  }

  void Connect() {
    unsigned char parts[4];
    if (!ParseAddress(Env("TAVRINOPERATOR_DEMO_CONNECT"), parts)) return Upgrade();
    dialog_.SetAddress(parts);
    window_.Presenter().OnChoiceChanged();
    Press(IdcConnect, [this] {
      Say("connect");
      Screenshot();
      Upgrade();
    });
  }

  void Screenshot() {
    const std::string file = Env("TAVRINOPERATOR_DEMO_SCREENSHOT");
    if (file.empty()) return;
    bool saved = dialog_.grab().save(QString::fromStdString(file), "PNG");
    std::printf("demo: screenshot %s %s\n", saved ? "saved to" : "could not be saved to",
                file.c_str());
    std::fflush(stdout);
  }

  void Upgrade() {
    const std::string package = Env("TAVRINOPERATOR_DEMO_UPGRADE");
    if (package.empty()) return Restore();
    dialog_.SetText(IdcPackagePath, package);
    Press(IdcUpgrade, [this] {
      Say("upgrade");
      Restore();
    });
  }

  void Restore() {
    if (Env("TAVRINOPERATOR_DEMO_RESTORE") != "1") return Finish();
    Press(IdcRestore, [this] {
      Say("restore");
      Finish();
    });
  }

  void Finish() {
    if (Env("TAVRINOPERATOR_DEMO_EXIT") == "1") dialog_.done(0);
  }

  CInstrumentUpdaterDlg& window_;
  OperatorDialog& dialog_;
};

}  // namespace

bool StartDemoDriver(CInstrumentUpdaterDlg& window) {
  bool asked = false;
  for (const char* name : {"TAVRINOPERATOR_DEMO_CONNECT", "TAVRINOPERATOR_DEMO_UPGRADE",
                           "TAVRINOPERATOR_DEMO_RESTORE"})
    asked = asked || !Env(name).empty();
  if (!asked) return false;
  auto* driver = new DemoDriver(window);
  QObject::connect(&window.Dialog(), &QObject::destroyed, [driver] { delete driver; });
  driver->Start();
  return true;
}
