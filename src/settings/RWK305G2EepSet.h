// The settings editor of the RW-K305GII (model code 14): the POS-style frame
// on a form of its own with fifteen settings, the paper-jam and paper-loose
// lengths among them. Save writes each setting at once, in the port kind's
// order (with pauses between the serial writes); files tagged "RW-K305XX",
// which the RW-K305 editor shares.
#pragma once

#include "settings/SecondSeriesEepromSet.h"

class TRWK305G2EepSetForm : public TSecondSeriesEepromSetForm {
  Q_OBJECT

 public:
  explicit TRWK305G2EepSetForm(QWidget* owner = nullptr);
};
