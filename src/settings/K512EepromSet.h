// The settings editor of the VD-K512: the VD-M512II editor with its own
// caption, font and file tag, and a baud list that stops at 57600.
#pragma once

#include "settings/M512IIEepromSet.h"

class TK512EepromSetForm : public TCommonAddressEepromSetForm {
  Q_OBJECT

 public:
  explicit TK512EepromSetForm(QWidget* owner = nullptr);
};
