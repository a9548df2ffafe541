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
#include <QKeyEvent>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QShowEvent>
#include <QToolButton>
#include <QStyledItemDelegate>
#include <QVBoxLayout>

#include "core/operator_view.h"
#include "ui/about_dialog.h"
#include "ui/ip_address_edit.h"
#include "ui/operator_presenter.h"
#include "ui/package_path_field.h"
#include "ui/program_icon.h"

// Gives every log line the same height and the list the width of its
// widest line, so that it scrolls sideways to show long lines. A font too
// tall for the set height makes the rows taller rather than clipped.
class LogItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return QSize(qMax(size.width(), extent), qMax(height, size.height()));
  }
  int height = 0;
  int extent = 0;
};

// The log list scrolls with the keys; it has no current line to move, as
// nothing in it can be selected.
class LogList : public QListWidget {
 public:
  using QListWidget::QListWidget;

  // Room for `rows` lines of `rowHeight` with the frame and the sideways
  // scroll bar that long lines bring.
  int HeightFor(int rows, int rowHeight) const {
    return rows * rowHeight + 2 * frameWidth() + horizontalScrollBar()->sizeHint().height();
  }
  // The window opens with the log list as tall as it was at a fixed size.
  QSize sizeHint() const override { return QSize(560, HeightFor(kLogPreferredRows, 20)); }
  static constexpr int kLogPreferredRows = 10;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    const std::pair<int, std::pair<QScrollBar*, QAbstractSlider::SliderAction>> keys[] = {
        {Qt::Key_Up, {verticalScrollBar(), QAbstractSlider::SliderSingleStepSub}},
        {Qt::Key_Down, {verticalScrollBar(), QAbstractSlider::SliderSingleStepAdd}},
        {Qt::Key_PageUp, {verticalScrollBar(), QAbstractSlider::SliderPageStepSub}},
        {Qt::Key_PageDown, {verticalScrollBar(), QAbstractSlider::SliderPageStepAdd}},
        {Qt::Key_Home, {verticalScrollBar(), QAbstractSlider::SliderToMinimum}},
        {Qt::Key_End, {verticalScrollBar(), QAbstractSlider::SliderToMaximum}},
        {Qt::Key_Left, {horizontalScrollBar(), QAbstractSlider::SliderSingleStepSub}},
        {Qt::Key_Right, {horizontalScrollBar(), QAbstractSlider::SliderSingleStepAdd}},
    };
    for (const auto& [key, action] : keys) {
      if (event->key() == key && event->modifiers() == Qt::NoModifier) {
        action.first->triggerAction(action.second);
        return;
      }
    }
    QListWidget::keyPressEvent(event);
  }
};

namespace {

constexpr const char* kAboutItem = "&About Tavrin Operator...";
constexpr int kLogTextPadding = 8;  // the item's margins on both sides
// Rows of the log list that stay visible however small the window gets.
constexpr int kLogMinimumRows = 3;

// The buttons' captions with their mnemonics; the captions themselves are
// those of the window, the '&' only marks the key.
const std::pair<int, const char*> kCaptions[] = {
    {IdcDiscovery, "&Discovery"}, {IdcConnect, "C&onnect"}, {IdcApply, "&Apply"},
    {IdcConsole, "Open &SCPI Command Console"}, {IdcWebUi, "Open &TavrinUI"},
    {IdcUpgrade, "&Upgrade"}, {IdcRestore, "&Restore"}, {IdcCancel, "Ca&ncel"},
    {IdcClose, "&Close"},
};

const char* CaptionOf(int id) {
  for (const auto& caption : kCaptions)
    if (caption.first == id) return caption.second;
  return "";
}

// Frames a little tighter than the style's default, so that the whole
// window fits the desk of a small or scaled screen.
template <typename Layout>
Layout* TightLayout(QWidget* frame) {
  auto* layout = new Layout(frame);
  layout->setContentsMargins(8, 4, 8, 6);
  layout->setSpacing(4);
  return layout;
}

void Describe(QWidget* widget, const char* name, const char* description) {
  widget->setAccessibleName(name);
  widget->setAccessibleDescription(description);
}

QString Wide(const std::string& text) { return QString::fromUtf8(text.c_str(), int(text.size())); }

QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);  // instrument texts are never markup
  return label;
}

// A label whose marked key reaches `buddy` (a button is clicked).
QLabel* MnemonicLabel(const QString& text, QWidget* buddy, QWidget* parent) {
  QLabel* label = PlainLabel(text, parent);
  label->setBuddy(buddy);
  return label;
}

}  // namespace

OperatorDialog::OperatorDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle("Tavrin Operator");
  setWindowIcon(ProgramIcon());
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinMaxButtonsHint |
                 Qt::WindowCloseButtonHint);
  setToolTip("F1 or the context menu (right click) shows About Tavrin Operator");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->setSpacing(6);
  layout->addWidget(BuildConnectionFrame());
  layout->addWidget(BuildHostNameFrame());
  auto* information = new QHBoxLayout;
  information->addWidget(BuildInstrumentFrame(), 1);
  information->addWidget(BuildLauncherFrame());
  layout->addLayout(information);
  // The log list takes whatever room the operator gives the window.
  layout->addWidget(BuildUpgradeFrame(), 1);
  auto* bottom = new QHBoxLayout;
  bottom->addStretch(1);
  bottom->addWidget(AddButton(IdcClose));
  layout->addLayout(bottom);
  setSizeGripEnabled(true);

  QPushButton* connectButton = static_cast<QPushButton*>(controls_[IdcConnect]);
  connectButton->setDefault(true);
  connect(static_cast<QPushButton*>(controls_[IdcClose]), &QPushButton::clicked, this,
          [this] { CloseCommand(); });
  // The window menu of the desktop is not ours to extend: the About item
  // sits in the window's context menu and on F1.
  auto* about = new QShortcut(QKeySequence::HelpContents, this);
  connect(about, &QShortcut::activated, this, [this] { ShowAbout(); });
  SetTabOrder();
}

void OperatorDialog::SetTabOrder() {
  // Frame by frame, top to bottom, and left to right inside each.
  QWidget* const order[] = {
      ipMode_, address_->Number(0), discoveryMode_, Control(IdcDiscovery), instruments_,
      Control(IdcConnect), Control(IdcHostName), Control(IdcApply), Control(IdcConsole),
      Control(IdcWebUi), package_->Edit(), package_->BrowseButton(), Control(IdcUpgrade),
      Control(IdcRestore), Control(IdcCancel), log_, Control(IdcClose)};
  for (std::size_t i = 1; i < std::size(order); ++i) setTabOrder(order[i - 1], order[i]);
  setTabOrder(order[std::size(order) - 1], order[0]);  // and round again
}

void OperatorDialog::showEvent(QShowEvent* event) {
  // The size the window asks for, where the desk it opens on has room for
  // it (the toolkit alone would stop at two thirds of the screen).
  if (!shown_ && screen() != nullptr) {
    shown_ = true;
    const QSize desk = screen()->availableGeometry().size() - QSize(0, kTitleBarAllowance);
    resize(sizeHint().boundedTo(desk).expandedTo(minimumSizeHint()));
  }
  QDialog::showEvent(event);
}

OperatorDialog::~OperatorDialog() = default;

QPushButton* OperatorDialog::AddButton(int id) {
  auto* button = new QPushButton(CaptionOf(id), this);
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
  auto* grid = TightLayout<QGridLayout>(frame);
  // Two independent radio buttons, as the presenter sets both on a click.
  ipMode_ = new QRadioButton(frame);
  ipMode_->setAutoExclusive(false);
  Describe(ipMode_, "IP", "Type the instrument's address in");
  ipMode_->setToolTip("IP mode (Alt+I)");
  discoveryMode_ = new QRadioButton(frame);
  discoveryMode_->setAutoExclusive(false);
  Describe(discoveryMode_, "Discovery", "Choose the instrument from the discovery list");
  discoveryMode_->setToolTip("Discovery mode (Alt+Y)");
  // The radio button has no caption to mark: its key is a shortcut of its
  // own, which a disabled button does not take.
  auto* discoveryKey = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Y), discoveryMode_);
  connect(discoveryKey, &QShortcut::activated, this, [this] {
    discoveryMode_->setFocus(Qt::ShortcutFocusReason);
    discoveryMode_->click();
  });
  controls_[IdcIpMode] = ipMode_;
  controls_[IdcDiscoveryMode] = discoveryMode_;
  address_ = new IpAddressEdit(frame);
  controls_[IdcAddress] = address_;
  instruments_ = new QComboBox(frame);
  instruments_->setEditable(false);
  instruments_->setMinimumContentsLength(32);
  instruments_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  Describe(instruments_, "Discovered instruments",
           "The instruments Discovery found, each as its address and identification");
  controls_[IdcInstrumentList] = instruments_;
  QPushButton* discovery = AddButton(IdcDiscovery);
  QPushButton* connectButton = AddButton(IdcConnect);
  // The label's key chooses IP mode, as a click on its radio button does.
  QLabel* ipLabel = MnemonicLabel("&IP:", ipMode_, frame);

  grid->addWidget(ipMode_, 0, 0);
  grid->addWidget(ipLabel, 0, 1);
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
  auto* frame = new QGroupBox("&Hostname", this);
  auto* row = TightLayout<QHBoxLayout>(frame);
  auto* hostName = new QLineEdit(frame);
  Describe(hostName, "Hostname",
           "The hostname Apply gives the instrument; a connect shows the instrument's own");
  controls_[IdcHostName] = hostName;
  QPushButton* apply = AddButton(IdcApply);
  row->addWidget(hostName, 1);
  row->addWidget(apply);
  connect(apply, &QPushButton::clicked, this, [this] { Forward(&OperatorPresenter::OnApply); });
  return frame;
}

QWidget* OperatorDialog::BuildInstrumentFrame() {
  auto* frame = new QGroupBox("Instrument Information:", this);
  auto* form = TightLayout<QFormLayout>(frame);
  form->setVerticalSpacing(2);
  const std::pair<const char*, int> rows[] = {
      {"Model Number:", IdcModelNumber},   {"Serial Number:", IdcSerialNumber},
      {"Installed Package:", IdcPackageVersion}, {"Tavrin Driver:", IdcDriverVersion},
      {"Tavrin SCPI:", IdcScpiVersion},    {"Tavrin UI:", IdcUiVersion},
  };
  for (const auto& row : rows) {
    QLabel* value = AddValue(row.second);
    // A screen reader names the value by its row.
    value->setAccessibleName(QString(row.first).chopped(1));
    form->addRow(PlainLabel(row.first, frame), value);
  }
  return frame;
}

QWidget* OperatorDialog::BuildLauncherFrame() {
  auto* frame = new QGroupBox(this);
  auto* column = TightLayout<QVBoxLayout>(frame);
  QPushButton* console = AddButton(IdcConsole);
  QPushButton* webUi = AddButton(IdcWebUi);
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
  auto* column = TightLayout<QVBoxLayout>(frame);
  auto* packageRow = new QHBoxLayout;
  package_ = new PackagePathField(frame);
  controls_[IdcPackagePath] = package_;
  Describe(package_->Edit(), "Package",
           "The package file to upgrade from, chosen with the browse button");
  Describe(package_->BrowseButton(), "Browse for a package",
           "Opens a file dialog to choose the package file");
  // The label's key opens the browse dialog: the path is chosen only there.
  packageRow->addWidget(MnemonicLabel("&Package:", package_->BrowseButton(), frame));
  packageRow->addWidget(package_, 1);
  column->addLayout(packageRow);

  auto* buttons = new QHBoxLayout;
  QPushButton* upgrade = AddButton(IdcUpgrade);
  QPushButton* restore = AddButton(IdcRestore);
  QPushButton* cancel = AddButton(IdcCancel);
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
  Describe(progress_, "Progress", "How far the running operation has come");
  controls_[IdcProgress] = progress_;
  column->addWidget(progress_);

  log_ = new LogList(frame);
  log_->setSelectionMode(QAbstractItemView::NoSelection);
  // Focusable, so that the keys scroll it.
  log_->setFocusPolicy(Qt::StrongFocus);
  Describe(log_, "Log", "The help text, then every operation's log lines");
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  log_->setUniformItemSizes(true);
  log_->setSortingEnabled(false);
  logDelegate_ = new LogItemDelegate(log_);
  log_->setItemDelegate(logDelegate_);
  controls_[IdcLogList] = log_;
  column->addWidget(log_, 1);

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

bool OperatorDialog::Ask(bool (OperatorPresenter::*question)()) {
  // One close question at a time: a further close while it is open is
  // not another question.
  if (asking_) return false;
  asking_ = true;
  const bool yes = presenter_ == nullptr || (presenter_->*question)();
  asking_ = false;
  return yes;
}

void OperatorDialog::CloseCommand() {
  if (closing_ || !Ask(&OperatorPresenter::OnCloseCommand)) return;
  closing_ = true;
  done(QDialog::Rejected);
}

void OperatorDialog::reject() { CloseCommand(); }

void OperatorDialog::closeEvent(QCloseEvent* event) {
  if (closing_ || !Ask(&OperatorPresenter::OnSystemClose)) {
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
    text = QString(button->text()).remove('&');  // the mnemonic's mark
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
  log_->setMinimumHeight(
      log_->HeightFor(kLogMinimumRows, qMax(pixels, log_->fontMetrics().height())));
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
