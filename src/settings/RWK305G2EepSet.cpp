#include "settings/RWK305G2EepSet.h"

#include "ui_RWK305G2EepSet.h"

namespace {

void SetupRWK305G2Form(QDialog* dialog) {
  // The widgets belong to the dialog; the frame finds them by their names.
  Ui::RWK305G2EepSet form;
  form.setupUi(dialog);
}

}  // namespace

TRWK305G2EepSetForm::TRWK305G2EepSetForm(QWidget* owner)
    : TSecondSeriesEepromSetForm(torva::settings::second::RWK305G2Profile(), &SetupRWK305G2Form, owner) {}
