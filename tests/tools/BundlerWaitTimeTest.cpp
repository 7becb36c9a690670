// The bundler wait-time dialog: its spin box rules, the command on the port
// kinds it opens and closes itself, its English error boxes, and the opening
// from the command console, which writes through the console's connection.
#include <QFontInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSpinBox>
#include <QTimer>

#include "CaptionCheck.h"
#include "ConsoleFixture.h"
#include "Facilities.h"
#include "link/EepromControl.h"
#include "link/NetUnit.h"
#include "tools/Bundlerlatencytime.h"

#include "../link/CupsTestServer.h"

using consoletest::Bytes;
using consoletest::ConsoleTest;
using consoletest::WaitFor;

namespace {

const Bytes k240 = {0x1B, 0x63, 0x39, 0xF0, 0x0A};

int FailingUWrite(int, int, const uint8_t*, int) { return -1; }

class WaitTimeTest : public ConsoleTest {
 protected:
  void TearDown() override {
    wait.reset();
    ConsoleTest::TearDown();
  }
  TBundlerlatencytimeForm& OpenWaitTime(bool fromConsole = false) {
    wait = std::make_unique<TBundlerlatencytimeForm>(nullptr, fromConsole);
    wait->show();
    return *wait;
  }
  QSpinBox* Spin() const { return wait->findChild<QSpinBox*>("LatencyTimeEdit"); }
  QLineEdit* Edit() const { return Spin()->findChild<QLineEdit*>(); }
  void Type(Qt::Key key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(Spin(), &press);
  }
  // OK with `value`; true when the dialog closed with the OK result.
  bool Ok(int value) {
    Spin()->setValue(value);
    wait->OKButtonClick();
    return wait->result() == QDialog::Accepted && !wait->isVisible();
  }

  std::unique_ptr<TBundlerlatencytimeForm> wait;
};

TEST_F(WaitTimeTest, OpensAtThreeEnglishOnlyInItsSerifFont) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    TBundlerlatencytimeForm& d = OpenWaitTime();
    EXPECT_EQ(d.windowTitle(), "Bundler WaitTime");
    EXPECT_EQ(d.findChild<QLabel*>("Label1")->text(), "Bundler WaitTime:");
    EXPECT_EQ(d.findChild<QPushButton*>("OKButton")->text(), "&OK");
    EXPECT_EQ(d.findChild<QPushButton*>("CancelButton")->text(), "&Cancel");
    EXPECT_EQ(Spin()->text(), "3");
    EXPECT_EQ(Spin()->minimum(), 0);
    EXPECT_EQ(Spin()->maximum(), 240);
    // The face drawn ("Nimbus Roman [urw]" names its foundry too) is one of the list.
    const QString family = QFontInfo(d.font()).family();
    bool serif = false;
    for (const char* f : {"Times New Roman", "Liberation Serif", "Nimbus Roman", "DejaVu Serif"})
      serif = serif || family.startsWith(f);
    EXPECT_TRUE(serif) << family.toStdString();
    EXPECT_EQ(torva::testing::CaptionProblems(&d).join("; ").toStdString(), "");
  }
}

TEST_F(WaitTimeTest, EmptyTextPutsThreeBackAndOnlyDigitsType) {
  OpenWaitTime();
  Spin()->setFocus();
  Edit()->selectAll();
  Type(Qt::Key_Backspace, "\b");
  EXPECT_EQ(Spin()->text(), "3");
  EXPECT_EQ(Spin()->value(), 3);
  Edit()->selectAll();
  Type(Qt::Key_1, "1");
  Type(Qt::Key_2, "2");
  EXPECT_EQ(Spin()->text(), "12");
  for (auto [key, text] : {std::pair{Qt::Key_A, "a"}, std::pair{Qt::Key_Minus, "-"}, std::pair{Qt::Key_Space, " "},
                           std::pair{Qt::Key_Period, "."}}) {
    Type(key, text);
    EXPECT_EQ(Spin()->text(), "12") << text;
  }
  Type(Qt::Key_Backspace, "\b");
  EXPECT_EQ(Spin()->text(), "1");
  Type(Qt::Key_Backspace, "\b");
  EXPECT_EQ(Spin()->text(), "3");
  // Past 240 the box refuses the digit.
  Edit()->selectAll();
  for (auto [key, text] : {std::pair{Qt::Key_2, "2"}, std::pair{Qt::Key_5, "5"}, std::pair{Qt::Key_0, "0"}})
    Type(key, text);
  EXPECT_LE(Spin()->value(), 240);
}

TEST_F(WaitTimeTest, OkOnSerialSendsTheCommandAndClosesThePort) {
  UseSerial();
  OpenWaitTime();
  EXPECT_TRUE(Ok(240));
  EXPECT_TRUE(Received(k240));
  EXPECT_EQ(sim.setting(0x3C), 240);
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(WaitTimeTest, CancelSendsNothing) {
  UseSerial();
  TBundlerlatencytimeForm& d = OpenWaitTime();
  Spin()->setValue(9);
  d.CancelButtonClick();
  EXPECT_EQ(d.result(), QDialog::Rejected);
  EXPECT_EQ(sim.receivedCount(), 0u);
  EXPECT_EQ(ComParameter.m_hdev, -1);
}

TEST_F(WaitTimeTest, FailuresKeepTheDialogOpenWithTheirEnglishBox) {
  // A write that fails, in Chinese too: the box is English, the port closed.
  UseUsb(PortUSB);
  USBParameter.Name = "QFUSB-2";
  Language = "Chinese";
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uWrite = FailingUWrite;
  {
    ScopedPortLibraryCalls fakes(calls);
    TBundlerlatencytimeForm& d = OpenWaitTime();
    EXPECT_FALSE(Ok(5));
    EXPECT_TRUE(d.isVisible());
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.messages()[0].title, "Error");
    EXPECT_EQ(messages.texts()[0], "Write QFUSB-2 port error!");
    EXPECT_EQ(USBParameter.m_hdev, -1);
  }
  // Another try goes through.
  messages.clear();
  EXPECT_TRUE(Ok(5));
  EXPECT_TRUE(messages.messages().empty());

  // Ports that do not open, each with its text.
  struct Case {
    int kind;
    std::string text;
  };
  ComParameter.Name = dir + "/none";
  setenv("TORVA_LPT1", (dir + "/none").c_str(), 1);
  setenv("TORVA_PARPORT1", (dir + "/none").c_str(), 1);
  USBParameter.X = 5;
  USBPrinterParameter.Name = "no such printer";
  DriverParameter.DriverName = "";
  PNET.IPAddress = "127.0.0.1";
  PNET.connecttime = 1;
  setenv("TORVA_NET_PORT", "1", 1);
  const Case cases[] = {
      {PortCOM, "Can't open " + dir + "/none port"},
      {PortLPT, "Can't openLPT1 port!"},
      {PortNibbleLPT, "Can't openLPT1 port!"},
      {PortUSB, "Can't open QFUSB-2 port!"},
      {PortUSBPrinter, "Can't open no such printer port!"},
      {PortDriver, "Can't open the Driver:"},
      {PortNet, "Can't open 127.0.0.1 port!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    PortType = c.kind;
    messages.clear();
    TBundlerlatencytimeForm& d = OpenWaitTime();
    EXPECT_FALSE(Ok(7));
    EXPECT_TRUE(d.isVisible());
    EXPECT_EQ(messages.texts(), std::vector<QString>{QString::fromStdString(c.text)});
  }
  unsetenv("TORVA_LPT1");
  unsetenv("TORVA_PARPORT1");
  unsetenv("TORVA_NET_PORT");
}

TEST_F(WaitTimeTest, UsbKindsAndEthernetSendItToo) {
  UseUsb(PortUSB);
  OpenWaitTime();
  EXPECT_TRUE(Ok(240));
  EXPECT_TRUE(Received(k240));
  EXPECT_EQ(USBParameter.m_hdev, -1);
  sim.clearLog();
  PortType = PortUSBPrinter;
  OpenWaitTime();
  EXPECT_TRUE(Ok(0));
  EXPECT_TRUE(Received({0x1B, 0x63, 0x39, 0x00, 0x0A}));
  EXPECT_EQ(USBPrinterParameter.m_hdev, -1);

  // Ethernet: a connection is opened when none is, and left open.
  sim.clearLog();
  const int tcp = sim.startTcp(0);
  ASSERT_GT(tcp, 0);
  setenv("TORVA_NET_PORT", std::to_string(tcp).c_str(), 1);
  PNET.IPAddress = "127.0.0.1";
  PNET.connecttime = 3;
  PNET.writetime = 5;
  PortType = PortNet;
  OpenWaitTime();
  EXPECT_TRUE(Ok(60));
  EXPECT_TRUE(Received({0x1B, 0x63, 0x39, 60, 0x0A}));
  EXPECT_NE(PNET.handle, -1);
  const int connection = PNET.handle;
  OpenWaitTime();
  EXPECT_TRUE(Ok(61));
  EXPECT_EQ(PNET.handle, connection);
  CloseNetPort();
  unsetenv("TORVA_NET_PORT");
}

TEST_F(WaitTimeTest, SpoolerSendsOneFiveByteRawJob) {
  torva::test::CupsTestServer cups;
  const std::string why = cups.start();
  TORVA_REQUIRE_FACILITY(why.empty() ? why : "no private cupsd here: " + why);
  const int port = sim.startTcp(0);
  ASSERT_GT(port, 0);
  ASSERT_EQ(cups.addRawQueue("torva", "socket://127.0.0.1:" + std::to_string(port)), "");
  DriverParameter.DriverName = "torva";
  PortType = PortDriver;
  OpenWaitTime();
  EXPECT_TRUE(Ok(240));
  EXPECT_EQ(DriverParameter.hPrinter, -1);
  ASSERT_TRUE(cups.waitIdle("torva", 20000));
  EXPECT_TRUE(Received(k240, 10000));
  EXPECT_EQ(cups.jobs("torva").size(), 1u);
  // A queue that is not there.
  DriverParameter.DriverName = "missing";
  OpenWaitTime();
  EXPECT_FALSE(Ok(1));
  EXPECT_EQ(messages.texts(), std::vector<QString>{"Can't open the Driver:missing"});
}

// From the console: the wait time goes through the console's connection,
// which stays open, so the console's next Send works.
TEST_F(WaitTimeTest, FromTheConsoleItsNextSendWorks) {
  UseSerial();
  PrinterName = ModelVDN512;
  TPrintTestForm& c = Open();
  const int handle = ComParameter.m_hdev;
  ASSERT_GT(handle, 0);
  auto* item = c.findChild<QAction*>("BundlerlatencytimeMenu");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->text(), "Bundler WaitTime");
  EXPECT_TRUE(c.BundlerControlMenu->actions().contains(item));
  bool seen = false;
  QTimer::singleShot(0, [&] {
    auto* d = qobject_cast<TBundlerlatencytimeForm*>(QApplication::activeModalWidget());
    if (!d) return;
    seen = d->parentWidget() == &c;
    d->findChild<QSpinBox*>("LatencyTimeEdit")->setValue(240);
    d->OKButtonClick();
  });
  item->trigger();
  EXPECT_TRUE(seen);
  EXPECT_TRUE(Received(k240));
  EXPECT_EQ(ComParameter.m_hdev, handle);
  Send("0A");
  EXPECT_EQ(Notice(), QStringList{"Execute command successfully!"});
  EXPECT_TRUE(Received({0x1B, 0x63, 0x39, 0xF0, 0x0A, 0x0A}));
  // In Chinese the item reads so; the dialog stays English.
  Language = "Chinese";
  c.SetCaptions();
  EXPECT_EQ(item->text(), QString::fromUtf8("容纸器等待时间"));
}

}  // namespace
