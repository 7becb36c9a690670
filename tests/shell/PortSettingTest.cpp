// The port-setting dialog end to end: the real dialog (offscreen) against the
// simulated printer, plus the widget-free pieces it is made of.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAction>
#include <QAbstractButton>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <atomic>
#include <chrono>

#include <gmock/gmock.h>

#include "CaptionCheck.h"
#include "EventWait.h"
#include "PortSettingFixture.h"
#include "link/SerialIo.h"
#include "shell/ConnectionTest.h"
#include "shell/MenuEnables.h"
#include "ui_MainForm.h"

using torva::sim::Bytes;
using torva::sim::Fault;
using torva::sim::FaultSpec;

namespace {

// ---- the model list ---------------------------------------------------------------

struct RowCase {
  int row;
  const char* model;
  int trailingBlanks;
  int code;
};
constexpr RowCase kRows[] = {
    {0, "VD-M512", 5, 1},      {1, "VD-M512II", 1, 2},  {2, "VD-N512", 2, 0},     {3, "VD-K201", 4, 7},
    {4, "VD-K305", 1, 3},      {5, "VD-K466", 5, 17},   {6, "VD-K512", 5, 8},     {7, "VD-K9034", 0, 13},
    {8, "VD-K772", 0, 11},     {9, "VD-K772II", 0, 16}, {10, "VD-K773", 0, 12},   {11, "VD-H738", 0, 18},
    {12, "RW-K201", 1, 4},     {13, "RW-K201E", 0, 10}, {14, "RW-K305", 0, 6},    {15, "RW-K305GII", 1, 14},
    {16, "RW-K305W", 5, 15},   {17, "RW-K305E", 4, 9},  {18, "RWN-K409", 1, 5},
};

TEST(PortSettingModelList, RowsTextsAndCodes) {
  for (const RowCase& c : kRows) {
    SCOPED_TRACE(c.model);
    const std::string expected = std::string(c.model) + std::string(static_cast<size_t>(c.trailingBlanks), ' ');
    EXPECT_EQ(portset::ModelRowText(c.row), expected);
    EXPECT_EQ(portset::ModelCodeForRow(c.row), c.code);
    EXPECT_EQ(portset::ModelRowForCode(c.code), c.row);
    EXPECT_STREQ(PrinterModelText(c.code), c.model);
    EXPECT_EQ(portset::RowUsesNibbleLPT(c.row), c.code == ModelVDK512);
  }
  EXPECT_EQ(portset::ModelCodeForRow(19), -1);
  EXPECT_EQ(portset::ModelRowForCode(19), -1);
  EXPECT_EQ(portset::ModelRowForCode(-1), -1);
}

// ---- the USB printer name buffer and the address text --------------------------------------

portset::UsbNameBuffer Buffer(const std::string& zeroSeparated) {
  portset::UsbNameBuffer b{};
  std::copy_n(zeroSeparated.begin(), std::min(zeroSeparated.size(), b.size()), b.begin());
  return b;
}

TEST(PortSettingUsbNames, WalkStopsAtTheLastNameAndTheBufferEnd) {
  const std::string two("VD-K773\0RW-K201\0", 16);
  auto b = Buffer(two);
  EXPECT_EQ(portset::UsbPrinterNames(b, 2), (std::vector<std::string>{"VD-K773", "RW-K201"}));
  // A library that reports more printers than it wrote gives no empty names.
  EXPECT_EQ(portset::UsbPrinterNames(b, 9), (std::vector<std::string>{"VD-K773", "RW-K201"}));
  EXPECT_EQ(portset::UsbPrinterNames(b, 1), (std::vector<std::string>{"VD-K773"}));
  EXPECT_TRUE(portset::UsbPrinterNames(b, 0).empty());
  EXPECT_EQ(portset::FindPinterIDByPrinterName(b, "RW-K201"), 2);
  EXPECT_EQ(portset::FindPinterIDByPrinterName(b, "VD-K773"), 1);
  EXPECT_EQ(portset::FindPinterIDByPrinterName(b, "VD-K77"), 0);

  // A buffer filled to its last byte without a terminator: the walk ends at
  // the buffer's end (ASan catches a step beyond it).
  portset::UsbNameBuffer full;
  full.fill('A');
  const auto names = portset::UsbPrinterNames(full, 300);
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(names[0].size(), full.size());
  EXPECT_EQ(portset::FindPinterIDByPrinterName(full, "B"), 0);
}

TEST(PortSettingAddress, TextFromBoxesOrSearch) {
  EXPECT_EQ(portset::IpAddressText(true, false, {"192", "168", "1", "20"}, "10.0.0.1"), "192.168.1.20");
  EXPECT_EQ(portset::IpAddressText(false, true, {"192", "168", "1", "20"}, "10.0.0.1"), "10.0.0.1");
  EXPECT_EQ(portset::IpAddressText(false, false, {"1", "2", "3", "4"}, "x"), "");
  EXPECT_EQ(portset::IpAddressText(true, false, {"a", "", "3", "4"}, ""), "a..3.4");  // as typed
  EXPECT_EQ(portset::IpAddressText(true, false, {std::string(256, '1'), "2", "3", "4"}, ""), "");
  EXPECT_EQ(portset::SplitAddressList(" 127.0.0.1@127.0.0.2@ "),
            (std::vector<std::string>{"127.0.0.1", "127.0.0.2"}));
  EXPECT_EQ(portset::SplitAddressList("127.0.0.1"), (std::vector<std::string>{"127.0.0.1"}));
  EXPECT_TRUE(portset::SplitAddressList("").empty());
  EXPECT_EQ(portset::UsbEntryIndex("QFUSB-3"), 3);
  EXPECT_EQ(portset::UsbEntryIndex("QFUSB-"), -1);
}

// ---- opening the dialog -------------------------------------------------------------------

using PortSettingDialog = PortSettingFixture;

TEST_F(PortSettingDialog, OpensWithTheStoredChoiceAndTheRadiosOfNoUsb) {
  PrinterName = ModelVDK201;
  ComParameter.Name = "COM3";
  ComParameter.Baudrate = 9600;
  ComParameter.Databits = 7;
  ComParameter.Stopbits = 2;
  ComParameter.Parity = "Odd";
  ComParameter.Handshake = "XON/XOFF";  // not in the list: left unselected
  LPTParameter.Name = "LPT2";
  bCheckConnect = true;
  auto f = Dialog();
  EXPECT_EQ(f->ui->PrinterNameCBO->currentIndex(), 3);
  EXPECT_EQ(f->ui->cboPortName->currentText(), "COM3");
  EXPECT_EQ(f->ui->cboBaudrate->currentText(), "9600");
  EXPECT_EQ(f->ui->cboDataBits->currentText(), "7");
  EXPECT_EQ(f->ui->cboStopbits->currentText(), "2");
  EXPECT_EQ(f->ui->cboParity->currentText(), "Odd");
  EXPECT_EQ(f->ui->cboFlowControl->currentIndex(), -1);
  EXPECT_EQ(f->ui->LPTCBO->currentText(), "LPT2");
  EXPECT_EQ(f->ui->NibbleLPTCBO->currentText(), "LPT2");
  EXPECT_FALSE(f->ui->LPTCBO->isHidden());
  EXPECT_TRUE(f->ui->NibbleLPTCBO->isHidden());
  EXPECT_EQ(f->ui->Edit_IP1->text(), "0");
  EXPECT_EQ(f->ui->Edit_IP4->text(), "0");
  EXPECT_TRUE(f->ui->RBSetIp->isChecked());
  EXPECT_TRUE(f->ui->CheckConnect->isChecked());
  EXPECT_TRUE(f->ui->COMRadio->isChecked());
  EXPECT_TRUE(f->ui->cboPortName->isEnabled());
  EXPECT_FALSE(f->ui->LPTCBO->isEnabled());
  // Ethernet laid out disabled, the spooler hidden, no USB: the USB radio
  // shows disabled and the USB printer radio stays hidden.
  EXPECT_FALSE(f->ui->NetRadio->isEnabled());
  EXPECT_TRUE(f->ui->DriverRadio->isHidden());
  EXPECT_FALSE(f->ui->USBRadio->isHidden());
  EXPECT_FALSE(f->ui->USBRadio->isEnabled());
  EXPECT_TRUE(f->ui->USBPrinterRadio->isHidden());
  EXPECT_EQ(f->ui->PrinterNameCBO->maxVisibleItems(), 12);

  PrinterName = ModelRWK201;
  EXPECT_EQ(Dialog()->ui->PrinterNameCBO->currentIndex(), 12);
}

TEST_F(PortSettingDialog, ConfiguredUsbKindThatIsGoneIsUnconfiguredButSerialIsNot) {
  PortType = PortUSB;
  USBParameter.X = 0;
  auto f = Dialog();
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_TRUE(f->ui->COMRadio->isChecked());

  PortType = PortUSBPrinter;
  USBPrinterParameter.Name = "VD-K773";
  f = Dialog();
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_TRUE(f->ui->COMRadio->isChecked());

  // A serial or parallel port stays configured although no USB exists.
  for (int kind : {PortCOM, PortLPT}) {
    PortType = kind;
    f = Dialog();
    EXPECT_EQ(PortType.load(), kind);
    EXPECT_EQ(f->ui->LPTRadio->isChecked(), kind == PortLPT);
  }
}

TEST_F(PortSettingDialog, ModelChoiceSwitchesTheParallelListAndTheTestBox) {
  PortType = PortLPT;
  auto f = Dialog();
  ASSERT_TRUE(f->ui->LPTRadio->isChecked());
  EXPECT_TRUE(f->ui->CheckConnect->isHidden());  // plain parallel: no test
  f->ui->PrinterNameCBO->setCurrentIndex(portset::kVDK512Row);
  f->PrinterNameCBOChange();
  EXPECT_FALSE(f->ui->NibbleLPTCBO->isHidden());
  EXPECT_TRUE(f->ui->LPTCBO->isHidden());
  EXPECT_FALSE(f->ui->CheckConnect->isHidden());
  f->ui->PrinterNameCBO->setCurrentIndex(0);
  f->PrinterNameCBOChange();
  EXPECT_TRUE(f->ui->NibbleLPTCBO->isHidden());
  EXPECT_FALSE(f->ui->LPTCBO->isHidden());
  EXPECT_TRUE(f->ui->CheckConnect->isHidden());
  f->ui->COMRadio->click();
  EXPECT_FALSE(f->ui->CheckConnect->isHidden());
  EXPECT_FALSE(f->ui->LPTCBO->isEnabled());
  EXPECT_TRUE(f->ui->cboBaudrate->isEnabled());
}

TEST_F(PortSettingDialog, CaptionsInBothLanguages) {
  auto f = Dialog();
  f->SetCaptions("English");
  EXPECT_EQ(f->windowTitle(), "Port Setting");
  EXPECT_EQ(f->ui->PrintNameLabel->text(), "Printer Model:");
  EXPECT_EQ(f->ui->BaudRateLabel->text(), "Baudrate:");
  EXPECT_EQ(f->ui->OpenPortButton->text(), "&OK");
  EXPECT_EQ(f->ui->RBAutoGetIP->text(), "Auto Get IP:");
  f->SetCaptions("Chinese");
  EXPECT_EQ(f->windowTitle(), QString::fromUtf8("端口设置"));
  EXPECT_EQ(f->ui->GroupBox3->title(), QString::fromUtf8("USB口"));
  EXPECT_EQ(f->ui->PrintNameLabel->text(), QString::fromUtf8("打印机型号："));
  EXPECT_EQ(f->ui->LPTNameLabel->text(), QString::fromUtf8("端口名称："));
  EXPECT_EQ(f->ui->ParityLabel->text(), QString::fromUtf8("奇偶校验："));
  EXPECT_EQ(f->ui->OpenPortButton->text(), QString::fromUtf8("打开(&O)"));
  EXPECT_EQ(f->ui->Label1->text(), QString::fromUtf8("状态："));
  EXPECT_EQ(f->ui->RBSetIp->text(), QString::fromUtf8("设置IP："));
}

// Every caption pair of the dialog, exactly as the opener sets it (full-width
// colons in Chinese, "&" accelerators).
TEST_F(PortSettingDialog, EveryCaptionPairOfTheTable) {
  struct Caption {
    const char* control;
    const char* english;
    const char* chinese;
  };
  const Caption kCaptions[] = {
      {"GroupBox1", "COM", "串口"},
      {"COMRadio", "COM", "串口"},
      {"GroupBox2", "LPT", "并口"},
      {"LPTRadio", "LPT", "并口"},
      {"GroupBox3", "USB", "USB口"},
      {"USBRadio", "USB", "USB"},
      {"USBPrinterRadio", "USB", "USB"},
      {"GroupBox5", "Select Printer", "选择打印机"},
      {"PrintNameLabel", "Printer Model:", "打印机型号："},
      {"COMNameLabel", "Port Name:", "端口名称："},
      {"LPTNameLabel", "Port Name:", "端口名称："},
      {"USBNameLabel", "Port Name:", "端口名称："},
      {"BaudRateLabel", "Baudrate:", "每秒位数："},
      {"DataBitsLabel", "Data Bits:", "数据位："},
      {"StopBitsLabel", "Stop Bits:", "停止位："},
      {"ProtocolLabel", "Protocol:", "流控制："},
      {"ParityLabel", "Parity:", "奇偶校验："},
      {"CheckConnect", "Communication Test", "连接测试"},
      {"OpenPortButton", "&OK", "打开(&O)"},
      {"CancelButton", "&Cancel", "取消(&C)"},
      {"Label1", "Status:", "状态："},
      {"NetRadio", "Ethernet", "以太网"},
      {"GroupBox6", "Net Setting", "以太网设置"},
      {"RBSetIp", "Set IP:", "设置IP："},
      {"RBAutoGetIP", "Auto Get IP:", "自动获取IP："},
  };
  auto f = Dialog();
  for (bool english : {true, false}) {
    f->SetCaptions(english ? "English" : "Chinese");
    EXPECT_EQ(f->windowTitle(), QString::fromUtf8(english ? "Port Setting" : "端口设置"));
    for (const Caption& c : kCaptions) {
      QObject* o = f->findChild<QObject*>(c.control);
      QString text = "<missing>";
      if (auto* g = qobject_cast<QGroupBox*>(o)) text = g->title();
      else if (auto* b = qobject_cast<QAbstractButton*>(o)) text = b->text();
      else if (auto* l = qobject_cast<QLabel*>(o)) text = l->text();
      EXPECT_EQ(text, QString::fromUtf8(english ? c.english : c.chinese)) << c.control;
    }
  }
}

// ---- OK on the serial port ---------------------------------------------------------------

TEST_F(PortSettingDialog, SerialTestSendsStatusQueryThenFeedAndConfigures) {
  StartSerialPrinter();
  auto f = Dialog();
  ChooseSerial(*f, 1, "COM1", true);
  f->ui->cboBaudrate->setCurrentText("115200");
  f->OpenPortButtonClick();
  EXPECT_EQ(f->result(), QDialog::Accepted);
  EXPECT_EQ(PortType.load(), PortCOM);
  EXPECT_EQ(PrinterName.load(), ModelVDM512II);
  EXPECT_EQ(ComParameter.Name, "COM1");
  EXPECT_EQ(ComParameter.Baudrate, 115200);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);  // closed again
  EXPECT_EQ(PortDisplay, "COM1");
  EXPECT_TRUE(bCheckConnect);
  EXPECT_EQ(main->PanelText(0), "Port:COM1");
  EXPECT_EQ(main->PanelText(1), "Driver:");
  EXPECT_TRUE(PrinterPanelHidden()) << "a label without a value stays out of sight";
  ASSERT_TRUE(printer.waitForLog(2, 2000));
  EXPECT_EQ(printer.receivedBytes(), (Bytes{0x1D, 0x72, 0x01, 0x0A}));
}

TEST_F(PortSettingDialog, SerialWithoutTestSendsNothing) {
  StartSerialPrinter();
  auto f = Dialog();
  ChooseSerial(*f, 0, "COM1", false);
  f->OpenPortButtonClick();
  EXPECT_EQ(PortType.load(), PortCOM);
  EXPECT_FALSE(bCheckConnect);
  EXPECT_FALSE(printer.waitForLog(1, 200));
}

// ---- a printer that keeps the connection test waiting ------------------------------------

// The printer at the other end of the XOFF road.
torva::sim::SimPrinter* gXoffPrinter = nullptr;
std::atomic<bool> gXoffSent{false};

// Before the test's first write reaches the line, the printer sends XOFF
// (and a byte behind it: once that byte is queued, the port has taken the
// XOFF and stopped its output).
ssize_t WriteAfterXoff(int fd, const void* data, size_t n) {
  if (!gXoffSent.exchange(true)) {
    gXoffPrinter->sendUnsolicited(Bytes{0x13, 0x00});
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) == 1) {
      uint8_t b;
      (void)!read(fd, &b, 1);
    }
  }
  return serialio::RealWrite(fd, data, n);
}

// A line whose CTS stays low: what is written never leaves the port.
int HeldOutQueue(int, int* count) {
  *count = 3;
  return 0;
}

// The connection test waits for the printer with the window painting: timers
// on the window's thread run and the dialog repaints, a click on Cancel made
// meanwhile is dropped. A silent printer fails the test after the 3 s read; a
// printer that holds the status query back (XOFF, or CTS held low under the
// dialog's DTR/DSR, which the port maps to RTS/CTS) fails it once it has taken
// nothing for 4 s, not after the write time-out of 8 s.
TEST_F(PortSettingDialog, APrinterThatKeepsTheTestWaitingFailsItWithTheWindowPainting) {
  StartSerialPrinter();
  gXoffPrinter = &printer;
  SerialCalls cts = RealSerialCalls();
  cts.outQueue = HeldOutQueue;
  SerialCalls xoff = RealSerialCalls();
  xoff.write = WriteAfterXoff;
  struct Case {
    const char* what;
    Fault fault;
    const SerialCalls& calls;
    const char* handshake;
    int minMs, maxMs;
  } cases[] = {
      {"silent printer", Fault::NoReply, RealSerialCalls(), "DTR/DSR", 2900, 4500},
      {"CTS held low", Fault::None, cts, "DTR/DSR", serialio::kPrinterStallMs - 100, 6000},
      // The dialog lists DTR/DSR only; the XON/XOFF road is the port's for
      // that text. Last: the port stays stopped until the next open sets it
      // up without XON/XOFF.
      {"XOFF", Fault::None, xoff, "XON/XOFF", serialio::kPrinterStallMs - 100, 6000},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    printer.setFault(FaultSpec{c.fault});
    printer.clearLog();
    gXoffSent = false;
    PortType = PortCOM;  // configured before: a failed OK unconfigures it
    bCheckConnect = false;
    auto f = Dialog();
    ChooseSerial(*f, 0, "COM1", true);
    if (f->ui->cboFlowControl->findText(c.handshake) < 0) f->ui->cboFlowControl->addItem(c.handshake);
    f->ui->cboFlowControl->setCurrentText(c.handshake);
    f->show();
    ASSERT_TRUE(torva::testing::WaitFor([&] { return f->isVisible(); }, 5000));

    bool waiting = false;
    int ticks = 0;
    torva::testing::PaintWatch paints(f.get(), &waiting);
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
      if (!waiting) return;
      if (++ticks == 3) torva::testing::PostClick(f->ui->CancelButton);
      f->update();
    });
    tick.start(20);
    ScopedSerialCalls seam(c.calls);
    waiting = true;
    const auto t0 = std::chrono::steady_clock::now();
    f->OpenPortButtonClick();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    waiting = false;
    tick.stop();

    EXPECT_GE(ms, c.minMs);
    EXPECT_LT(ms, c.maxMs);
    EXPECT_GE(ticks, 3) << "the window's timers ran during the test";
    EXPECT_GT(paints.paints, 0) << "the dialog painted during the test";
    QApplication::processEvents();
    EXPECT_TRUE(f->isVisible()) << "the click on Cancel was dropped";
    EXPECT_EQ(f->result(), 0);
    EXPECT_EQ(f->ui->Label2->text(), "Can't open the COM port!");
    EXPECT_EQ(PortType.load(), PortNone);
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);
    EXPECT_FALSE(bCheckConnect);  // not updated by a failure
    EXPECT_EQ(main->PanelText(0), "Port:");
    EXPECT_EQ(main->PanelText(1), "Driver:");
    EXPECT_TRUE(PrinterPanelHidden());
    EXPECT_EQ(printer.log("FeedLine").size(), 0u);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);  // the arrow is back
  }
  printer.clearFault();
  gXoffPrinter = nullptr;
}

TEST_F(PortSettingDialog, PortHeldByAnotherProgramFailsInChinese) {
  StartSerialPrinter();
  Language = "Chinese";
  const int other = ::open((dir + "/com1").c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GT(other, 0);
  ASSERT_EQ(flock(other, LOCK_EX | LOCK_NB), 0);
  auto f = Dialog();
  ChooseSerial(*f, 0, "COM1", false);
  f->OpenPortButtonClick();
  EXPECT_EQ(f->ui->Label2->text(), QString::fromUtf8("打开端口失败！"));
  EXPECT_EQ(main->PanelText(0), QString::fromUtf8("端口:"));
  EXPECT_EQ(PortType.load(), PortNone);
  ::close(other);

  // Free again: the same OK succeeds, and the status bar speaks Chinese.
  f->OpenPortButtonClick();
  EXPECT_EQ(PortType.load(), PortCOM);
  EXPECT_EQ(main->PanelText(0), QString::fromUtf8("端口:COM1"));
}

TEST_F(PortSettingDialog, CancelAfterConfiguredSerialChangesNothing) {
  StartSerialPrinter();
  {
    auto f = Dialog();
    ChooseSerial(*f, 3, "COM1", true);
    f->ui->cboBaudrate->setCurrentText("9600");
    f->OpenPortButtonClick();
    ASSERT_EQ(PortType.load(), PortCOM);
  }
  const std::string display = PortDisplay;
  auto f = Dialog();
  // The dialog shows what was stored.
  EXPECT_EQ(f->ui->PrinterNameCBO->currentIndex(), 3);
  EXPECT_EQ(f->ui->cboBaudrate->currentText(), "9600");
  EXPECT_TRUE(f->ui->COMRadio->isChecked());
  // The user changes everything, then cancels.
  ChooseSerial(*f, 15, "COM2", false);
  f->ui->cboBaudrate->setCurrentText("4800");
  f->ui->cboDataBits->setCurrentText("7");
  f->ui->cboParity->setCurrentText("Even");
  f->ui->LPTRadio->click();
  f->ui->CancelButton->click();
  EXPECT_EQ(f->result(), QDialog::Rejected);
  EXPECT_EQ(PortType.load(), PortCOM);
  EXPECT_EQ(PrinterName.load(), ModelVDK201);
  EXPECT_EQ(ComParameter.Name, "COM1");
  EXPECT_EQ(ComParameter.Baudrate, 9600);
  EXPECT_EQ(ComParameter.Databits, 8);
  EXPECT_EQ(ComParameter.Parity, "None");
  EXPECT_EQ(PortDisplay, display);
  EXPECT_TRUE(bCheckConnect);
  EXPECT_EQ(USBParameter.X, -1);
  EXPECT_EQ(USBParameter.Name, "QFUSB-0");
}

TEST_F(PortSettingDialog, EveryOkClearsTheK773CustomFlags) {
  StartSerialPrinter();
  PrinterName = ModelVDK773;
  PortType = PortUSBPrinter;
  is773Costom = 1;
  iUSBClassMode = 1;
  iStatusBytes = 2;
  auto f = Dialog();
  ChooseSerial(*f, portset::kVDK773Row, "COM1", true);
  f->OpenPortButtonClick();
  EXPECT_EQ(PortType.load(), PortCOM);
  EXPECT_EQ(PrinterName.load(), ModelVDK773);
  EXPECT_EQ(is773Costom.load(), 0);
  EXPECT_EQ(iUSBClassMode.load(), 0);
  EXPECT_EQ(iStatusBytes.load(), 0);
}

TEST_F(PortSettingDialog, ParallelPortThatCannotOpenFails) {
  auto f = Dialog();
  f->ui->PrinterNameCBO->setCurrentIndex(0);
  f->ui->LPTRadio->click();
  f->ui->LPTCBO->setCurrentIndex(0);
  f->OpenPortButtonClick();
  EXPECT_EQ(f->ui->Label2->text(), "Can't open the LPT port!");
  EXPECT_EQ(PortType.load(), PortNone);
}

TEST_F(PortSettingDialog, EthernetChoiceOfAConfiguredNetPortStaysConnected) {
  const int port = printer.startTcp(0);
  setenv("TORVA_NET_PORT", std::to_string(port).c_str(), 1);
  PortType = PortNet;  // only a port state that names Ethernet selects it
  auto f = Dialog();
  ASSERT_TRUE(f->ui->NetRadio->isChecked());
  EXPECT_FALSE(f->ui->NetRadio->isEnabled());
  EXPECT_TRUE(f->ui->Edit_IP1->isEnabled());
  EXPECT_FALSE(f->ui->cboPortName->isEnabled());
  f->ui->PrinterNameCBO->setCurrentIndex(0);
  f->ui->Edit_IP1->setText("127");
  f->ui->Edit_IP2->setText("0");
  f->ui->Edit_IP3->setText("0");
  f->ui->Edit_IP4->setText("1");
  f->ui->CheckConnect->setChecked(false);
  f->OpenPortButtonClick();
  EXPECT_EQ(PortType.load(), PortNet);
  EXPECT_EQ(PortDisplay, "127.0.0.1");
  EXPECT_EQ(PNET.IPAddress, "127.0.0.1");
  EXPECT_EQ(PNET.PrinterName, "VD-M512     ");
  EXPECT_EQ(PNET.connecttime, 3);
  EXPECT_EQ(PNET.writetime, 5);
  EXPECT_EQ(PNET.readtime, 5);
  EXPECT_TRUE(PNET.status.load());
  EXPECT_EQ(main->PanelText(0), "Port:127.0.0.1");

  // A box over 255 characters gives no address at all.
  auto g = Dialog();
  g->ui->Edit_IP1->setText(QString(256, '1'));
  g->OpenPortButtonClick();
  EXPECT_EQ(g->ui->Label2->text(), "Can't open the Net port!");
  EXPECT_EQ(PortType.load(), PortNone);
  EXPECT_FALSE(PNET.status.load());  // the next OK closed the connection
  EXPECT_EQ(PNET.handle.load(), -1);
}

// ---- the menus follow the model, also when the port fails --------------------------------------

struct EnableCase {
  int code;
  bool bundler, adc, cut, clear;
  bool checkMarkOn;  // else left as it was
};
constexpr EnableCase kEnables[] = {
    {0, true, false, true, true, false},    {1, false, true, true, true, false},
    {2, false, true, true, true, false},    {3, false, true, true, true, false},
    {4, false, false, true, true, false},   {5, false, false, true, true, false},
    {6, false, false, true, true, false},   {7, false, false, true, true, false},
    {8, false, false, true, true, false},   {9, false, false, true, true, false},
    {10, false, false, true, true, false},  {11, false, true, true, true, false},
    {12, false, true, true, true, false},   {13, false, true, true, true, false},
    {14, false, true, false, false, false}, {15, false, false, true, true, false},
    {16, false, true, true, true, false},   {17, false, true, true, true, false},
    {18, false, true, true, true, true},
};

TEST_F(PortSettingDialog, MenuEnablesForEveryModelCode) {
  Ui::TMainForm& m = *main->ui;
  for (const EnableCase& c : kEnables) {
    SCOPED_TRACE(PrinterModelText(c.code));
    // Every item starts opposite to what the model wants; Check Mark starts
    // off and must stay off unless the model switches it on.
    m.BundlerMenu->menuAction()->setEnabled(!c.bundler);
    m.ADConverterMenu->setEnabled(!c.adc);
    m.CutMenu->setEnabled(!c.cut);
    m.PrinterClearMenu->setEnabled(!c.clear);
    m.CheckMarkMenu->setEnabled(false);
    auto f = Dialog();
    ChooseSerial(*f, portset::ModelRowForCode(c.code), "COM8", false);  // COM8 does not open
    f->OpenPortButtonClick();
    EXPECT_EQ(PortType.load(), PortNone);
    EXPECT_EQ(PrinterName.load(), c.code);
    EXPECT_EQ(m.BundlerMenu->menuAction()->isEnabled(), c.bundler);
    EXPECT_EQ(m.ADConverterMenu->isEnabled(), c.adc);
    EXPECT_EQ(m.CutMenu->isEnabled(), c.cut);
    EXPECT_EQ(m.PrinterClearMenu->isEnabled(), c.clear);
    EXPECT_EQ(m.CheckMarkMenu->isEnabled(), c.checkMarkOn);
  }
  // "Unchanged" keeps an enabled Check Mark enabled too.
  m.CheckMarkMenu->setEnabled(true);
  auto f = Dialog();
  ChooseSerial(*f, 0, "COM8", false);
  f->OpenPortButtonClick();
  EXPECT_TRUE(m.CheckMarkMenu->isEnabled());
}

// ---- the handler of the main window, modal ---------------------------------------------------

TEST_F(PortSettingDialog, PortSettingButtonRunsTheModalDialog) {
  StartSerialPrinter();
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* f = qobject_cast<TPortSettingForm*>(QApplication::activeModalWidget());
    if (!f) return;
    seen = true;
    EXPECT_EQ(f->windowTitle(), "Port Setting");
    EXPECT_EQ(f->font().family(), DialogFont().family());
    ChooseSerial(*f, 0, "COM1", true);
    f->ui->OpenPortButton->click();
  });
  QTimer guard;  // never block the suite
  QObject::connect(&guard, &QTimer::timeout, [] {
    if (QWidget* w = QApplication::activeModalWidget()) w->close();
  });
  guard.start(8000);
  main->SpeedButton_PortSetClick();
  EXPECT_TRUE(seen);
  EXPECT_EQ(PortType.load(), PortCOM);
  EXPECT_EQ(main->PanelText(0), "Port:COM1");
}

}  // namespace

namespace {

// No caption is cut off in either language, whichever port kind is chosen,
// with the dialog's longest result line. With TORVA_DOCS_SHOTS (or
// TORVA_SCREENSHOT_DIR) set the pictures of the docs are saved there
// (port-setting-english.png, ...).
TEST_F(PortSettingDialog, CaptionsFitInBothLanguages) {
  const QString keep = qEnvironmentVariable("TORVA_DOCS_SHOTS", qEnvironmentVariable("TORVA_SCREENSHOT_DIR"));
  PrinterName = ModelVDK773;
  for (const char* lang : {"English", "Chinese"}) {
    Language = lang;
    auto f = Dialog();
    ApplyDialogFont(f.get());
    f->SetCaptions(Language);
    for (QAbstractButton* kind : {static_cast<QAbstractButton*>(f->ui->LPTRadio),
                                  static_cast<QAbstractButton*>(f->ui->USBRadio),
                                  static_cast<QAbstractButton*>(f->ui->USBPrinterRadio),
                                  static_cast<QAbstractButton*>(f->ui->COMRadio)}) {
      SCOPED_TRACE(std::string(lang) + " " + kind->objectName().toStdString());
      kind->setChecked(true);
      EXPECT_THAT(torva::testing::CaptionProblems(f.get()), ::testing::IsEmpty())
          << torva::testing::CaptionProblems(f.get()).join("\n").toStdString();
    }
    f->ui->Label2->setText(Tr2("Can't open the USB port!", "打开端口失败！"));
    EXPECT_THAT(torva::testing::CaptionProblems(f.get()), ::testing::IsEmpty())
        << torva::testing::CaptionProblems(f.get()).join("\n").toStdString();
    if (!keep.isEmpty()) {
      f->ui->Label2->setText(Tr2("Can't open the COM port!", "打开端口失败！"));
      const QString name = QStringLiteral("%1/port-setting-%2.png").arg(keep, QString::fromUtf8(lang).toLower());
      EXPECT_TRUE(f->grab().save(name));
    }
  }
}

}  // namespace
