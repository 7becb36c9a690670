// What the editors' tests against the simulated printer share: a fixture
// with one simulated printer on a pseudo-terminal or the simulator's USB
// socket, readings of the simulator's log, and a serial port that takes 7
// data bits for the data-bits roads on a pseudo-terminal (which refuses them).
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "FakeTermios.h"
#include "SettingsEditorTestSupport.h"
#include "link/Clock.h"
#include "link/PortState.h"
#include "link/SerialIo.h"
#include "settings/SettingProtocol.h"
#include "sim/SimPrinter.h"

namespace settings_test {

inline std::vector<std::string> Names(const torva::sim::SimPrinter& printer) {
  std::vector<std::string> names;
  for (const auto& e : printer.log()) names.push_back(e.name);
  return names;
}

// The addresses of the ReadSetting frames in the log, in order.
inline std::vector<int> ReadAddresses(const torva::sim::SimPrinter& printer) {
  std::vector<int> out;
  for (const auto& e : printer.log("ReadSetting")) out.push_back(e.frame[2]);
  return out;
}

// The data-bits values of the TempDataBits frames in the log, in order.
inline std::vector<int> DataBitsSwitches(const torva::sim::SimPrinter& printer) {
  std::vector<int> out;
  for (const auto& e : printer.log("TempDataBits")) out.push_back(e.frame[7]);
  return out;
}

// Waits (up to 3 s) until the simulator's pseudo-terminal at `path` holds at
// least n bytes for the host to read: bytes the printer sent reach the port
// a moment after it sends them, and a test that needs them there (to see
// that the next exchange throws them away) waits for them here.
inline bool WaitPtyInput(const std::string& path, int n) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  const uint64_t end = torva::TickMs() + 3000;
  int queued = 0;
  while (::ioctl(fd, FIONREAD, &queued) == 0 && queued < n && torva::TickMs() < end) ::usleep(2000);
  ::close(fd);
  return queued >= n;
}

// One simulated printer of the given model, stopped after each test, on the
// serial port or the USB socket; the editor's reads cut short and the
// printer's log waited on.
class SimPrinterEditorTest : public EditorTest {
 protected:
  // `logWaitMs`: how long WaitLog waits; `quickReadMs`: the read time-out
  // QuickReads sets when given none.
  explicit SimPrinterEditorTest(int model, int logWaitMs = 2000, int quickReadMs = 1000)
      : printer_(model), logWaitMs_(logWaitMs), quickReadMs_(quickReadMs) {}

  void TearDown() override {
    printer_.stop();
    unsetenv("TORVA_USB_SIM");
    EditorTest::TearDown();
  }

  // The printer behind the serial port, a pseudo-terminal.
  void UseSerial(int baud) {
    PortType = PortCOM;
    ComParameter.Name = printer_.startSerial();
    ComParameter.Baudrate = baud;
  }

  // The printer on the simulator's USB socket, reached by the port kind
  // given. `readWaitFloorMs` (0: none): the libraries' short read time-outs
  // are shorter than a loaded machine may take to run the printer's thread.
  void UseUsbSocket(int portKind, int readWaitFloorMs = 0) {
    socket_ = path("usb.sock").toStdString();
    printer_.startUsbSocket(socket_);
    if (readWaitFloorMs > 0) printer_.setUsbReadWaitFloorMs(readWaitFloorMs);
    setenv("TORVA_USB_SIM", socket_.c_str(), 1);
    PortType = portKind;
    USBParameter.X = 0;
    USBPrinterParameter.Name = printer_.printerName();
  }

  // A shorter read time-out, so that a silent printer costs less time (long
  // enough for a loaded machine to answer the reads that should succeed).
  template <class Form>
  void QuickReads(Form& form) {
    QuickReads(form, quickReadMs_);
  }
  template <class Form>
  static void QuickReads(Form& form, int ms) {
    torva::settings::PortStyle style = form.link().style();
    style.readTimeoutMs = ms;
    form.link().setStyle(style);
  }

  // Waits until the simulator has logged n frames.
  void WaitLog(size_t n) { ASSERT_TRUE(printer_.waitForLog(n, logWaitMs_)) << printer_.log().size(); }

  torva::sim::SimPrinter printer_;
  std::string socket_;  // the USB socket's path once one is used

 private:
  int logWaitMs_;
  int quickReadMs_;
};

// The serial port that takes 7 data bits (tests/common/FakeTermios.h).
using torva::testing::FakeTermios;

}  // namespace settings_test
