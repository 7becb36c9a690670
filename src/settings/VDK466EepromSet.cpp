#include "settings/VDK466EepromSet.h"

TVDK466EepromSetForm::TVDK466EepromSetForm(QWidget* owner)
    : TTwoBankEepromSetForm(torva::settings::K466Profile(), owner) {}
