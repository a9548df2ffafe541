#pragma once
// One QApplication for the process on the offscreen platform, and a catcher
// that answers the window's modal message boxes as an operator would.
#include <QString>
#include <QStringList>
#include <QTimer>

class QApplication;

QApplication& OffscreenApplication();

class MessageBoxCatcher {
 public:
  MessageBoxCatcher();
  ~MessageBoxCatcher();
  QStringList texts;  // in the order they were shown

 private:
  QTimer timer_;
};
