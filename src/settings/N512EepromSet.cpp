#include "settings/N512EepromSet.h"

#include "ui_N512EepromSet.h"

namespace {

void LoadForm(QDialog* dialog) {
  Ui::N512EepromSet form;
  form.setupUi(dialog);
}

}  // namespace

TN512EepromSetForm::TN512EepromSetForm(QWidget* owner)
    : TCommonAddressEepromSetForm(torva::settings::N512Profile(), owner, &LoadForm) {}
