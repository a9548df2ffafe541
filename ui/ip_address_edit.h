#pragma once
// An IPv4 address field of four numbers 0..255; a blank number reads as 0.
// '.', a blank, Backspace on an empty number and the arrow keys at either
// end of a number move between the numbers.
#include <QFrame>
#include <functional>

class QLineEdit;

class IpAddressEdit : public QFrame {
 public:
  explicit IpAddressEdit(QWidget* parent = nullptr);

  void GetAddress(unsigned char parts[4]) const;
  void SetAddress(const unsigned char parts[4]);
  QLineEdit* Number(int index) const { return numbers_[index]; }

  // Called when the operator changes a number (not when SetAddress does).
  std::function<void()> onNumberEdited;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FocusNumber(int index);
  // Focuses a number with the cursor at `cursor` (-1: at its end).
  void EnterNumber(int index, int cursor);
  QLineEdit* numbers_[4];
  bool advanced_ = false;  // the last key's third digit moved on
};
