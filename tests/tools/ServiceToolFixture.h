// Fixture of the calibration and A/D view tests: a fresh port state, a
// private folder, the simulated printer on a pseudo-terminal or the USB
// socket, and the message recorder. Printer waits run at once.
#pragma once

#include <string>
#include <vector>

#include "SimPrinterFixture.h"
#include "link/PortSession.h"

namespace tooltest {

using toolfixture::Bytes;
using toolfixture::WaitFor;

// The frames of one command name, as the printer logged them.
inline std::vector<Bytes> Frames(const torva::sim::SimPrinter& sim, const std::string& name) {
  std::vector<Bytes> out;
  for (const auto& e : sim.log(name)) out.push_back(e.frame);
  return out;
}

class ServiceToolTest : public toolfixture::SimPrinterTest {
 protected:
  ServiceToolTest() : SimPrinterTest(2, "/tmp/torva-tools-XXXXXX") {}

  void ClosePortsLeftOpen() override { torva::link::CloseEveryOpenPort(); }

  // The printer behind "COM1", a pseudo-terminal.
  void UseSerial(int model) {
    sim.setModel(model);
    PrinterName = model;
    StartSerial();
  }

  // The printer on the USB socket: a USB device at position 0 and a USB printer.
  void UseUsb(int model, int portKind) {
    sim.setModel(model);
    PrinterName = model;
    StartUsb(portKind);
    // The USB device reads with a 200 ms time-out; on a loaded machine the
    // printer's thread may answer later than that, so a printer that answers
    // is given longer. A silent one is waited for this long instead.
    sim.setUsbReadWaitFloorMs(1500);
  }

  // Every port record closed (what each handler must leave behind).
  static bool AllClosed() {
    return ComParameter.m_hdev == -1 && USBParameter.m_hdev == -1 && USBPrinterParameter.m_hdev == -1;
  }

  std::vector<QString> Texts() const { return messages.texts(); }
};

}  // namespace tooltest
