// The settings editor of the VD-K305: the VD-M512II editor with the printer's
// LED settings (control mode, light and extinct times), a baud reading that
// shows 2400 and 1200 as 9600 and 4800, and a flow-control reading of 1 that
// leaves the box as it was.
#pragma once

#include "settings/M512IIEepromSet.h"

class TK305EepromSetForm : public TCommonAddressEepromSetForm {
  Q_OBJECT

 public:
  explicit TK305EepromSetForm(QWidget* owner = nullptr);
};
