#include "settings/RWK201EepromSet.h"

#include "ui_RWK201EepromSet.h"

void SetupRWK201Form(QDialog* dialog) {
  // The widgets belong to the dialog; the frame finds them by their names.
  Ui::RWK201EepromSet form;
  form.setupUi(dialog);
}

TRWK201EepromSetForm::TRWK201EepromSetForm(QWidget* owner)
    : TSecondSeriesEepromSetForm(torva::settings::second::RWK201Profile(), &SetupRWK201Form, owner) {}
