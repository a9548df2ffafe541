#include "ui/package_path_field.h"

#include <QEvent>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStringList>
#include <QToolButton>

QString NameFilterFrom(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QString patterns = parts[i + 1];
    patterns.replace(';', ' ');
    filters << parts[i] + " (" + patterns + ")";
  }
  return filters.join(";;");
}

PackagePathField::PackagePathField(QWidget* parent) : QWidget(parent) {
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(2);
  edit_ = new QLineEdit(this);
  edit_->setReadOnly(true);
  edit_->installEventFilter(this);
  browse_ = new QToolButton(this);
  browse_->setText("...");
  browse_->setToolTip("Browse for a package");
  layout->addWidget(edit_, 1);
  layout->addWidget(browse_);
  setFocusProxy(edit_);
  connect(browse_, &QToolButton::clicked, this, [this] { Browse(); });
}

QString PackagePathField::Path() const { return edit_->text(); }

void PackagePathField::SetPath(const QString& path) { edit_->setText(path); }

void PackagePathField::SetBrowseDialog(const QString& defaultExtension, const QString& filter) {
  defaultExtension_ = defaultExtension;
  nameFilter_ = NameFilterFrom(filter);
}

bool PackagePathField::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::FocusIn && onFocus) onFocus();
  return QWidget::eventFilter(watched, event);
}

void PackagePathField::Browse() {
  // The browse button belongs to the field: using it focuses the field.
  if (edit_->hasFocus()) {
    if (onFocus) onFocus();
  } else {
    edit_->setFocus(Qt::OtherFocusReason);
  }
  QFileDialog dialog(window(), "Open", QString(), nameFilter_);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setDefaultSuffix(defaultExtension_);
  if (!Path().isEmpty()) dialog.selectFile(Path());
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    SetPath(dialog.selectedFiles().first());
}
