// Screenshots of the two-bank editors for the documentation. Runs only when
// TORVA_DOCS_SHOTS names a folder: each dialog after a Get from a simulated
// printer of its model (English, with the success box closed), and the same
// dialog in Chinese with the box of a refused Save in front (the dialogs are
// English; their messages follow the language).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ScreenshotSupport.h"
#include "settings/K772EepromSet.h"
#include "settings/K9034EepromSet.h"
#include "settings/VDH738EepromSet.h"
#include "settings/VDK466EepromSet.h"

TEST(TwoBankScreenshots, BothLanguages) {
  const QByteArray folder = qgetenv("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  const std::vector<settings_shots::EditorShot<TTwoBankEepromSetForm>> shots = {
      {"h738", ModelVDH738, [] { return std::make_unique<TVDH738EepromSetForm>(); },
       [](torva::sim::SimPrinter& p) {
         p.setSetting(0x06, 80);
         p.setSetting(0x02, 0x7878);
       },
       "PaperWidth", "47"},
      {"k466", ModelVDK466, [] { return std::make_unique<TVDK466EepromSetForm>(); },
       [](torva::sim::SimPrinter& p) { p.setSetting(0x36, 0x0302); }, "WaitTime", "241"},
      {"k772", ModelVDK772, [] { return std::make_unique<TK772EepromSetForm>(); },
       [](torva::sim::SimPrinter& p) {
         p.setSetting(0x05, 2);
         p.setSetting(0x78, 0x0174);
       },
       "AotoSpeed", "12"},
      {"k9034", ModelVDK9034, [] { return std::make_unique<TK9034EepromSetForm>(); },
       [](torva::sim::SimPrinter& p) {
         p.setSetting(0x4A, 3);
         p.setSetting(0x26, 112);
       },
       "PaperWidth", "113"},
  };
  settings_shots::ShootEditors(QString::fromUtf8(folder), shots, /*getShowsBox=*/true);
}
