#include "settings/K409EepromSet.h"

#include "ui_K409EepromSet.h"

namespace {

void SetupK409Form(QDialog* dialog) {
  // The widgets belong to the dialog; the frame finds them by their names.
  Ui::K409EepromSet form;
  form.setupUi(dialog);
}

}  // namespace

TK409EepromSetForm::TK409EepromSetForm(QWidget* owner)
    : TSecondSeriesEepromSetForm(torva::settings::second::K409Profile(), &SetupK409Form, owner) {}
