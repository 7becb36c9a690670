// Screenshots of the editor for the documentation. Runs only when
// TORVA_DOCS_SHOTS names a folder: the dialog after a Get from a printer with
// a slow speed and a dark head (English), and the same dialog in Chinese with
// the warning box of a refused Save in front.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include "link/Clock.h"
#include "link/PortState.h"
#include "settings/M512IIEepromSet.h"
#include "sim/SimPrinter.h"

TEST(EditorScreenshots, BothLanguages) {
  const QByteArray folder = qgetenv("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  ResetPortState();
  torva::SetPrinterDelayScale(0);
  torva::sim::SimPrinter printer(2);
  PortType = PortCOM;
  ComParameter.Name = printer.startSerial();
  printer.setSetting(0x06, 80);
  printer.setSetting(0x02, 160);

  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    TM512IIEepromSetForm form;
    form.show();
    form.btnGetSettingsFromPrinterClick();
    QApplication::processEvents();
    const QString file = QString::fromUtf8(folder) + "/settings-m512ii-" + QString(language).toLower() + ".png";
    if (Language == "English") {
      ASSERT_TRUE(form.grab().save(file));
      continue;
    }
    // A refused Save: its warning box, in front of the dialog.
    form.findChild<QLineEdit*>("edtPrintSpeed")->setText("200");
    bool shot = false;
    QTimer::singleShot(200, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      QImage image = form.grab().toImage();
      const QImage boxImage = box->grab().toImage();
      QPainter painter(&image);
      painter.drawImage((image.width() - boxImage.width()) / 2, (image.height() - boxImage.height()) / 2, boxImage);
      painter.end();
      shot = image.save(file);
      box->accept();
    });
    form.btnSaveSettingsToPrinterClick();
    EXPECT_TRUE(shot);
  }
  printer.stop();
  ResetPortState();
}
