// Screenshots of the editors for the documentation. Runs only when
// TORVA_DOCS_SHOTS names a folder: each dialog after a Get from a simulated
// printer of its model (English), and the same dialog in Chinese with the box
// of a refused Save in front (the dialogs are English; their messages follow
// the language).
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ScreenshotSupport.h"
#include "settings/K201EepromSet.h"
#include "settings/K305EepromSet.h"
#include "settings/K512EepromSet.h"
#include "settings/K773EepromSet.h"
#include "settings/M512IIEepromSet.h"
#include "settings/N512EepromSet.h"

TEST(EditorScreenshots, BothLanguages) {
  const QByteArray folder = qgetenv("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  const std::vector<settings_shots::EditorShot<TCommonAddressEepromSetForm>> shots = {
      {"m512ii", ModelVDM512II, [] { return std::make_unique<TM512IIEepromSetForm>(); },
       [](torva::sim::SimPrinter& p) {
         p.setSetting(0x06, 80);
         p.setSetting(0x02, 160);
       },
       "edtPrintSpeed", "200"},
      {"k512", ModelVDK512, [] { return std::make_unique<TK512EepromSetForm>(); },
       [](torva::sim::SimPrinter& p) { p.setSetting(0x16, 1); }, "FeedLine", "5"},
      {"k201", ModelVDK201, [] { return std::make_unique<TK201EepromSetForm>(); },
       [](torva::sim::SimPrinter& p) {
         p.setSetting(0x16, 7);
         p.setSetting(0x02, 130);
       },
       "edtPrintDarkness", "0"},
      {"k305", ModelVDK305, [] { return std::make_unique<TK305EepromSetForm>(); },
       [](torva::sim::SimPrinter& p) { p.setSetting(0xB8, 0x0A05); }, "edtLightTime", "256"},
      {"n512", ModelVDN512, [] { return std::make_unique<TN512EepromSetForm>(); },
       [](torva::sim::SimPrinter& p) {
         p.setSetting(0x6D, 9);
         p.setSetting(0x60, 4);
       },
       "WaitTime", "241"},
      {"k773", ModelVDK773, [] { return std::make_unique<TK773Eeport>(); },
       [](torva::sim::SimPrinter& p) {
         p.setSetting(0x06, 90);
         p.setSetting(0x6D, 0x22);
         p.setSetting(0x8C, 0x0302);
       },
       "AotoSpeed", "126"},
  };
  settings_shots::ShootEditors(QString::fromUtf8(folder), shots, /*getShowsBox=*/false);
}
