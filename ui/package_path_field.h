#pragma once
// A read-only path field with a browse button; the path is chosen only
// through the browse dialog.
#include <QString>
#include <QWidget>
#include <functional>

class QLineEdit;
class QToolButton;

class PackagePathField : public QWidget {
 public:
  explicit PackagePathField(QWidget* parent = nullptr);

  QString Path() const;
  void SetPath(const QString& path);
  // "description|pattern|...|" pairs, as the presenter words them.
  void SetBrowseDialog(const QString& defaultExtension, const QString& filter);
  QString DefaultExtension() const { return defaultExtension_; }
  QString NameFilter() const { return nameFilter_; }
  QToolButton* BrowseButton() const { return browse_; }
  QLineEdit* Edit() const { return edit_; }

  // Called when the field receives the focus, before the dialog opens.
  std::function<void()> onFocus;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Browse();
  QLineEdit* edit_;
  QToolButton* browse_;
  QString defaultExtension_;
  QString nameFilter_;
};

// "kfw files|*.kfw||" as a file dialog's name filter: "kfw files (*.kfw)".
QString NameFilterFrom(const QString& filter);
