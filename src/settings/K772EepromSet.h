// The settings editor of the VD-K772 and VD-K772II (model codes 11 and 16):
// the printing surface joins the exchange; both print heads and the back
// watermark are shown.
#pragma once

#include "settings/VDH738EepromSet.h"

class TK772EepromSetForm : public TTwoBankEepromSetForm {
  Q_OBJECT

 public:
  explicit TK772EepromSetForm(QWidget* owner = nullptr);
};
