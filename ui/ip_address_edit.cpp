#include "ui/ip_address_edit.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>

IpAddressEdit::IpAddressEdit(QWidget* parent) : QFrame(parent) {
  setFrameShape(QFrame::StyledPanel);
  setFrameShadow(QFrame::Sunken);
  setAutoFillBackground(true);
  setBackgroundRole(QPalette::Base);
  auto* layout = new QHBoxLayout(this);
  layout->setContentsMargins(2, 1, 2, 1);
  layout->setSpacing(0);
  auto* validator = new QRegularExpressionValidator(
      QRegularExpression("(25[0-5]|2[0-4][0-9]|1[0-9][0-9]|[1-9]?[0-9])?"), this);
  const int width = fontMetrics().horizontalAdvance("0000");
  const char* const names[4] = {"IP address, first number", "IP address, second number",
                                "IP address, third number", "IP address, fourth number"};
  for (int i = 0; i < 4; ++i) {
    if (i > 0) layout->addWidget(new QLabel(".", this));
    QLineEdit* number = new QLineEdit(this);
    number->setFrame(false);
    number->setAlignment(Qt::AlignCenter);
    number->setMaxLength(3);
    number->setValidator(validator);
    number->setFixedWidth(width);
    number->installEventFilter(this);
    number->setAccessibleName(names[i]);
    number->setAccessibleDescription(
        "A number from 0 to 255; the arrow keys, '.' and Backspace move between the numbers");
    // The field is one stop of the Tab key, as one address; the arrow keys
    // move inside it.
    if (i > 0) number->setFocusPolicy(Qt::ClickFocus);
    connect(number, &QLineEdit::textEdited, this, [this, i](const QString& text) {
      if (text.size() == 3 && i < 3) {
        FocusNumber(i + 1);
        advanced_ = true;
      }
      if (onNumberEdited) onNumberEdited();
    });
    layout->addWidget(number);
    numbers_[i] = number;
  }
  setFocusProxy(numbers_[0]);
}

void IpAddressEdit::GetAddress(unsigned char parts[4]) const {
  for (int i = 0; i < 4; ++i) {
    const int value = numbers_[i]->text().toInt();  // blank: 0
    parts[i] = static_cast<unsigned char>(value > 255 ? 255 : value);
  }
}

void IpAddressEdit::SetAddress(const unsigned char parts[4]) {
  for (int i = 0; i < 4; ++i) numbers_[i]->setText(QString::number(parts[i]));
}

void IpAddressEdit::FocusNumber(int index) {
  numbers_[index]->setFocus(Qt::OtherFocusReason);
  numbers_[index]->selectAll();
}

bool IpAddressEdit::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress) return QFrame::eventFilter(watched, event);
  int index = 0;
  while (index < 4 && numbers_[index] != watched) ++index;
  if (index == 4) return false;
  auto* key = static_cast<QKeyEvent*>(event);
  // A third digit has moved on already: the '.' typed after it is the
  // same step, not another one ("127.0.0.1" typed straight through).
  const bool justAdvanced = advanced_;
  advanced_ = false;
  // '.' or a blank moves on to the next number, as typing an address does.
  if ((key->text() == "." || key->text() == " ") && index < 3) {
    if (!justAdvanced) FocusNumber(index + 1);
    return true;
  }
  if (key->key() == Qt::Key_Backspace && numbers_[index]->text().isEmpty() && index > 0) {
    FocusNumber(index - 1);
    return true;
  }
  // An arrow key past either end of a number's text enters its neighbour.
  const QLineEdit* number = numbers_[index];
  const bool plain = key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
  if (plain && key->key() == Qt::Key_Right && index < 3 &&
      number->cursorPosition() == number->text().size() && !number->hasSelectedText()) {
    EnterNumber(index + 1, 0);
    return true;
  }
  if (plain && key->key() == Qt::Key_Left && index > 0 && number->cursorPosition() == 0 &&
      !number->hasSelectedText()) {
    EnterNumber(index - 1, -1);
    return true;
  }
  return false;
}

void IpAddressEdit::EnterNumber(int index, int cursor) {
  QLineEdit* number = numbers_[index];
  number->setFocus(Qt::OtherFocusReason);
  number->deselect();
  number->setCursorPosition(cursor < 0 ? number->text().size() : cursor);
}
