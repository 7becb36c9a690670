#include "settings/RWK305EepromSet.h"

#include "settings/RWK201EepromSet.h"

TRWK305EepromSetForm::TRWK305EepromSetForm(QWidget* owner)
    : TSecondSeriesEepromSetForm(torva::settings::second::RWK305Profile(), &SetupRWK201Form, owner) {}
