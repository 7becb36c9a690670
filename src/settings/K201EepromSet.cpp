#include "settings/K201EepromSet.h"

TK201EepromSetForm::TK201EepromSetForm(QWidget* owner)
    : TCommonAddressEepromSetForm(torva::settings::K201Profile(), owner) {}
