#include "settings/K305EepromSet.h"

#include "ui_K305EepromSet.h"

namespace {

void LoadForm(QDialog* dialog) {
  Ui::K305EepromSet form;
  form.setupUi(dialog);
}

}  // namespace

TK305EepromSetForm::TK305EepromSetForm(QWidget* owner)
    : TCommonAddressEepromSetForm(torva::settings::K305Profile(), owner, &LoadForm) {}
