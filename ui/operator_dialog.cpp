#include "ui/operator_dialog.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "core/operator_view.h"
#include "ui/about_dialog.h"
#include "ui/ip_address_edit.h"
#include "ui/operator_presenter.h"
#include "ui/package_path_field.h"
#include "ui/program_icon.h"

// Gives every log line the same height and the list the width of its
// widest line, so that it scrolls sideways to show long lines.
class LogItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return QSize(qMax(size.width(), extent), height > 0 ? height : size.height());
  }
  int height = 0;
  int extent = 0;
};

namespace {

constexpr const char* kAboutItem = "&About Tavrin Operator...";
constexpr int kLogTextPadding = 8;  // the item's margins on both sides

QString Wide(const std::string& text) { return QString::fromUtf8(text.c_str(), int(text.size())); }

QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);  // instrument texts are never markup
  return label;
}

}  // namespace

OperatorDialog::OperatorDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Tavrin Operator");
  setWindowIcon(ProgramIcon());
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(BuildConnectionFrame());
  layout->addWidget(BuildHostNameFrame());
  auto* information = new QHBoxLayout;
  information->addWidget(BuildInstrumentFrame(), 1);
  information->addWidget(BuildLauncherFrame());
  layout->addLayout(information);
  layout->addWidget(BuildUpgradeFrame());
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(AddButton(IdcClose, "Close"));
  layout->addLayout(bottom);
  layout->setSizeConstraint(QLayout::SetFixedSize);  // a fixed-size dialog

  QPushButton* connectButton = static_cast<QPushButton*>(controls_[IdcConnect]);
  connectButton->setDefault(true);
  connect(static_cast<QPushButton*>(controls_[IdcClose]), &QPushButton::clicked, this,
          [this] { CloseCommand(); });
  // The window menu of the desktop is not ours to extend: the About item
  // sits in the window's context menu and on F1.
  auto* about = new QShortcut(QKeySequence::HelpContents, this);
  connect(about, &QShortcut::activated, this, [this] { ShowAbout(); });
}

OperatorDialog::~OperatorDialog() = default;

QPushButton* OperatorDialog::AddButton(int id, const char* caption) {
  auto* button = new QPushButton(caption, this);
  controls_[id] = button;
  return button;
}

QLabel* OperatorDialog::AddValue(int id) {
  QLabel* value = PlainLabel(QString(), this);
  value->setMinimumWidth(fontMetrics().horizontalAdvance("TVS-0000-00000000000"));
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  controls_[id] = value;
  return value;
}

void OperatorDialog::Forward(void (OperatorPresenter::*command)()) {
  if (presenter_) (presenter_->*command)();
}

QWidget* OperatorDialog::BuildConnectionFrame() {
  auto* frame = new QGroupBox("Connection Information:", this);
  auto* grid = new QGridLayout(frame);
  // Two independent radio buttons, as the presenter sets both on a click.
  ipMode_ = new QRadioButton(frame);
  ipMode_->setAutoExclusive(false);
  ipMode_->setAccessibleName("IP");
  discoveryMode_ = new QRadioButton(frame);
  discoveryMode_->setAutoExclusive(false);
  discoveryMode_->setAccessibleName("Discovery");
  controls_[IdcIpMode] = ipMode_;
  controls_[IdcDiscoveryMode] = discoveryMode_;
  address_ = new IpAddressEdit(frame);
  controls_[IdcAddress] = address_;
  instruments_ = new QComboBox(frame);
  instruments_->setEditable(false);
  instruments_->setMinimumContentsLength(32);
  instruments_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  controls_[IdcInstrumentList] = instruments_;
  QPushButton* discovery = AddButton(IdcDiscovery, "Discovery");
  QPushButton* connectButton = AddButton(IdcConnect, "Connect");

  grid->addWidget(ipMode_, 0, 0);
  grid->addWidget(PlainLabel("IP:", frame), 0, 1);
  grid->addWidget(address_, 0, 2, Qt::AlignLeft);
  grid->addWidget(discoveryMode_, 1, 0);
  grid->addWidget(discovery, 1, 1);
  grid->addWidget(instruments_, 1, 2);
  grid->addWidget(connectButton, 1, 3);
  grid->setColumnStretch(2, 1);

  connect(ipMode_, &QRadioButton::clicked, this, [this] { Forward(&OperatorPresenter::OnIpMode); });
  connect(discoveryMode_, &QRadioButton::clicked, this,
          [this] { Forward(&OperatorPresenter::OnDiscoveryMode); });
  connect(discovery, &QPushButton::clicked, this,
          [this] { Forward(&OperatorPresenter::OnDiscovery); });
  connect(connectButton, &QPushButton::clicked, this,
          [this] { Forward(&OperatorPresenter::OnConnect); });
  address_->onNumberEdited = [this] { Forward(&OperatorPresenter::OnChoiceChanged); };
  // Only the operator's choice counts, not the list being refilled.
  connect(instruments_, QOverload<int>::of(&QComboBox::activated), this,
          [this](int) { Forward(&OperatorPresenter::OnChoiceChanged); });
  return frame;
}

QWidget* OperatorDialog::BuildHostNameFrame() {
  auto* frame = new QGroupBox("Hostname", this);
  auto* row = new QHBoxLayout(frame);
  auto* hostName = new QLineEdit(frame);
  controls_[IdcHostName] = hostName;
  QPushButton* apply = AddButton(IdcApply, "Apply");
  row->addWidget(hostName, 1);
  row->addWidget(apply);
  connect(apply, &QPushButton::clicked, this, [this] { Forward(&OperatorPresenter::OnApply); });
  return frame;
}

QWidget* OperatorDialog::BuildInstrumentFrame() {
  auto* frame = new QGroupBox("Instrument Information:", this);
  auto* form = new QFormLayout(frame);
  const std::pair<const char*, int> rows[] = {
      {"Model Number:", IdcModelNumber},   {"Serial Number:", IdcSerialNumber},
      {"Installed Package:", IdcPackageVersion}, {"Tavrin Driver:", IdcDriverVersion},
      {"Tavrin SCPI:", IdcScpiVersion},    {"Tavrin UI:", IdcUiVersion},
  };
  for (const auto& row : rows) form->addRow(PlainLabel(row.first, frame), AddValue(row.second));
  return frame;
}

QWidget* OperatorDialog::BuildLauncherFrame() {
  auto* frame = new QGroupBox(this);
  auto* column = new QVBoxLayout(frame);
  QPushButton* console = AddButton(IdcConsole, "Open SCPI Command Console");
  QPushButton* webUi = AddButton(IdcWebUi, "Open TavrinUI");
  column->addStretch(1);
  column->addWidget(console);
  column->addWidget(webUi);
  column->addStretch(1);
  connect(console, &QPushButton::clicked, this, [this] { Forward(&OperatorPresenter::OnConsole); });
  connect(webUi, &QPushButton::clicked, this, [this] { Forward(&OperatorPresenter::OnWebUi); });
  return frame;
}

QWidget* OperatorDialog::BuildUpgradeFrame() {
  auto* frame = new QGroupBox("Upgrade Information:", this);
  auto* column = new QVBoxLayout(frame);
  auto* packageRow = new QHBoxLayout;
  package_ = new PackagePathField(frame);
  controls_[IdcPackagePath] = package_;
  packageRow->addWidget(PlainLabel("Package:", frame));
  packageRow->addWidget(package_, 1);
  column->addLayout(packageRow);

  auto* buttons = new QHBoxLayout;
  QPushButton* upgrade = AddButton(IdcUpgrade, "Upgrade");
  QPushButton* restore = AddButton(IdcRestore, "Restore");
  QPushButton* cancel = AddButton(IdcCancel, "Cancel");
  buttons->addWidget(upgrade);
  buttons->addWidget(restore);
  buttons->addWidget(cancel);
  buttons->addStretch(1);
  column->addLayout(buttons);

  QLabel* status = PlainLabel(QString(), frame);
  controls_[IdcStatus] = status;
  column->addWidget(status);
  progress_ = new QProgressBar(frame);
  progress_->setTextVisible(false);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  controls_[IdcProgress] = progress_;
  column->addWidget(progress_);

  log_ = new QListWidget(frame);
  log_->setSelectionMode(QAbstractItemView::NoSelection);
  log_->setFocusPolicy(Qt::NoFocus);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  log_->setUniformItemSizes(true);
  log_->setSortingEnabled(false);
  logDelegate_ = new LogItemDelegate(log_);
  log_->setItemDelegate(logDelegate_);
  log_->setMinimumSize(560, 200);
  controls_[IdcLogList] = log_;
  column->addWidget(log_);

  package_->onFocus = [this] { Forward(&OperatorPresenter::OnPackageFieldFocus); };
  connect(upgrade, &QPushButton::clicked, this, [this] { Forward(&OperatorPresenter::OnUpgrade); });
  connect(restore, &QPushButton::clicked, this, [this] { Forward(&OperatorPresenter::OnRestore); });
  connect(cancel, &QPushButton::clicked, this, [this] { Forward(&OperatorPresenter::OnCancel); });
  return frame;
}

QWidget* OperatorDialog::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

void OperatorDialog::BringToFront() {
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void OperatorDialog::CloseCommand() {
  if (presenter_ && !presenter_->OnCloseCommand()) return;
  closing_ = true;
  done(QDialog::Rejected);
}

void OperatorDialog::reject() { CloseCommand(); }

void OperatorDialog::closeEvent(QCloseEvent* event) {
  if (closing_ || (presenter_ && !presenter_->OnSystemClose())) {
    event->setAccepted(closing_);
    return;
  }
  closing_ = true;
  event->accept();
  done(QDialog::Rejected);
}

void OperatorDialog::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  menu.addAction(kAboutItem, this, [this] { ShowAbout(); });
  menu.exec(event->globalPos());
}

void OperatorDialog::SetText(int id, const std::string& text) {
  QWidget* control = Control(id);
  if (auto* label = qobject_cast<QLabel*>(control))
    label->setText(Wide(text));
  else if (auto* edit = qobject_cast<QLineEdit*>(control))
    edit->setText(Wide(text));
  else if (auto* button = qobject_cast<QAbstractButton*>(control))
    button->setText(Wide(text));
  else if (control == package_)
    package_->SetPath(Wide(text));
}

std::string OperatorDialog::GetText(int id) {
  QWidget* control = Control(id);
  QString text;
  if (auto* label = qobject_cast<QLabel*>(control))
    text = label->text();
  else if (auto* edit = qobject_cast<QLineEdit*>(control))
    text = edit->text();
  else if (auto* button = qobject_cast<QAbstractButton*>(control))
    text = button->text();
  else if (control == package_)
    text = package_->Path();
  return text.toStdString();
}

void OperatorDialog::Enable(int id, bool enabled) {
  // Cancel and Close stay usable whatever the window does.
  if (id == IdcCancel || id == IdcClose) return;
  if (QWidget* control = Control(id)) control->setEnabled(enabled);
}

void OperatorDialog::SetCheck(int id, bool checked) {
  if (auto* radio = qobject_cast<QRadioButton*>(Control(id))) radio->setChecked(checked);
}

bool OperatorDialog::GetCheck(int id) {
  auto* radio = qobject_cast<QRadioButton*>(Control(id));
  return radio != nullptr && radio->isChecked();
}

void OperatorDialog::GetAddress(unsigned char parts[4]) { address_->GetAddress(parts); }

void OperatorDialog::SetAddress(const unsigned char parts[4]) { address_->SetAddress(parts); }

void OperatorDialog::ListReset() {
  instruments_->clear();
  instruments_->setCurrentIndex(-1);
}

void OperatorDialog::ListAppend(const std::string& entry) {
  // A combo box selects its first entry by itself; the window decides.
  const int selected = instruments_->currentIndex();
  instruments_->addItem(Wide(entry));
  instruments_->setCurrentIndex(selected);
}

int OperatorDialog::ListCount() { return instruments_->count(); }

int OperatorDialog::ListSelected() { return instruments_->currentIndex(); }

void OperatorDialog::ListSelect(int index) { instruments_->setCurrentIndex(index); }

void OperatorDialog::LogAppend(const std::string& line) {
  auto* item = new QListWidgetItem(Wide(line), log_);
  log_->scrollToItem(item, QAbstractItemView::PositionAtTop);
}

void OperatorDialog::SetProgress(int percent) { progress_->setValue(percent); }

bool OperatorDialog::MessageBox(const std::string& text, bool okCancel) {
  QMessageBox box(QMessageBox::NoIcon, "Information:", Wide(text),
                  okCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok, this);
  box.setTextFormat(Qt::PlainText);
  return box.exec() == QMessageBox::Ok;
}

void OperatorDialog::SetLogItemHeight(int pixels) {
  logDelegate_->height = pixels;
  log_->doItemsLayout();
}

int OperatorDialog::MeasureLogLine(const std::string& line) {
  return log_->fontMetrics().horizontalAdvance(Wide(line));
}

void OperatorDialog::SetLogExtent(int pixels) {
  logDelegate_->extent = pixels + kLogTextPadding;
  log_->doItemsLayout();
}

void OperatorDialog::RepaintLog() { log_->viewport()->repaint(); }

void OperatorDialog::SetProgressRange(int low, int high) { progress_->setRange(low, high); }

void OperatorDialog::SetBrowseDialog(const std::string& defaultExtension,
                                     const std::string& filter) {
  package_->SetBrowseDialog(Wide(defaultExtension), Wide(filter));
}

void OperatorDialog::ShowAbout() {
  CAboutDlg about(this);
  about.exec();
}
