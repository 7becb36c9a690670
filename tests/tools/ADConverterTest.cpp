// The A/D converter view and its polling thread: voltages from the simulated
// printer's samples on every kind the view opens, Start and Stop, failures,
// closing mid-poll, the VD-K773 custom mode, and the layout in both languages.
#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <atomic>
#include <condition_variable>
#include <gmock/gmock.h>
#include <mutex>

#include "CaptionCheck.h"
#include "ServiceToolFixture.h"
#include "link/EepromControl.h"
#include "tools/ADConverter.h"
#include "tools/InquireADValueThread.h"
#include "ui_ADConverter.h"

using tooltest::Bytes;
using tooltest::Frames;
using tooltest::ServiceToolTest;
using tooltest::WaitFor;
using torva::tools::ADPort;
using torva::tools::ADReport;
using torva::tools::TInquireADValueThread;

namespace {

class ADConverterTest : public ServiceToolTest {
 protected:
  void TearDown() override {
    view.reset();
    ServiceToolTest::TearDown();
  }

  TADConverterForm& Open(int intervalMs = 50) {
    view = std::make_unique<TADConverterForm>();
    view->SetPollIntervalForTests(intervalMs);
    return *view;
  }
  Ui::TADConverterForm& ui() { return *view->form(); }

  QStringList Edits() const {
    QStringList out;
    for (int row = 0; row < torva::tools::kADRows; ++row) out << view->Edit(row)->text();
    return out;
  }
  bool Shows(const QStringList& firstSix, int ms = 5000) {
    return WaitFor([&] { return Edits().mid(0, 6) == firstSix; }, ms);
  }
  bool Idle() const {
    return ui_ok() && view->form()->StartButton->isEnabled() && view->form()->ExitButton->isEnabled() &&
           !view->form()->StopButton->isEnabled();
  }
  bool ui_ok() const { return view != nullptr; }
  bool WaitIdle(int ms = 5000) {
    return WaitFor([&] { return Idle() && !view->thread().running(); }, ms);
  }

  std::unique_ptr<TADConverterForm> view;
};

const QStringList kZeros = {"0", "0", "0", "0", "0", "0", "0", "0", "0"};
// The simulator's default samples FF 80 00 66 B3 19 at 3.3 V.
const QStringList kDefaultAt33 = {"3.287", "1.650", "0.000", "1.315", "2.307", "0.322"};

}  // namespace

TEST(ADVoltage, ThreeDecimals) {
  struct Case {
    uint8_t sample;
    double vote;
    const char* text;
  } cases[] = {{255, 3.3, "3.287"}, {128, 2.5, "1.250"}, {0, 3.3, "0.000"}, {0, 2.5, "0.000"},
               {1, 3.3, "0.013"},   {255, 2.5, "2.490"}, {64, 3.3, "0.825"}};
  for (const Case& c : cases)
    EXPECT_EQ(torva::tools::ADVoltageText(c.sample, c.vote), c.text) << int(c.sample) << " at " << c.vote;
}

TEST_F(ADConverterTest, SerialShowsTheSamplesAndFollowsAChange) {
  UseSerial(2);
  TADConverterForm& v = Open();
  EXPECT_EQ(Edits(), kZeros);
  EXPECT_FALSE(ui().StopButton->isEnabled());
  v.StartButtonClick();
  EXPECT_FALSE(ui().StartButton->isEnabled());
  EXPECT_FALSE(ui().ExitButton->isEnabled());
  EXPECT_TRUE(ui().StopButton->isEnabled());
  ASSERT_TRUE(Shows(kDefaultAt33)) << Edits().join(' ').toStdString();
  EXPECT_EQ(Edits().mid(6), (QStringList{"0", "0", "0"}));  // the hidden rows
  EXPECT_GT(ComParameter.m_hdev, 0);                        // held while polling
  sim.setADSamples({0x00, 0xFF, 0x80, 0x01, 0x02, 0x03, 0x04});
  EXPECT_TRUE(Shows({"0.000", "3.287", "1.650", "0.013", "0.026", "0.039"})) << Edits().join(' ').toStdString();

  v.StopButtonClick();
  EXPECT_EQ(Edits(), kZeros);
  EXPECT_FALSE(ui().StopButton->isEnabled());
  EXPECT_TRUE(ui().ExitButton->isEnabled());
  ASSERT_TRUE(WaitIdle());
  // Nothing of the stopped run reaches the edits afterwards.
  WaitFor([] { return false; }, 150);
  EXPECT_EQ(Edits(), kZeros);
  EXPECT_EQ(ComParameter.m_hdev, -1);  // the thread closed it on its way out
  EXPECT_EQ(TInquireADValueThread::LiveThreads(), 0);

  // The platform counts from the next Start.
  ui().PlatformItem1->setChecked(true);
  sim.setADSamples({0x80, 0x80, 0x80, 0x80, 0x80, 0x80, 0x80});
  v.StartButtonClick();
  EXPECT_TRUE(Shows({"1.250", "1.250", "1.250", "1.250", "1.250", "1.250"}));
  EXPECT_EQ(v.ADVote(), 2.5);
  EXPECT_TRUE(messages.messages().empty());
  // Each poll asks once, after discarding what was queued.
  EXPECT_THAT(Frames(sim, "InquireADValue"), ::testing::Each(Bytes{0x10, 0x04, 0x30}));
}

// Bytes the printer sent before a query are not taken for its answer.
TEST_F(ADConverterTest, SerialDiscardsWhatWasQueuedBeforeTheQuery) {
  UseSerial(2);
  TADConverterForm& v = Open(300);
  int shown = 0;
  QObject::connect(&v, &TADConverterForm::valuesShown, [&] { ++shown; });
  v.StartButtonClick();
  ASSERT_TRUE(Shows(kDefaultAt33));
  sim.sendUnsolicited({0x01, 0x02, 0x03});
  const int before = shown;
  ASSERT_TRUE(WaitFor([&] { return shown >= before + 2; }, 5000));
  EXPECT_EQ(Edits().mid(0, 6), kDefaultAt33);
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(ADConverterTest, UsbKindsShowTheSamples) {
  for (int kind : {PortUSB, PortUSBPrinter}) {
    SCOPED_TRACE(kind);
    sim.stop();
    UseUsb(2, kind);
    TADConverterForm& v = Open();
    v.StartButtonClick();
    EXPECT_TRUE(Shows(kDefaultAt33)) << Edits().join(' ').toStdString();
    v.StopButtonClick();
    EXPECT_TRUE(WaitIdle());
    EXPECT_TRUE(AllClosed());
    EXPECT_TRUE(messages.messages().empty());
    view.reset();
  }
}

TEST_F(ADConverterTest, K773CustomModeSwitchesItsStreamOffFirst) {
  for (int classMode : {1, 0}) {
    SCOPED_TRACE(classMode);
    sim.stop();
    UseUsb(12, PortUSBPrinter);
    sim.setK773Custom(true, classMode, classMode == 1 ? 2 : 0);
    is773Costom = 1;
    iUSBClassMode = classMode;
    iStatusBytes = classMode == 1 ? 2 : 0;
    isADPress = 1;
    sim.setStatusRecord({0x11, 0x22, 0x33, 0x44, 0x55, 0x66});
    sim.clearLog();
    TADConverterForm& v = Open();
    v.StartButtonClick();
    EXPECT_TRUE(Shows(kDefaultAt33)) << Edits().join(' ').toStdString();
    const auto log = sim.log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[0].name, "CustomStatusBack");
    EXPECT_EQ(log[0].frame, (Bytes{0x1D, 0xE0, 0x00}));
    EXPECT_EQ(log[1].name, "InquireADValue");
    v.StopButtonClick();
    EXPECT_TRUE(WaitIdle());
    EXPECT_TRUE(AllClosed());
    view.reset();
  }
}

// The stream cannot be switched off: the thread ends with the error before
// it asks for a sample, and the port is closed.
TEST_F(ADConverterTest, K773CustomModeFailedSwitchOffEndsWithTheError) {
  UseUsb(12, PortUSBPrinter);
  sim.setK773Custom(true, 1, 2);
  is773Costom = 1;
  iUSBClassMode = 1;
  iStatusBytes = 2;
  PortLibraryCalls calls = CurrentPortLibraryCalls();
  calls.WriteQfUSBPrinter = [](const uint8_t*, int) { return -1; };
  ScopedPortLibraryCalls fake(calls);
  sim.clearLog();
  TADConverterForm& v = Open();
  v.StartButtonClick();
  ASSERT_TRUE(WaitFor([&] { return !messages.messages().empty(); }, 5000));
  EXPECT_THAT(messages.texts(), ::testing::ElementsAre("Fail to get the status of printer\n\rPlease check the "
                                                       "communication between the printer and PC!"));
  EXPECT_TRUE(WaitIdle());
  EXPECT_EQ(Edits(), kZeros);
  EXPECT_TRUE(Frames(sim, "InquireADValue").empty());
  EXPECT_TRUE(AllClosed());
}

TEST_F(ADConverterTest, SilentSerialPrinterEndsPollingWithTheError) {
  UseSerial(2);
  TADConverterForm& v = Open();
  v.StartButtonClick();
  ASSERT_TRUE(Shows(kDefaultAt33));
  sim.setFault({torva::sim::Fault::NoReply});
  // The serial read waits 3000 ms for the reply.
  ASSERT_TRUE(WaitFor([&] { return !messages.messages().empty(); }, 8000));
  EXPECT_THAT(messages.texts(), ::testing::ElementsAre("Fail to get the status of printer\n\rPlease check the "
                                                       "communication between the printer and PC!"));
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  EXPECT_TRUE(Idle());
  EXPECT_FALSE(v.polling());
  EXPECT_EQ(Edits(), kZeros);
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_EQ(TInquireADValueThread::LiveThreads(), 0);
}

TEST_F(ADConverterTest, ShortReplyIsAFailedRead) {
  UseUsb(2, PortUSB);
  sim.setADSamples({0x10, 0x20, 0x30, 0x40, 0x50});  // five: a row would show nothing it read
  Language = "Chinese";
  TADConverterForm& v = Open();
  v.StartButtonClick();
  ASSERT_TRUE(WaitFor([&] { return !messages.messages().empty(); }, 5000));
  EXPECT_THAT(messages.texts(),
              ::testing::ElementsAre(QString::fromUtf8("获取打印机状态失败\n\r请检查打印机通讯是否正常！")));
  EXPECT_TRUE(Idle());
  EXPECT_EQ(Edits(), kZeros);
  EXPECT_TRUE(AllClosed());
}

TEST_F(ADConverterTest, OpenFailureAndThePrinterQueueStayIdle) {
  ComParameter.Name = dir + "/no-such-port";
  PortType = PortCOM;
  TADConverterForm& v = Open();
  v.StartButtonClick();
  EXPECT_EQ(messages.texts().size(), 1u);
  EXPECT_TRUE(Idle());
  EXPECT_FALSE(v.thread().running());
  view.reset();
  messages.clear();

  PortType = PortDriver;
  DriverParameter.DriverName = "no-queue";
  Open().StartButtonClick();
  EXPECT_THAT(messages.texts(), ::testing::ElementsAre("Fail to get the status of printer\n\rPlease check the "
                                                       "communication between the printer and PC!"));
  EXPECT_TRUE(Idle());
  EXPECT_EQ(DriverParameter.hPrinter, -1);  // nothing opened
  EXPECT_EQ(TInquireADValueThread::LiveThreads(), 0);
}

TEST_F(ADConverterTest, HundredStartStopsNeverLeaveTwoThreads) {
  UseSerial(2);
  TADConverterForm& v = Open(20);
  int most = 0;
  for (int i = 0; i < 100; ++i) {
    SCOPED_TRACE(i);
    v.StartButtonClick();
    most = std::max(most, TInquireADValueThread::LiveThreads());
    if (i % 10 == 0) {
      ASSERT_TRUE(Shows(kDefaultAt33));
    }
    v.StopButtonClick();
    EXPECT_EQ(Edits(), kZeros);
    most = std::max(most, TInquireADValueThread::LiveThreads());
    ASSERT_TRUE(WaitFor([&] { return ui().StartButton->isEnabled(); }, 5000));
  }
  EXPECT_EQ(most, 1);
  ASSERT_TRUE(WaitIdle());
  EXPECT_EQ(TInquireADValueThread::LiveThreads(), 0);
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(ADConverterTest, CloseBoxMidPollEndsTheThreadAndClosesThePort) {
  UseSerial(2);
  TADConverterForm& v = Open(1000);
  v.show();
  v.StartButtonClick();
  ASSERT_TRUE(Shows(kDefaultAt33));
  // The thread is in its pause; the close box must not wait for it to end.
  QElapsedTimer t;
  t.start();
  EXPECT_TRUE(v.close());
  EXPECT_LT(t.elapsed(), 900);
  EXPECT_FALSE(v.isVisible());
  EXPECT_FALSE(v.thread().running());
  EXPECT_EQ(TInquireADValueThread::LiveThreads(), 0);
  EXPECT_EQ(ComParameter.m_hdev, -1);
  WaitFor([] { return false; }, 100);  // late reports, if any, are dropped
  EXPECT_TRUE(messages.messages().empty());
}

// Stop while a serial read waits for a reply that does not come: the read
// ends at once, no error, no value.
TEST_F(ADConverterTest, StopEndsAWaitingReadAtOnce) {
  UseSerial(2);
  TADConverterForm& v = Open();
  v.StartButtonClick();
  ASSERT_TRUE(Shows(kDefaultAt33));
  sim.setFault({torva::sim::Fault::NoReply});
  sim.clearLog();
  ASSERT_TRUE(sim.waitForLog(1, 3000));  // the next query went out; its answer is swallowed
  QElapsedTimer t;
  t.start();
  v.StopButtonClick();
  ASSERT_TRUE(WaitIdle());
  EXPECT_LT(t.elapsed(), 1500);
  EXPECT_TRUE(messages.messages().empty());
  EXPECT_EQ(Edits(), kZeros);
}

// The same on the USB kinds, whose library reads wait seconds for a silent
// printer: Stop and the close box end the read in progress at once (the port
// is closed under it, once), with no error and nothing shown.
TEST_F(ADConverterTest, StopAndCloseEndAWaitingUsbReadAtOnce) {
  for (int kind : {PortUSBPrinter, PortUSB}) {
    for (bool closeBox : {false, true}) {
      SCOPED_TRACE(std::to_string(kind) + (closeBox ? " close box" : " Stop"));
      sim.stop();
      UseUsb(2, kind);
      TADConverterForm& v = Open();
      v.show();
      v.StartButtonClick();
      ASSERT_TRUE(Shows(kDefaultAt33));
      sim.setFault({torva::sim::Fault::NoReply});
      sim.clearLog();
      ASSERT_TRUE(sim.waitForLog(1, 3000));  // the next query went out; its answer is swallowed
      QElapsedTimer t;
      t.start();
      if (closeBox) {
        EXPECT_TRUE(v.close());
        EXPECT_FALSE(v.thread().running());
      } else {
        v.StopButtonClick();
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(Edits(), kZeros);
      }
      EXPECT_LT(t.elapsed(), 1000);
      EXPECT_TRUE(AllClosed());
      EXPECT_EQ(TInquireADValueThread::LiveThreads(), 0);
      WaitFor([] { return false; }, 50);  // late reports, if any, are dropped
      EXPECT_TRUE(messages.messages().empty());
      sim.setFault({});
      view.reset();
    }
  }
}

// Nibble mode: the query through the nibble library, the reply read with at
// most eight bytes, the library closed at the end.
TEST(InquireADValueThread, NibbleModeReadsAtMostEightBytes) {
  static std::atomic<int> asked{0};
  static std::atomic<int> writes{0};
  PortLibraryCalls calls = CurrentPortLibraryCalls();
  calls.IsPARIdle = [] { return 1; };
  calls.NibbleModeWrite = [](const uint8_t* data, int length, int* status) {
    if (length == 3 && data[0] == 0x10 && data[1] == 0x04 && data[2] == 0x30) ++writes;
    *status = 0;
    return 1;
  };
  calls.NibbleModeRead = [](uint8_t* buffer, int length, int* status) {
    asked = length;
    for (int i = 0; i < length; ++i) buffer[i] = static_cast<uint8_t>(0x10 * (i + 1));
    *status = 0;
    return length;
  };
  ScopedPortLibraryCalls fake(calls);
  std::mutex mu;
  std::condition_variable cv;
  std::vector<ADReport> reports;
  TInquireADValueThread thread;
  ADPort port;
  port.kind = PortNibbleLPT;
  port.handle = 0;
  port.intervalMs = 10;
  thread.start(port, [&](const ADReport& r) {
    std::lock_guard<std::mutex> lock(mu);
    reports.push_back(r);
    cv.notify_all();
  });
  {
    std::unique_lock<std::mutex> lock(mu);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(5), [&] { return reports.size() >= 2; }));
  }
  thread.stopAndJoin();
  EXPECT_EQ(asked, 8);
  EXPECT_GE(writes, 2);
  std::lock_guard<std::mutex> lock(mu);
  EXPECT_EQ(reports[0].type, ADReport::Type::Values);
  EXPECT_EQ(reports[0].count, 8);
  EXPECT_EQ(reports[0].ADValue[7], 0x80);
  EXPECT_EQ(reports[0].ADValue[8], 0);
  EXPECT_EQ(reports.back().type, ADReport::Type::Ended);
  for (const ADReport& r : reports) EXPECT_NE(r.type, ADReport::Type::Failure);
}

TEST_F(ADConverterTest, CaptionsInBothLanguages) {
  const char* english[] = {"up label sensor",     "down label sensor",     "paper near end sensor",
                           "printer head temperature sensor", "printer head voltage sensor", "    Retraction sensor",
                           "  Paper out sensor",  "     Form in sensor",   "    Position sensor"};
  const int chineseBlanks[] = {3, 11, 23, 8, 3, 3, 8, 7, 7};
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    TADConverterForm& v = Open();
    const QStringList problems = torva::testing::CaptionProblems(&v);
    EXPECT_TRUE(problems.isEmpty()) << problems.join('\n').toStdString();
    const bool en = Language == "English";
    EXPECT_EQ(v.windowTitle(), QString::fromUtf8(en ? "Analog / Digital Converter" : "AD转换"));
    EXPECT_EQ(ui().rgPlatForm->title(), QString::fromUtf8(en ? "Hardware Platform" : "硬件平台"));
    EXPECT_EQ(ui().PlatformItem0->text(), "LPC2420 Platform (3.3V)");
    EXPECT_EQ(ui().PlatformItem1->text(), "44B0  Platform (2.5V)");
    EXPECT_TRUE(ui().PlatformItem0->isChecked());
    EXPECT_EQ(ui().StartButton->text(), QString::fromUtf8(en ? "&Start" : "开始(&S)"));
    EXPECT_EQ(ui().StopButton->text(), QString::fromUtf8(en ? "S&top" : "停止(&T)"));
    EXPECT_EQ(ui().ExitButton->text(), QString::fromUtf8(en ? "E&xit" : "退出(&X)"));
    for (int row = 0; row < 9; ++row) {
      SCOPED_TRACE(row);
      QLabel* caption = v.StaticText(row);
      EXPECT_TRUE(caption->alignment() & Qt::AlignRight);
      EXPECT_EQ(caption->isVisibleTo(&v), row < 6);
      EXPECT_EQ(v.Edit(row)->isVisibleTo(&v), row < 6);
      EXPECT_TRUE(v.Edit(row)->isReadOnly());
      if (en) {
        EXPECT_EQ(caption->text(), english[row]);
      } else {
        const QString text = caption->text();
        int blanks = 0;
        while (blanks < text.size() && text[blanks] == ' ') ++blanks;
        EXPECT_EQ(blanks, chineseBlanks[row]);
        EXPECT_TRUE(text.endsWith(QString::fromUtf8("传感器")));
      }
    }
    view.reset();
  }
}
