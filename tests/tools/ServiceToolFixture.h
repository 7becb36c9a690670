// Fixture of the calibration and A/D view tests: a fresh port state, a
// private folder, the simulated printer on a pseudo-terminal or the USB
// socket, and the message recorder. Printer waits run at once.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <functional>
#include <string>
#include <vector>

#include "gui/Messages.h"
#include "link/Clock.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"

namespace tooltest {

using Bytes = std::vector<uint8_t>;

// Runs the event loop until `done` holds or timeoutMs passed.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// The frames of one command name, as the printer logged them.
inline std::vector<Bytes> Frames(const torva::sim::SimPrinter& sim, const std::string& name) {
  std::vector<Bytes> out;
  for (const auto& e : sim.log(name)) out.push_back(e.frame);
  return out;
}

class ServiceToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torva-tools-XXXXXX";
    const char* made = mkdtemp(tmpl);
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
    torva::link::CloseEveryOpenPort();
    ResetPortState();
    SetProgramFolderForTests({});
    torva::SetPrinterDelayScale(1.0);
    QDir(QString::fromStdString(dir)).removeRecursively();
  }

  // The printer behind "COM1", a pseudo-terminal.
  void UseSerial(int model) {
    sim.setModel(model);
    PrinterName = model;
    const std::string path = sim.startSerial(dir + "/com1");
    ASSERT_FALSE(path.empty());
    ComParameter.Name = dir + "/com1";
    PortType = PortCOM;
  }

  // The printer on the USB socket: a USB device at position 0 and a USB printer.
  void UseUsb(int model, int portKind) {
    sim.setModel(model);
    PrinterName = model;
    const std::string path = dir + "/usb.sock";
    ASSERT_TRUE(torva::sim::StartUsbSocket(sim, path, {}));
    // The USB device reads with a 200 ms time-out; on a loaded machine the
    // printer's thread may answer later than that, so a printer that answers
    // is given longer. A silent one is waited for this long instead.
    sim.setUsbReadWaitFloorMs(1500);
    setenv("TORVA_USB_SIM", path.c_str(), 1);
    PortType = portKind;
    USBParameter.X = 0;
    USBParameter.Name = "QFUSB-0";
    USBPrinterParameter.Name = sim.printerName();
    iPrinterID = 1;
  }

  // Every port record closed (what each handler must leave behind).
  static bool AllClosed() {
    return ComParameter.m_hdev == -1 && USBParameter.m_hdev == -1 && USBPrinterParameter.m_hdev == -1;
  }

  std::vector<QString> Texts() const { return messages.texts(); }

  std::string dir;
  torva::sim::SimPrinter sim{2};
  MessageRecorder messages;
};

}  // namespace tooltest
