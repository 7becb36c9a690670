// Screenshots of the editors for the documentation. Runs only when
// TORVA_DOCS_SHOTS names a folder: each dialog after a Get from a simulated
// printer of its model (English), and the same dialog in Chinese with the box
// of a refused Save in front (the dialogs are English; their messages follow
// the language).
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
#include "settings/K201EepromSet.h"
#include "settings/K305EepromSet.h"
#include "settings/K512EepromSet.h"
#include "settings/K773EepromSet.h"
#include "settings/M512IIEepromSet.h"
#include "settings/N512EepromSet.h"
#include "sim/SimPrinter.h"

namespace {

struct Shot {
  const char* file;  // settings-<file>-english.png, settings-<file>-chinese.png
  int model;
  std::function<std::unique_ptr<TCommonAddressEepromSetForm>()> create;
  std::function<void(torva::sim::SimPrinter&)> printer;  // what the printer holds
  const char* edit;   // the edit that makes the Chinese Save refuse
  const char* value;
};

}  // namespace

TEST(EditorScreenshots, BothLanguages) {
  const QByteArray folder = qgetenv("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  const Shot shots[] = {
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
      form->btnGetSettingsFromPrinterClick();
      QApplication::processEvents();
      const QString file =
          QString::fromUtf8(folder) + "/settings-" + s.file + "-" + QString(language).toLower() + ".png";
      if (Language == "English") {
        ASSERT_TRUE(form->grab().save(file));
        continue;
      }
      // A refused Save: its warning box, in front of the dialog.
      form->findChild<QLineEdit*>(s.edit)->setText(s.value);
      bool shot = false;
      QTimer::singleShot(200, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        QImage image = form->grab().toImage();
        const QImage boxImage = box->grab().toImage();
        QPainter painter(&image);
        painter.drawImage((image.width() - boxImage.width()) / 2, (image.height() - boxImage.height()) / 2, boxImage);
        painter.end();
        shot = image.save(file);
        box->accept();
      });
      form->btnSaveSettingsToPrinterClick();
      EXPECT_TRUE(shot);
    }
    printer.stop();
    ResetPortState();
  }
}
