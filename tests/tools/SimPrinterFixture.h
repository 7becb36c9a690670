// What the tool fixtures share: a fresh port state, a private program folder
// (where the file dialogs start), no USB socket until one is asked for, the
// simulated printer on a pseudo-terminal or the USB socket, and the message
// recorder. Printer waits run at once.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "EventWait.h"
#include "gui/Messages.h"
#include "link/Clock.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"

namespace toolfixture {

using Bytes = std::vector<uint8_t>;

using torva::testing::WaitFor;

class SimPrinterTest : public ::testing::Test {
 protected:
  // `folderPattern`: the mkdtemp pattern of the private folder.
  SimPrinterTest(int model, const char* folderPattern) : sim{model}, folderPattern_(folderPattern) {}

  void SetUp() override {
    std::string pattern = folderPattern_;
    const char* made = mkdtemp(pattern.data());
    ASSERT_TRUE(made);
    dir = made;
    SetProgramFolderForTests(QString::fromStdString(dir));
    setenv("TORVA_USB_SIM", (dir + "/no-usb.sock").c_str(), 1);
    torva::SetPrinterDelayScale(0);
    ResetPortState();
    Language = "English";
  }

  void TearDown() override {
    sim.stop();
    ClosePortsLeftOpen();
    ResetPortState();
    SetProgramFolderForTests({});
    torva::SetPrinterDelayScale(1.0);
    QDir(QString::fromStdString(dir)).removeRecursively();
  }

  // Called once the printer has stopped, before the port state is reset.
  virtual void ClosePortsLeftOpen() {}

  // The printer behind "COM1", a pseudo-terminal.
  void StartSerial() {
    const std::string path = sim.startSerial(dir + "/com1");
    ASSERT_FALSE(path.empty());
    ComParameter.Name = dir + "/com1";
    PortType = PortCOM;
  }

  // The printer on the USB socket: a USB device at position 0 and a USB printer.
  void StartUsb(int portKind) {
    const std::string path = dir + "/usb.sock";
    ASSERT_TRUE(torva::sim::StartUsbSocket(sim, path, {}));
    setenv("TORVA_USB_SIM", path.c_str(), 1);
    PortType = portKind;
    USBParameter.X = 0;
    USBParameter.Name = "QFUSB-0";
    USBPrinterParameter.Name = sim.printerName();
    iPrinterID = 1;
  }

  std::string dir;
  torva::sim::SimPrinter sim;
  MessageRecorder messages;

 private:
  std::string folderPattern_;
};

}  // namespace toolfixture
