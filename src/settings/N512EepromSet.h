// The settings editor of the VD-N512, a bundler printer: no speed or cutter
// setting (their controls are hidden), the bundler's own enable and work-mode
// values, default margins, code page, receive buffer size and automatic
// presenting when the bundler is full.
#pragma once

#include "settings/M512IIEepromSet.h"

class TN512EepromSetForm : public TCommonAddressEepromSetForm {
  Q_OBJECT

 public:
  explicit TN512EepromSetForm(QWidget* owner = nullptr);
};
