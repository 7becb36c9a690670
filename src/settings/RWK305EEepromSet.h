// The settings editor of the RW-K305E (model code 9): the RW-K201E editor with
// the near-end stop at 43 and files tagged "RW-K305RX".
#pragma once

#include "settings/SecondSeriesEepromSet.h"

class TRWK305EEepromSetForm : public TSecondSeriesEepromSetForm {
  Q_OBJECT

 public:
  explicit TRWK305EEepromSetForm(QWidget* owner = nullptr);
};
