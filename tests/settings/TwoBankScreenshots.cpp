// Screenshots of the two-bank editors for the documentation. Runs only when
// TORVA_DOCS_SHOTS names a folder: each dialog after a Get from a simulated
// printer of its model (English, with the success box closed), and the same
// dialog in Chinese with the box of a refused Save in front (the dialogs are
// English; their messages follow the language).
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>
#include <functional>
#include <memory>

#include "link/Clock.h"
#include "link/PortState.h"
#include "settings/K772EepromSet.h"
#include "settings/K9034EepromSet.h"
#include "settings/VDH738EepromSet.h"
#include "settings/VDK466EepromSet.h"
#include "sim/SimPrinter.h"

namespace {

struct Shot {
  const char* file;  // settings-<file>-english.png, settings-<file>-chinese.png
  int model;
  std::function<std::unique_ptr<TTwoBankEepromSetForm>()> create;
  std::function<void(torva::sim::SimPrinter&)> printer;  // what the printer holds
  const char* edit;                                      // the edit that makes the Chinese Save refuse
  const char* value;
};

// Closes the next modal box once it shows, and grabs the dialog with the box
// drawn in its middle when `file` is given. Until the box is up it looks
// again (a loaded machine may take a while to get there).
void CloseNextBox(QWidget* dialog, const QString& file, bool* shot) {
  QTimer::singleShot(100, dialog, [=] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) {
      CloseNextBox(dialog, file, shot);
      return;
    }
    if (!file.isEmpty()) {
      QImage image = dialog->grab().toImage();
      const QImage boxImage = box->grab().toImage();
      QPainter painter(&image);
      painter.drawImage((image.width() - boxImage.width()) / 2, (image.height() - boxImage.height()) / 2,
                        boxImage);
      painter.end();
      *shot = image.save(file);
    }
    box->accept();
  });
}

}  // namespace

TEST(TwoBankScreenshots, BothLanguages) {
  const QByteArray folder = qgetenv("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  const Shot shots[] = {
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
  ResetPortState();
  torva::SetPrinterDelayScale(0);
  for (const Shot& s : shots) {
    SCOPED_TRACE(s.file);
    torva::sim::SimPrinter printer(s.model);
    PortType = PortCOM;
    ComParameter.Name = printer.startSerial();
    s.printer(printer);
    for (const char* language : {"English", "Chinese"}) {
      Language = language;
      auto form = s.create();
      form->show();
      bool shot = false;
      CloseNextBox(form.get(), QString(), &shot);
      form->btnGetSettingsFromPrinterClick();
      QApplication::processEvents();
      const QString file =
          QString::fromUtf8(folder) + "/settings-" + s.file + "-" + QString(language).toLower() + ".png";
      if (Language == "English") {
        ASSERT_TRUE(form->grab().save(file));
        continue;
      }
      form->findChild<QLineEdit*>(s.edit)->setText(s.value);
      CloseNextBox(form.get(), file, &shot);
      form->btnSaveSettingsToPrinterClick();
      EXPECT_TRUE(shot);
    }
    printer.stop();
    ResetPortState();
  }
}
