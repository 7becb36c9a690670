// The settings editor of the VD-K201: the VD-M512II editor with its own
// caption, font and file tag.
#pragma once

#include "settings/M512IIEepromSet.h"

class TK201EepromSetForm : public TCommonAddressEepromSetForm {
  Q_OBJECT

 public:
  explicit TK201EepromSetForm(QWidget* owner = nullptr);
};
