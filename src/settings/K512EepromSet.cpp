#include "settings/K512EepromSet.h"

TK512EepromSetForm::TK512EepromSetForm(QWidget* owner)
    : TCommonAddressEepromSetForm(torva::settings::K512Profile(), owner) {}
