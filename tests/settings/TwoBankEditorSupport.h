// The two-bank editor dialogs of the tests: the one of each profile.
#pragma once

#include <memory>

#include "settings/K772EepromSet.h"
#include "settings/K9034EepromSet.h"
#include "settings/VDH738EepromSet.h"
#include "settings/VDK466EepromSet.h"

namespace twobank_test {

inline const torva::settings::TwoBankProfile* const kEditorProfiles[] = {
    &torva::settings::H738Profile(), &torva::settings::K466Profile(), &torva::settings::K772Profile(),
    &torva::settings::K9034Profile()};

// The editor class of the profile's model, as the main window creates it.
inline std::unique_ptr<TTwoBankEepromSetForm> MakeEditor(const torva::settings::TwoBankProfile& p) {
  if (&p == &torva::settings::K466Profile()) return std::make_unique<TVDK466EepromSetForm>();
  if (&p == &torva::settings::K772Profile()) return std::make_unique<TK772EepromSetForm>();
  if (&p == &torva::settings::K9034Profile()) return std::make_unique<TK9034EepromSetForm>();
  return std::make_unique<TVDH738EepromSetForm>();
}

}  // namespace twobank_test
