#include "settings/RWK201EEepromSet.h"

#include "settings/RWK201EepromSet.h"

TRWK201EEepromSetForm::TRWK201EEepromSetForm(QWidget* owner)
    : TSecondSeriesEepromSetForm(torva::settings::second::RWK201EProfile(), &SetupRWK201Form, owner) {}
