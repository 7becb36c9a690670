// scripts/run.sh --simulator, as a newcomer starts it: the simulated printer
// it starts is reached on "COM1" and on "USB", as a USB device or, with
// --usb-printer, as a USB printer alone. A stand-in for the console
// (usb_list_printers) counts the USB devices and lists the USB printers it
// finds where the console would look, so the test needs no display.
#include <gtest/gtest.h>

#include <string>

#include "RunScript.h"
#include "SimHelpers.h"

namespace {

struct ScriptCase {
  const char* options;  // for run.sh besides --simulator
  const char* devices;  // the stand-in's count of USB devices
  const char* shown;    // how run.sh says the dialog shows the USB socket
};

TEST(RunScript, SimulatorIsReachedOverUsbAndCom1) {
  // The simulated printer is a VD-K773 here, so the name listed on USB is
  // the one run.sh's printer answers, not a default. --usb-printer reaches
  // the simulator: no USB device then.
  const ScriptCase cases[] = {
      {"--model 12", "usb devices: 1\n", "(\"USB\" in the port dialog, listed as the USB device QFUSB-0)"},
      {"--model 12 --usb-printer", "usb devices: 0\n",
       "(\"USB\" in the port dialog, listed as a USB printer by its model name)"},
  };
  for (const ScriptCase& c : cases) {
    SCOPED_TRACE(c.options);
    simtest::TempDir dir;
    const auto [ok, out] =
        torva::test::RunScriptWithStandIn(dir.path, "tests/usb_list_printers", std::string("--simulator ") + c.options);
    EXPECT_TRUE(ok) << out;
    EXPECT_NE(out.find(c.devices), std::string::npos) << out;
    EXPECT_NE(out.find("usb printer: VD-K773\n"), std::string::npos) << out;
    EXPECT_NE(out.find("COM1: " + dir.path + "/torva-COM1-"), std::string::npos) << out;
    EXPECT_NE(out.find(c.shown), std::string::npos) << out;
  }
}

}  // namespace
