#include "ui/about_dialog.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/program_icon.h"
#include "ui/release_info.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Tavrin Operator");
  setModal(true);
  auto* layout = new QGridLayout(this);
  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  layout->addWidget(new QLabel(QString("Version: ") + kReleaseVersion, this), 0, 1);
  layout->addWidget(new QLabel(kReleaseLine1, this), 1, 1);
  layout->addWidget(new QLabel(kReleaseLine2, this), 2, 1);
  auto* ok = new QPushButton("OK", this);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, 2, Qt::AlignTop);
  // 171 by 73 dialog units: a quarter of the average character width and
  // an eighth of the character height each; grown if the text needs it.
  const QFontMetrics metrics(font());
  const QSize units(171 * metrics.averageCharWidth() / 4, 73 * metrics.height() / 8);
  setFixedSize(units.expandedTo(layout->sizeHint()));
}
