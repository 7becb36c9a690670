// The settings editor of the RW-K201E (model code 10): the POS-style frame on
// the RW-K201 form with eleven settings (no serial settings, CR command or
// beeper; the cutter a plain flag at 30), files tagged "RW-K201RX".
#pragma once

#include "settings/SecondSeriesEepromSet.h"

class TRWK201EEepromSetForm : public TSecondSeriesEepromSetForm {
  Q_OBJECT

 public:
  explicit TRWK201EEepromSetForm(QWidget* owner = nullptr);
};
