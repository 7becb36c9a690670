#include "settings/RWK305EEepromSet.h"

#include "settings/RWK201EepromSet.h"

TRWK305EEepromSetForm::TRWK305EEepromSetForm(QWidget* owner)
    : TSecondSeriesEepromSetForm(torva::settings::second::RWK305EProfile(), &SetupRWK201Form, owner) {}
