// Fixture of the status dialog tests: a fresh port state, private folders and
// device names, the simulated printer on a pseudo-terminal (and on the USB
// socket when asked), the message recorders, and the real main window as the
// dialogs' owner, on the offscreen platform.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <functional>
#include <memory>
#include <string>

#include "EventWait.h"
#include "link/Clock.h"
#include "link/PortState.h"
#include "shell/MainForm.h"
#include "gui/Messages.h"
#include "shell/PrinterIni.h"
#include "sim/SimPrinter.h"
#include "sim/StatusLayouts.h"
#include "sim/UsbEndpoint.h"
#include "status/StatusDialog.h"

namespace statustest {

// The status dialogs' box when the printer does not answer, in English.
inline const QString kFailEnglish =
    QStringLiteral("Fail to get the status of printer\n\rPlease check the communication between the printer and PC!");

using torva::testing::WaitFor;

class StatusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torva-status-XXXXXX";
    const char* made = mkdtemp(tmpl);
    ASSERT_TRUE(made);
    dir = made;
    SetProgramFolderForTests(QString::fromStdString(dir));
    SetPrinterIniConfigFolderForTests(QString::fromStdString(dir + "/config"));
    setenv("TORVA_USB_SIM", (dir + "/no-usb.sock").c_str(), 1);
    torva::SetPrinterDelayScale(0);
    TMainForm::trayAvailableOverride = false;
    torva::status::StatusDialog::trayAvailableOverride = true;
    main = std::make_unique<TMainForm>();
    ResetPortState();
    Language = "English";
    serialPath = sim.startSerial(dir + "/com1");
    ComParameter.Name = dir + "/com1";
    PortType = PortCOM;
    PrinterName = 3;
  }

  void TearDown() override {
    main.reset();
    sim.stop();
    ResetPortState();
    SetProgramFolderForTests({});
    SetPrinterIniConfigFolderForTests({});
    TMainForm::trayAvailableOverride.reset();
    torva::status::StatusDialog::trayAvailableOverride.reset();
    QDir(QString::fromStdString(dir)).removeRecursively();
  }

  // The printer on the USB socket: a USB device at position 0 and a USB printer.
  void UseUsb(int portKind) {
    const std::string path = dir + "/usb.sock";
    ASSERT_TRUE(torva::sim::StartUsbSocket(sim, path, {}));
    setenv("TORVA_USB_SIM", path.c_str(), 1);
    PortType = portKind;
    USBParameter.X = 0;
    USBPrinterParameter.Name = sim.printerName();
  }

  static QCheckBox* Box(QWidget& d, const QString& name) { return d.findChild<QCheckBox*>(name); }
  static QLabel* Label(QWidget& d, const QString& name) { return d.findChild<QLabel*>(name); }

  std::string dir;
  std::string serialPath;
  torva::sim::SimPrinter sim{3};
  MessageRecorder messages;
  torva::status::PlainMessageRecorder plain;
  std::unique_ptr<TMainForm> main;
};

}  // namespace statustest
