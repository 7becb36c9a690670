#include "settings/M512EepromSet.h"

TM512EepromSetForm::TM512EepromSetForm(QWidget* owner)
    : TCommonAddressEepromSetForm(torva::settings::M512Profile(), owner) {}
