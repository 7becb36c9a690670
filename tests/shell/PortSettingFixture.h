// Shared set-up of the port-setting dialog tests: a private folder for
// Printer.ini, a main window, dead USB and spooler endpoints unless a test
// starts the simulated printer's, printer waits scaled to zero.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QString>
#include <memory>
#include <string>

#include "link/Clock.h"
#include "link/PortState.h"
#include <QLabel>

#include "shell/MainForm.h"
#include "gui/Messages.h"
#include "shell/PortSetting.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"
#include "ui_PortSetting.h"

class PortSettingFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torva-portset-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    SetProgramFolderForTests(QString::fromStdString(dir));
    // Nothing outside the test: no real USB device, no real spooler.
    setenv("TORVA_USB_SIM", (dir + "/no-usb.sock").c_str(), 1);
    setenv("CUPS_SERVER", (dir + "/no-cups.sock").c_str(), 1);
    for (int i = 1; i <= 8; ++i)
      setenv(("TORVA_COM" + std::to_string(i)).c_str(), (dir + "/no-com" + std::to_string(i)).c_str(), 1);
    for (int i = 1; i <= 4; ++i) {
      setenv(("TORVA_LPT" + std::to_string(i)).c_str(), (dir + "/no-lpt" + std::to_string(i)).c_str(), 1);
      setenv(("TORVA_PARPORT" + std::to_string(i)).c_str(), (dir + "/no-parport" + std::to_string(i)).c_str(), 1);
    }
    torva::SetPrinterDelayScale(0);
    main = std::make_unique<TMainForm>();
    ResetPortState();
    Language = "English";
  }

  void TearDown() override {
    main.reset();
    SetProgramFolderForTests(QString());
    std::string cmd = "rm -rf '" + dir + "'";
    (void)!system(cmd.c_str());
  }

  // The simulated printer's serial port as COM1.
  void StartSerialPrinter() {
    const std::string link = dir + "/com1";
    printer.startSerial(link);
    setenv("TORVA_COM1", link.c_str(), 1);
  }

  // The simulated printer on the USB socket: by default a USB device at
  // position 0 (then the dialog lists no USB printer) and a USB printer.
  void StartUsbPrinter(const torva::sim::UsbSimOptions& options = {}) {
    const std::string path = dir + "/usb.sock";
    ASSERT_TRUE(torva::sim::StartUsbSocket(printer, path, options));
    setenv("TORVA_USB_SIM", path.c_str(), 1);
  }
  // Only the USB printer: no USB device, so the dialog lists the printers.
  void StartUsbPrinterOnly() {
    torva::sim::UsbSimOptions options;
    options.devicePositions.clear();
    StartUsbPrinter(options);
  }

  // The main window's printer panel is laid out hidden (no width of its own).
  bool PrinterPanelHidden() const {
    auto* panel = main->findChild<QLabel*>("PortInforStatusPanel1");
    return panel && panel->isHidden();
  }

  std::unique_ptr<TPortSettingForm> Dialog() {
    auto f = std::make_unique<TPortSettingForm>(main.get(), main.get());
    f->SetCaptions(Language);
    return f;
  }

  // Chooses model row, serial port and test box, as the user would.
  static void ChooseSerial(TPortSettingForm& f, int row, const QString& port, bool test) {
    f.ui->PrinterNameCBO->setCurrentIndex(row);
    f.ui->COMRadio->click();
    f.ui->cboPortName->setCurrentText(port);
    f.ui->CheckConnect->setChecked(test);
  }

  std::string dir;
  torva::sim::SimPrinter printer{2};
  std::unique_ptr<TMainForm> main;
};
