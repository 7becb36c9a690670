// scripts/run.sh --simulator with the simulator's USB options, as a newcomer
// tries the USB printer kind and the VD-K773's custom mode: the console's own
// port-setting dialog (port_dialog_probe, started by the script in the
// console's place) lists what the simulated printer offers on USB, and its OK
// with "Communication Test" configures the port, the custom mode found.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "RunScript.h"
#include "link/PortState.h"
#include "shell/ConnectionTest.h"

namespace {

struct ScriptCase {
  const char* name;
  const char* options;  // for run.sh
  int row;              // the model row chosen in the dialog
  std::vector<std::string> lines;  // what the dialog showed and stored
};

// The case by its name in the test list, not by its bytes.
void PrintTo(const ScriptCase& c, std::ostream* os) { *os << c.name; }

class RunScriptPortDialog : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(RunScriptPortDialog, DialogListsTheUsbKindAndOkConfiguresIt) {
  const ScriptCase& c = GetParam();
  char tmpl[] = "/tmp/torva-runscript-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const auto [ok, out] = torva::test::RunScriptWithStandIn(
      dir, "tests/port_dialog_probe", std::string(c.options) + " --row " + std::to_string(c.row),
      "QT_QPA_PLATFORM=offscreen");
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
  EXPECT_TRUE(ok) << out;
  for (const std::string& line : c.lines) EXPECT_NE(out.find(line + "\n"), std::string::npos) << line << "\n" << out;
}

const std::string kUsbDeviceKind = "port kind: " + std::to_string(PortUSB);
const std::string kUsbPrinterKind = "port kind: " + std::to_string(PortUSBPrinter);

INSTANTIATE_TEST_SUITE_P(
    UsbOptions, RunScriptPortDialog,
    ::testing::Values(
        // The default: a USB device, which hides the USB printers.
        ScriptCase{"Device",
                   "--simulator",
                   1,
                   {"usb device radio: shown", "usb printer radio: hidden", "usb entries: QFUSB-0", kUsbDeviceKind,
                    "port shown: QFUSB-0"}},
        ScriptCase{"Printer",
                   "--simulator --usb-printer",
                   1,
                   {"usb device radio: hidden", "usb printer radio: shown", "usb entries: VD-M512II",
                    "model: VD-M512II", "status line: ", kUsbPrinterKind, "port shown: VD-M512II",
                    "custom mode: 0, class mode 0, status bytes 0"}},
        // A VD-K773 on the USB printer: the framing probe finds its plain
        // mode, or its custom mode with the framing asked for.
        ScriptCase{"K773Plain",
                   "--simulator --usb-printer --model 12",
                   portset::kVDK773Row,
                   {"usb printer radio: shown", "usb entries: VD-K773", "model: VD-K773", kUsbPrinterKind,
                    "custom mode: 0, class mode 1, status bytes 2"}},
        ScriptCase{"K773Custom",
                   "--simulator --k773-custom",
                   portset::kVDK773Row,
                   {"usb device radio: hidden", "usb printer radio: shown", "usb entries: VD-K773", "model: VD-K773",
                    "status line: ", kUsbPrinterKind, "port shown: VD-K773",
                    "custom mode: 1, class mode 1, status bytes 2"}},
        ScriptCase{"K773CustomClassMode0",
                   "--k773-custom=0",
                   portset::kVDK773Row,
                   {"usb entries: VD-K773", kUsbPrinterKind, "custom mode: 1, class mode 0, status bytes 0"}}),
    [](const ::testing::TestParamInfo<ScriptCase>& i) { return std::string(i.param.name); });

}  // namespace
