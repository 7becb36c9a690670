// Stands in for the console in the test of `scripts/run.sh --simulator` with
// the simulator's USB options: opens the console's own port-setting dialog
// (offscreen), prints what it offers on USB, then, as a user would, chooses
// the model row given (--row N), the USB kind the dialog offers and
// "Communication Test", presses OK and prints the port state it stored.
// Exits 0 when a port was configured.
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QRadioButton>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "gui/Messages.h"
#include "link/Clock.h"
#include "link/Descriptors.h"
#include "link/PortState.h"
#include "shell/MainForm.h"
#include "shell/PortSetting.h"
#include "ui_PortSetting.h"

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  int row = 1;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--row") == 0) row = std::atoi(argv[i + 1]);
  QApplication app(argc, argv);
  // Printer.ini is looked for in the folder the script runs in, not beside
  // this program.
  SetProgramFolderForTests(QDir::currentPath());
  torva::SetPrinterDelayScale(0);
  MessageRecorder messages;
  TMainForm main;
  ResetPortState();
  Language = "English";

  TPortSettingForm dialog(&main, &main);
  dialog.SetCaptions(Language);
  auto shown = [](const QWidget* w) { return w->isHidden() ? "hidden" : "shown"; };
  std::printf("usb device radio: %s\n", shown(dialog.ui->USBRadio));
  std::printf("usb printer radio: %s\n", shown(dialog.ui->USBPrinterRadio));
  std::string entries;
  for (int i = 0; i < dialog.ui->USBNameCbo->count(); ++i)
    entries += (i ? ", " : "") + dialog.ui->USBNameCbo->itemText(i).toStdString();
  std::printf("usb entries: %s\n", entries.c_str());

  dialog.ui->PrinterNameCBO->setCurrentIndex(row);
  QRadioButton* usb = dialog.ui->USBPrinterRadio->isHidden() ? dialog.ui->USBRadio : dialog.ui->USBPrinterRadio;
  usb->click();
  dialog.ui->CheckConnect->setChecked(true);
  dialog.OpenPortButtonClick();
  std::printf("model: %s\n", dialog.ui->PrinterNameCBO->currentText().trimmed().toStdString().c_str());
  std::printf("status line: %s\n", dialog.ui->Label2->text().toStdString().c_str());
  for (const QString& text : messages.texts()) std::printf("message: %s\n", text.toStdString().c_str());
  std::printf("port kind: %d\n", PortType.load());
  std::printf("port shown: %s\n", PortDisplay.c_str());
  std::printf("custom mode: %d, class mode %d, status bytes %d\n", is773Costom.load(), iUSBClassMode.load(),
              iStatusBytes.load());
  std::fflush(stdout);
  return PortType.load() == PortNone ? 1 : 0;
}
