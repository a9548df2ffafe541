#include "tests/ui/qt_application_support.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

QApplication& OffscreenApplication() {
  static int argc = 1;
  static char name[] = "ui_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* application = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *application;
}

MessageBoxCatcher::MessageBoxCatcher() {
  timer_.setInterval(10);
  QObject::connect(&timer_, &QTimer::timeout, [this] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    texts << box->windowTitle() + "|" + box->text();
    box->button(QMessageBox::Ok)->click();
  });
  timer_.start();
}

MessageBoxCatcher::~MessageBoxCatcher() { timer_.stop(); }
