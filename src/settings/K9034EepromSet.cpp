#include "settings/K9034EepromSet.h"

TK9034EepromSetForm::TK9034EepromSetForm(QWidget* owner)
    : TTwoBankEepromSetForm(torva::settings::K9034Profile(), owner) {}
