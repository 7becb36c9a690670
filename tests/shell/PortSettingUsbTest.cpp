// The port-setting dialog on the two USB kinds against the simulated
// printer's USB socket: the device test, the printer test and the VD-K773
// framing probe.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "PortSettingFixture.h"
#include "link/USBUnit.h"
#include "shell/ConnectionTest.h"

using torva::sim::Bytes;
using torva::sim::Fault;
using torva::sim::FaultSpec;

namespace {

using PortSettingUsb = PortSettingFixture;

bool Contains(const Bytes& haystack, const Bytes& needle) {
  return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) != haystack.end();
}

// The USB printer radio is offered only when the simulated printer shows up
// as a printer-class device and no vendor USB device exists. The simulated
// printer always offers what the test started, so a missing radio is a fault.
#define REQUIRE_USB_PRINTER(f)                                                          \
  ASSERT_FALSE((f)->ui->USBPrinterRadio->isHidden())                                    \
      << "the simulated printer's USB printer-class device is not offered"

#define REQUIRE_USB_DEVICE(f)                                                           \
  ASSERT_TRUE((f)->ui->USBNameCbo->count() > 0 && !(f)->ui->USBRadio->isHidden())       \
      << "the simulated printer's USB device is not offered"

TEST_F(PortSettingUsb, DeviceTestSendsStatusQueryWithLineFeed) {
  StartUsbPrinter();
  auto f = Dialog();
  REQUIRE_USB_DEVICE(f);
  ASSERT_EQ(f->ui->USBNameCbo->count(), 1);
  const QString entry = f->ui->USBNameCbo->itemText(0);
  EXPECT_TRUE(entry.startsWith("QFUSB-"));
  // The probe keeps its findings in the dialog until OK.
  EXPECT_EQ(USBParameter.X, -1);
  EXPECT_EQ(USBParameter.Name, "QFUSB-0");
  f->ui->PrinterNameCBO->setCurrentIndex(1);
  f->ui->USBRadio->click();
  f->ui->CheckConnect->setChecked(true);
  f->OpenPortButtonClick();
  EXPECT_EQ(f->ui->Label2->text(), "");
  EXPECT_EQ(PortType.load(), PortUSB);
  EXPECT_EQ(USBParameter.X, entry.right(1).toInt());
  EXPECT_EQ(USBParameter.m_hdev.load(), -1);
  EXPECT_EQ(PortDisplay, entry.toStdString());
  EXPECT_EQ(main->PanelText(0), "Port:" + entry);
  ASSERT_TRUE(printer.waitForLog(1, 2000));
  EXPECT_TRUE(Contains(printer.receivedBytes(), Bytes{0x1D, 0x72, 0x01, 0x0A}));
}

TEST_F(PortSettingUsb, DeviceHidesThePrintersAndTwoDevicesAreRefused) {
  torva::sim::UsbSimOptions options;
  options.devicePositions = {3};
  StartUsbPrinter(options);
  USBParameter.X = 5;  // a device that is gone: the first entry is chosen
  auto f = Dialog();
  ASSERT_EQ(f->ui->USBNameCbo->count(), 1);
  EXPECT_EQ(f->ui->USBNameCbo->itemText(0), "QFUSB-3");
  EXPECT_EQ(f->ui->USBNameCbo->currentIndex(), 0);
  EXPECT_TRUE(f->ui->USBPrinterRadio->isHidden());
  EXPECT_FALSE(f->ui->USBRadio->isHidden());
  EXPECT_TRUE(f->ui->USBRadio->isEnabled());
  EXPECT_EQ(f->usbProbe().indexes, std::vector<int>{3});
  EXPECT_EQ(f->usbProbe().ids, std::vector<int>{0x10000 + 2});

  printer.stop();
  options.devicePositions = {1, 4};
  StartUsbPrinter(options);
  MessageRecorder recorder;
  f = Dialog();
  ASSERT_EQ(f->ui->USBNameCbo->count(), 2);
  f->ui->USBRadio->click();
  f->OpenPortButtonClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Information);
  EXPECT_EQ(recorder.messages()[0].text, "Please make sure that only one USB-Printer is on-line at the same time!");
  EXPECT_EQ(f->ui->Label2->text(), "");
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_NE(f->result(), QDialog::Accepted);
}

TEST_F(PortSettingUsb, DeviceThatDoesNotAnswerFails) {
  StartUsbPrinter();
  printer.setFault(FaultSpec{Fault::NoReply});
  auto f = Dialog();
  REQUIRE_USB_DEVICE(f);
  f->ui->USBRadio->click();
  f->ui->CheckConnect->setChecked(true);
  f->OpenPortButtonClick();
  EXPECT_EQ(f->ui->Label2->text(), "Can't open the USB port!");
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_EQ(USBParameter.m_hdev.load(), -1);
}

// A device that keeps sending by itself never goes quiet: the test's drain
// reaches its 2000 ms bound with bytes still arriving, and the test fails
// rather than take the next stray byte for the printer's reply.
TEST_F(PortSettingUsb, DeviceThatNeverStopsSendingFailsTheTest) {
  StartUsbPrinter();
  auto f = Dialog();
  REQUIRE_USB_DEVICE(f);
  f->ui->PrinterNameCBO->setCurrentIndex(1);
  f->ui->USBRadio->click();
  f->ui->CheckConnect->setChecked(true);
  // Every read of the drain finds bytes waiting.
  printer.setUsbBabble(true);
  const auto start = std::chrono::steady_clock::now();
  f->OpenPortButtonClick();
  const auto elapsed = std::chrono::steady_clock::now() - start;
  printer.setUsbBabble(false);
  EXPECT_EQ(f->ui->Label2->text(), "Can't open the USB port!");
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_EQ(USBParameter.m_hdev.load(), -1);
  EXPECT_NE(f->result(), QDialog::Accepted);
  EXPECT_GE(elapsed, std::chrono::milliseconds(1990));  // it ended at the drain's bound (whole ms ticks)
}

TEST_F(PortSettingUsb, PrinterGetsAutomaticStatusAlwaysAndTheTestWhenTicked) {
  StartUsbPrinterOnly();
  for (bool test : {false, true}) {
    SCOPED_TRACE(test ? "with test" : "without test");
    printer.clearLog();
    auto f = Dialog();
    REQUIRE_USB_PRINTER(f);
    f->ui->PrinterNameCBO->setCurrentIndex(1);  // VD-M512II
    f->ui->USBPrinterRadio->click();
    f->ui->CheckConnect->setChecked(test);
    const QString name = f->ui->USBNameCbo->currentText();
    f->OpenPortButtonClick();
    EXPECT_EQ(f->ui->Label2->text(), "");
    EXPECT_EQ(PortType.load(), PortUSBPrinter);
    EXPECT_EQ(USBPrinterParameter.Name, name.toStdString());
    EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
    EXPECT_EQ(PortDisplay, name.toStdString());
    ASSERT_TRUE(printer.waitForLog(test ? 2 : 1, 2000));
    const Bytes sent = printer.receivedBytes();
    EXPECT_TRUE(Contains(sent, Bytes{0x1D, 0x61, 0xFF}));
    EXPECT_EQ(Contains(sent, Bytes{0x1D, 0x72, 0x01, 0x0A}), test);
  }
}

// A printer without a name before the simulated one: both are listed, the
// nameless one by its IDs, and the simulated printer can still be chosen.
TEST_F(PortSettingUsb, PrinterWithoutANameDoesNotEndTheList) {
  torva::sim::UsbSimOptions options;
  options.devicePositions.clear();
  options.otherPrinters = {""};
  options.printerIndex = 1;
  StartUsbPrinter(options);
  auto f = Dialog();
  REQUIRE_USB_PRINTER(f);
  f->ui->PrinterNameCBO->setCurrentIndex(1);  // VD-M512II
  f->ui->USBPrinterRadio->click();
  QStringList listed;
  for (int i = 0; i < f->ui->USBNameCbo->count(); ++i) listed << f->ui->USBNameCbo->itemText(i);
  EXPECT_EQ(listed, (QStringList{"USB Printer F0A7:0100", QString::fromStdString(printer.printerName())}));
  f->ui->USBNameCbo->setCurrentIndex(1);
  f->OpenPortButtonClick();
  EXPECT_EQ(PortType.load(), PortUSBPrinter);
  EXPECT_EQ(USBPrinterParameter.Name, printer.printerName());
}

TEST_F(PortSettingUsb, PrinterThatDoesNotAnswerFailsInChinese) {
  Language = "Chinese";
  printer.setFault(FaultSpec{Fault::NoReply});
  StartUsbPrinterOnly();
  auto f = Dialog();
  REQUIRE_USB_PRINTER(f);
  f->ui->PrinterNameCBO->setCurrentIndex(1);
  f->ui->USBPrinterRadio->click();
  f->ui->CheckConnect->setChecked(true);
  f->OpenPortButtonClick();
  EXPECT_EQ(f->ui->Label2->text(), QString::fromUtf8("打开端口失败！"));
  EXPECT_EQ(main->PanelText(0), QString::fromUtf8("端口:"));
  EXPECT_EQ(PortType.load(), PortNone);
}

// ---- the VD-K773 framing probe ---------------------------------------------------------------

struct ProbeCase {
  int classMode;
  int statusBytes;  // configured in the simulated printer
  int printerMode;  // setting C4; its low byte is the custom-mode flag
};

// Whether the simulated printer answers the second probe query (setting C4)
// in class mode 0 with the nine bytes the probe reads. Asked on a custom
// connection of its own before the dialog runs.
bool SimAnswersNineByteModeReplyInClassMode0() {
  if (UsbPrinter::OpenQfUSBPrinter(1) <= 0) return false;
  UsbPrinter::SetPortTimeout(3000, 2000);
  const uint8_t q1[] = {0x1B, 0x6A, 0x6F}, q2[] = {0x1B, 0x6A, 0xC4};
  uint8_t reply[16] = {};
  UsbPrinter::WriteQfUSBPrinter(q1, 3);
  UsbPrinter::ReadQfUSBPrinter(reply, 9);
  UsbPrinter::WriteQfUSBPrinter(q2, 3);
  const int got = UsbPrinter::ReadQfUSBPrinter(reply, 9);
  UsbPrinter::CloseQfUSBPrinter();
  return got == 9;
}

class PortSettingK773 : public PortSettingFixture, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(PortSettingK773, ProbeMeasuresTheFraming) {
  const ProbeCase c = GetParam();
  printer.setModel(ModelVDK773);
  printer.setK773Custom(true, c.classMode, c.statusBytes);
  printer.setSetting(0xC4, static_cast<uint16_t>(c.printerMode));
  StartUsbPrinterOnly();
  auto f = Dialog();
  REQUIRE_USB_PRINTER(f);
  if (c.classMode == 0) {
    ASSERT_TRUE(SimAnswersNineByteModeReplyInClassMode0())
        << "the simulated VD-K773 answers the C4 query in class mode 0 with fewer than 9 bytes";
  }
  printer.clearLog();
  f->ui->PrinterNameCBO->setCurrentIndex(portset::kVDK773Row);
  f->ui->USBPrinterRadio->click();
  f->ui->CheckConnect->setChecked(true);
  const std::string name = f->ui->USBNameCbo->currentText().toStdString();
  f->OpenPortButtonClick();
  EXPECT_EQ(f->ui->Label2->text(), "");
  EXPECT_EQ(PortType.load(), PortUSBPrinter);
  EXPECT_EQ(PrinterName.load(), ModelVDK773);
  EXPECT_EQ(is773Costom.load(), c.printerMode & 0xFF);
  EXPECT_EQ(iUSBClassMode.load(), c.classMode);
  // The printer reports no status bytes in class mode 0.
  EXPECT_EQ(iStatusBytes.load(), c.classMode == 1 ? c.statusBytes : 0);
  EXPECT_EQ(iPrinterID.load(), f->FindPinterIDByPrinterName(name));
  EXPECT_GE(iPrinterID.load(), 1);
  EXPECT_EQ(USBPrinterParameter.Name, name);
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
  EXPECT_EQ(IsK773CustomMode(), c.printerMode == 1);
  ASSERT_TRUE(printer.waitForLog(3, 2000));
  const Bytes sent = printer.receivedBytes();
  EXPECT_TRUE(Contains(sent, Bytes{0x1B, 0x6A, 0x6F, 0x1B, 0x6A, 0xC4, 0x0A}));
}

INSTANTIATE_TEST_SUITE_P(ClassModesAndStatusBytes, PortSettingK773,
                         ::testing::Values(ProbeCase{0, 0, 1}, ProbeCase{0, 2, 1}, ProbeCase{1, 0, 1},
                                           ProbeCase{1, 2, 1}, ProbeCase{1, 2, 0},
                                           ProbeCase{1, portset::kK773MaxStatusBytes, 1}),
                         [](const ::testing::TestParamInfo<ProbeCase>& i) {
                           return "Class" + std::to_string(i.param.classMode) + "Status" +
                                  std::to_string(i.param.statusBytes) + "Mode" + std::to_string(i.param.printerMode);
                         });

TEST_F(PortSettingUsb, K773ProbeRefusesMoreStatusBytesThanItsBufferHolds) {
  printer.setModel(ModelVDK773);
  printer.setK773Custom(true, 1, portset::kK773MaxStatusBytes + 1);
  printer.setSetting(0xC4, 0x0001);
  StartUsbPrinterOnly();
  auto f = Dialog();
  REQUIRE_USB_PRINTER(f);
  f->ui->PrinterNameCBO->setCurrentIndex(portset::kVDK773Row);
  f->ui->USBPrinterRadio->click();
  f->OpenPortButtonClick();
  EXPECT_EQ(f->ui->Label2->text(), "Can't open the USB port!");
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_EQ(is773Costom.load(), 0);
  EXPECT_EQ(iStatusBytes.load(), 0);
}

TEST_F(PortSettingUsb, K773ShortProbeReplyIsRefused) {
  printer.setModel(ModelVDK773);
  printer.setK773Custom(true, 1, 2);
  printer.setSetting(0xC4, 0x0001);
  printer.setFault(FaultSpec{Fault::ShortReply});
  StartUsbPrinterOnly();
  auto f = Dialog();
  REQUIRE_USB_PRINTER(f);
  f->ui->PrinterNameCBO->setCurrentIndex(portset::kVDK773Row);
  f->ui->USBPrinterRadio->click();
  f->OpenPortButtonClick();
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_EQ(is773Costom.load(), 0);
  EXPECT_EQ(iUSBClassMode.load(), 0);
  EXPECT_EQ(USBPrinterParameter.m_hdev.load(), -1);
}

}  // namespace
