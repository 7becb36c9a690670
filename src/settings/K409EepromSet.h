// The settings editor of the RWN-K409 (model code 5): the POS-style frame on
// its own form, with its own settings (cutter at 30, data error at 65, feed
// lines at 2C) and files tagged "ABCDEFGHI".
#pragma once

#include "settings/SecondSeriesEepromSet.h"

class TK409EepromSetForm : public TSecondSeriesEepromSetForm {
  Q_OBJECT

 public:
  explicit TK409EepromSetForm(QWidget* owner = nullptr);
};
