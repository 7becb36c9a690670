// The settings editor of the RW-K201 (model code 4): the POS-style frame on
// its form, files tagged "RW-K201XX".
#pragma once

#include "settings/SecondSeriesEepromSet.h"

class QDialog;

// Lays the RW-K201 form (RWK201EepromSet.ui) out on a dialog. The RW-K305
// editor uses the same form.
void SetupRWK201Form(QDialog* dialog);

class TRWK201EepromSetForm : public TSecondSeriesEepromSetForm {
  Q_OBJECT

 public:
  explicit TRWK201EepromSetForm(QWidget* owner = nullptr);
};
