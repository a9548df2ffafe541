#pragma once
// The About box: icon, version and two lines of release text.
#include <QDialog>

class CAboutDlg : public QDialog {
 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};
