// The settings editor of the VD-M512: the VD-M512II editor with its own
// caption, font and file tag, and a baud list that stops at 57600.
#pragma once

#include "settings/M512IIEepromSet.h"

class TM512EepromSetForm : public TCommonAddressEepromSetForm {
  Q_OBJECT

 public:
  explicit TM512EepromSetForm(QWidget* owner = nullptr);
};
