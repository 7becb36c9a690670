// Screenshots of the POS-style editors for the documentation. Run only when
// TORVA_DOCS_SHOTS names a folder: each dialog after a Get (English), and the
// same dialog in Chinese with a message box in front.
#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "ScreenshotSupport.h"
#include "settings/K409EepromSet.h"
#include "settings/RWK201EEepromSet.h"
#include "settings/RWK201EepromSet.h"
#include "settings/RWK305EEepromSet.h"
#include "settings/RWK305G2EepSet.h"

namespace {

using settings_shots::BoxCatcher;
using settings_shots::SaveWithBoxInFront;
using settings_shots::ShotFile;

// The dialog after a Get (English), and in Chinese with the box of a Get
// against a printer that stops answering at `silentAddress` in front.
void Shoot(const QString& folder, const QString& stem, torva::sim::SimPrinter& printer, int silentAddress,
           const std::function<std::unique_ptr<TSecondSeriesEepromSetForm>()>& make) {
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    printer.clearFault();
    std::unique_ptr<TSecondSeriesEepromSetForm> form = make();
    form->show();
    const QString file = ShotFile(folder, stem, language);
    if (Language == "English") {
      {
        BoxCatcher close({});
        form->btnGetSettingsFromPrinterClick();
      }
      QApplication::processEvents();
      ASSERT_TRUE(form->grab().save(file));
      continue;
    }
    printer.setAddressFault(silentAddress, torva::sim::FaultSpec{torva::sim::Fault::NoReply, -1, 0});
    torva::settings::PortStyle quick = form->link().style();
    quick.readTimeoutMs = 300;
    form->link().setStyle(quick);
    bool shot = false;
    BoxCatcher grab([&](QMessageBox* box) { shot = SaveWithBoxInFront(*form, *box, file); });
    form->btnGetSettingsFromPrinterClick();
    EXPECT_TRUE(shot) << file.toStdString();
  }
  printer.clearFault();
}

}  // namespace

TEST(SecondSeriesScreenshots, BothLanguages) {
  const QByteArray folder = qgetenv("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  ResetPortState();
  torva::SetPrinterDelayScale(0);
  torva::sim::SimPrinter printer(4);
  PortType = PortCOM;
  ComParameter.Name = printer.startSerial();
  printer.setSetting(0x16, 3);  // 57600
  printer.setSetting(0x06, 130);
  printer.setSetting(0x02, 90);
  printer.setSetting(0x4E, 4);
  printer.setSetting(0x12, 1);
  printer.setSetting(0x6D, 7);
  printer.setSetting(0x37, 120);
  // Chinese: a Get against a printer that stops answering, and its box in
  // front of the dialog.
  Shoot(QString::fromUtf8(folder), "rwk201", printer, 0x54, [] { return std::make_unique<TRWK201EepromSetForm>(); });
  printer.stop();
  ResetPortState();
}

// The RWN-K409 editor: after a Get (English), and in Chinese with the box of
// a Save's edit check in front.
TEST(SecondSeriesScreenshots, K409BothLanguages) {
  const QByteArray folder = qgetenv("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  ResetPortState();
  torva::SetPrinterDelayScale(0);
  torva::sim::SimPrinter printer(5);
  PortType = PortCOM;
  ComParameter.Name = printer.startSerial();
  printer.setSetting(0x16, 2);  // 38400
  printer.setSetting(0x1B, 2);  // even parity
  printer.setSetting(0x06, 120);
  printer.setSetting(0x02, 90);
  printer.setSetting(0x4E, 4);
  printer.setSetting(0x12, 1);
  printer.setSetting(0x65, 1);
  printer.setSetting(0x6D, 7);

  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    TK409EepromSetForm form;
    form.show();
    {
      BoxCatcher close({});
      form.btnGetSettingsFromPrinterClick();
    }
    QApplication::processEvents();
    const QString file = ShotFile(QString::fromUtf8(folder), "k409", language);
    if (Language == "English") {
      ASSERT_TRUE(form.grab().save(file));
      continue;
    }
    // Chinese: a feed in mark mode below 19 dot lines, and Save's warning in
    // front of the dialog.
    torva::settings::second::FormState s = form.state();
    s[torva::settings::second::Control::FeedLine].text = "18";
    form.setState(s);
    bool shot = false;
    BoxCatcher grab([&](QMessageBox* box) { shot = SaveWithBoxInFront(form, *box, file); });
    form.btnSaveSettingsToPrinterClick();
    EXPECT_TRUE(shot);
  }
  printer.stop();
  ResetPortState();
}

// The RW-K201E and RW-K305E (no serial settings, CR command or beeper shown)
// and the RW-K305GII (its own form, the lengths in centimetres).
TEST(SecondSeriesScreenshots, EModelsAndRWK305G2BothLanguages) {
  const QByteArray folder = qgetenv("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  ResetPortState();
  torva::SetPrinterDelayScale(0);
  torva::sim::SimPrinter printer(10);
  PortType = PortCOM;
  ComParameter.Name = printer.startSerial();
  for (int model : {10, 9}) {
    printer.setModel(model);
    printer.setSetting(0x06, 120);
    printer.setSetting(0x30, 0);
    printer.setSetting(0x6D, 2);
    printer.setSetting(0x37, 80);
    if (model == 10) {
      Shoot(QString::fromUtf8(folder), "rwk201e", printer, 0x54,
            [] { return std::make_unique<TRWK201EEepromSetForm>(); });
    } else {
      Shoot(QString::fromUtf8(folder), "rwk305e", printer, 0x54,
            [] { return std::make_unique<TRWK305EEepromSetForm>(); });
    }
  }
  printer.setModel(14);
  printer.setSetting(0x16, 2);  // 38400
  printer.setSetting(0x0E, 30);
  printer.setSetting(0x0F, 256);
  printer.setSetting(0x6D, 9);
  printer.setSetting(0x12, 1);
  Shoot(QString::fromUtf8(folder), "rwk305gii", printer, 0x02,
        [] { return std::make_unique<TRWK305G2EepSetForm>(); });
  printer.stop();
  ResetPortState();
}
