#include "settings/K772EepromSet.h"

TK772EepromSetForm::TK772EepromSetForm(QWidget* owner)
    : TTwoBankEepromSetForm(torva::settings::K772Profile(), owner) {}
