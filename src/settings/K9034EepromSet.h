// The settings editor of the VD-K9034 (model code 13): its own read and write
// orders, a fourth paper-out mode, widths up to 112 mm, a minimize button and
// handlers of the keys the dialog itself receives.
#pragma once

#include "settings/VDH738EepromSet.h"

class TK9034EepromSetForm : public TTwoBankEepromSetForm {
  Q_OBJECT

 public:
  explicit TK9034EepromSetForm(QWidget* owner = nullptr);
};
