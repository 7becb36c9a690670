// The settings editor of the RW-K305 and RW-K305W (model codes 6 and 15):
// the RW-K201 editor with files tagged "RW-K305XX" and a switch word of its
// own.
#pragma once

#include "settings/SecondSeriesEepromSet.h"

class TRWK305EepromSetForm : public TSecondSeriesEepromSetForm {
  Q_OBJECT

 public:
  explicit TRWK305EepromSetForm(QWidget* owner = nullptr);
};
