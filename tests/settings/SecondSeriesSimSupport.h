// What the tests of the POS-style editors against the simulated printer
// share: the texts of their boxes, the button states, the write commands of a
// Save, and a fixture with one simulated printer on a pseudo-terminal or the
// simulator's USB socket.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

#include "SettingsEditorTestSupport.h"
#include "link/PortState.h"
#include "settings/SecondSeriesEepromSet.h"
#include "settings/SecondSeriesMap.h"
#include "settings/SettingsFile.h"
#include "sim/SimPrinter.h"

namespace settings_test::second_series {

inline constexpr const char* kGetOk = "Get Eeprom data from printer successfully!";
inline constexpr const char* kGetFailed =
    "Fail to get data from the printer!\r\nPlease check whether the printer is connected to the specified port "
    "correctly.";
inline constexpr const char* kSaveOk = "After feeding paper,Please turn off the printer and turn it on!";
inline constexpr const char* kSaveFailed = "Save Eeprom settings unsuccessfully!";

inline constexpr torva::settings::second::ButtonStates kAllOn{true, true, true, true, true};
inline constexpr torva::settings::second::ButtonStates kAllButSave{true, false, true, true, true};

// Write commands for (address, value) pairs, back to back: what a Save sends.
inline torva::settings::Bytes WriteCommands(const std::vector<std::pair<int, int>>& values) {
  torva::settings::SettingsFileWriter w;
  for (const auto& [address, value] : values) w.SaveSettingsToFile(address, value);
  return w.Finish("");
}

// One simulated printer of the given model, stopped after each test; the
// editor's reads cut short, the printer's log waited on, the one box of an
// action taken.
class SecondSeriesSimFixture : public EditorTest {
 protected:
  explicit SecondSeriesSimFixture(int model) : printer_(model) {}

  void TearDown() override {
    printer_.stop();
    if (!socket_.empty()) unsetenv("TORVA_USB_SIM");
    EditorTest::TearDown();
  }

  // The printer behind the serial port, a pseudo-terminal at 19200 baud.
  void UseSerial() {
    PortType = PortCOM;
    ComParameter.Name = printer_.startSerial();
    ComParameter.Baudrate = 19200;
  }

  // The printer on the simulator's USB socket, reached by the port kind
  // given. `readWaitFloorMs` (0: none): the device library's 200 ms read
  // time-out is shorter than a loaded machine may take to run the printer's
  // thread.
  void UseUsbSocket(int portKind, int readWaitFloorMs) {
    socket_ = path("usb.sock").toStdString();
    printer_.startUsbSocket(socket_);
    if (readWaitFloorMs > 0) printer_.setUsbReadWaitFloorMs(readWaitFloorMs);
    setenv("TORVA_USB_SIM", socket_.c_str(), 1);
    PortType = portKind;
    USBParameter.X = 0;
    USBParameter.Name = "USB001";
    USBPrinterParameter.Name = printer_.printerName();
  }

  // A shorter read time-out, so that a silent printer costs less time (long
  // enough for a loaded machine to answer the reads that should succeed).
  static void QuickReads(TSecondSeriesEepromSetForm& form, int ms = 1000) {
    torva::settings::PortStyle style = form.link().style();
    style.readTimeoutMs = ms;
    form.link().setStyle(style);
  }

  void WaitLog(size_t n) { ASSERT_TRUE(printer_.waitForLog(n, 3000)) << printer_.log().size(); }

  // The one box the last action showed.
  RecordedMessage OneBox() {
    EXPECT_EQ(messages_.messages().size(), 1u);
    RecordedMessage m = messages_.messages().empty() ? RecordedMessage{} : messages_.messages().back();
    messages_.clear();
    return m;
  }

  torva::sim::SimPrinter printer_;
  std::string socket_;  // the USB socket's path once one is used
};

}  // namespace settings_test::second_series
