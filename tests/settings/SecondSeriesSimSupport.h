// What the tests of the POS-style editors against the simulated printer
// share: the texts of their boxes, the button states, the write commands of a
// Save, and the fixture of their printer.
#pragma once

#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "EditorSimSupport.h"
#include "SettingsEditorTestSupport.h"
#include "link/PortState.h"
#include "settings/SecondSeriesMap.h"
#include "settings/SettingsFile.h"

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

// The POS-style editors' printer: the serial port at 19200 baud, the USB
// device named, the log waited on for 3 s.
class SecondSeriesSimFixture : public SimPrinterEditorTest {
 protected:
  explicit SecondSeriesSimFixture(int model) : SimPrinterEditorTest(model, 3000, 1000) {}

  void UseSerial() { SimPrinterEditorTest::UseSerial(19200); }

  void UseUsbSocket(int portKind, int readWaitFloorMs) {
    SimPrinterEditorTest::UseUsbSocket(portKind, readWaitFloorMs);
    USBParameter.Name = "USB001";
  }

  // The one box the last action showed.
  RecordedMessage OneBox() {
    EXPECT_EQ(messages_.messages().size(), 1u);
    RecordedMessage m = messages_.messages().empty() ? RecordedMessage{} : messages_.messages().back();
    messages_.clear();
    return m;
  }
};

}  // namespace settings_test::second_series
