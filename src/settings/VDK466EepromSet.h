// The settings editor of the VD-K466 (model code 17). Its Printing Surface
// group takes input, but its choice reaches neither the printer nor a file.
#pragma once

#include "settings/VDH738EepromSet.h"

class TVDK466EepromSetForm : public TTwoBankEepromSetForm {
  Q_OBJECT

 public:
  explicit TVDK466EepromSetForm(QWidget* owner = nullptr);
};
