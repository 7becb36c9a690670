// The printer information: the reply decoders as tables, and the dialog
// asking the simulated printer over the serial pseudo-terminal and the USB
// socket, with a printer that stops answering, the spooler that has no way
// to ask, and nibble mode that does not open here.
#include <QLabel>
#include <QTimer>
#include <termios.h>

#include "CaptionCheck.h"
#include "ConsoleFixture.h"
#include "link/EepromControl.h"
#include "link/SerialIo.h"
#include "tools/PrinterInfoQueries.h"
#include "tools/Printerinformation.h"

using consoletest::Bytes;
using consoletest::ConsoleTest;
using consoletest::WaitFor;
using torva::tools::InfoField;
using torva::tools::InfoText;

namespace {

Bytes Reply(std::initializer_list<uint8_t> head, size_t size) {
  Bytes b(head);
  b.resize(size, 0);
  return b;
}

TEST(InfoDecoders, EachMapping) {
  struct Case {
    InfoField field;
    Bytes reply;
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      {InfoField::Resolution, Reply({1, 0}, 10), "300 X 300 DPI", "300 X 300 DPI"},
      {InfoField::Resolution, Reply({0, 0}, 10), "203 X 203 DPI", "203 X 203 DPI"},
      {InfoField::Resolution, Reply({2, 0}, 10), "203 X 203 DPI", "203 X 203 DPI"},
      {InfoField::Resolution, Reply({0xFF, 0xFF}, 10), "203 X 203 DPI", "203 X 203 DPI"},
      {InfoField::Resolution, Reply({1, 1}, 10), "300 X 300 DPI", "300 X 300 DPI"},  // the low byte only
      {InfoField::PrintSpeed, Reply({200, 0}, 10), "200 mm/s", "200 mm/s"},
      {InfoField::PrintSpeed, Reply({150, 1}, 10), "150 mm/s", "150 mm/s"},
      {InfoField::DarkScale, Reply({110, 0}, 10), "110", "110"},
      {InfoField::DarkScale, Reply({0, 0}, 10), "0", "0"},
      {InfoField::BundlerMode, Reply({0, 0}, 10), "Retract", "回收模式"},
      {InfoField::BundlerMode, Reply({1, 0}, 10), "Paper Forward", "吐纸模式"},
      {InfoField::BundlerMode, Reply({2, 0}, 10), "Waiting", "等待模式"},
      {InfoField::BundlerMode, Reply({3, 0}, 10), "No Waiting", "抛纸模式"},
      {InfoField::BundlerMode, Reply({4, 0}, 10), "Other", "其他模式"},
      {InfoField::BundlerMode, Reply({0xFF, 0xFF}, 10), "Other", "其他模式"},
      {InfoField::BundlerWaitTime, Reply({3, 0}, 10), "3s", "3s"},
      {InfoField::BundlerWaitTime, Reply({240, 0}, 10), "240s", "240s"},
      {InfoField::Version, Reply({'V', '1', '.', '0', 0, 'x'}, 10), "V1.0", "V1.0"},
      // No zero within the ten bytes: shown whole.
      {InfoField::Version, Bytes{'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}, "0123456789", "0123456789"},
      {InfoField::Version, Reply({}, 10), "", ""},
      {InfoField::PrinterName, Reply({'V', 'D', '-', 'K', '5', '1', '2'}, 20), "VD-K512", "VD-K512"},
      // A byte above 7F is a character, never broken text.
      {InfoField::PrinterName, Reply({'P', 0xE9}, 20), "P\xC3\xA9", "P\xC3\xA9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.english) + " from " + std::to_string(c.reply[0]));
    const torva::tools::LinePair got = InfoText(c.field, c.reply);
    EXPECT_EQ(got.english, c.english);
    EXPECT_EQ(got.chinese, c.chinese);
  }
}

TEST(InfoDecoders, ExtendedVersionIsSevenCharactersFromSixteen) {
  struct Case {
    std::string text;
    const char* shown;
  };
  const Case cases[] = {
      {"TORVA K773 FW: V1.02.3", "V1.02.3"},
      {"TORVA K773 FW: V1.02.3XYZ", "V1.02.3"},
      {"TORVA K773 FW: V1", "V1"},
      {"TORVA K773 FW: ", ""},  // fifteen characters: nothing from sixteen
      {"short", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    Bytes reply(c.text.begin(), c.text.end());
    reply.resize(25, 0);
    EXPECT_EQ(InfoText(InfoField::ExtendedVersion, reply).english, c.shown);
  }
}

TEST(InfoDecoders, QueriesInOrder) {
  using torva::tools::InfoQueries;
  const auto plain = InfoQueries(false);
  const auto custom = InfoQueries(true);
  ASSERT_EQ(plain.size(), 7u);
  ASSERT_EQ(custom.size(), 7u);
  EXPECT_EQ(plain[0].command, (Bytes{0x1D, 0x49, 0x44}));
  EXPECT_EQ(plain[0].replyMax, 10);
  EXPECT_EQ(custom[0].command, (Bytes{0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x35}));
  EXPECT_EQ(custom[0].replyMax, 25);
  const Bytes settings = {0xD0, 0x06, 0x02, 0x4A, 0x3C};
  for (size_t i = 1; i <= 5; ++i) {
    EXPECT_EQ(plain[i].command, (Bytes{0x1B, 0x6A, settings[i - 1]}));
    EXPECT_EQ(plain[i].command, custom[i].command);
    EXPECT_EQ(plain[i].replyMax, 10);
  }
  EXPECT_EQ(plain[6].command, (Bytes{0x1D, 0x49, 0x99}));
  EXPECT_EQ(plain[6].replyMax, 20);
}

// What the serial line saw: each input purge and each write, in order.
std::mutex gSeenMu;
std::vector<std::string> gSeen;
int SeeingFlush(int fd, int queue) {
  if (queue == TCIFLUSH) {
    std::lock_guard<std::mutex> lock(gSeenMu);
    gSeen.push_back("purge");
  }
  return RealSerialCalls().flush(fd, queue);
}
ssize_t SeeingWrite(int fd, const void* data, size_t n) {
  {
    std::lock_guard<std::mutex> lock(gSeenMu);
    gSeen.push_back("write " + std::to_string(static_cast<const uint8_t*>(data)[0]));
  }
  return RealSerialCalls().write(fd, data, n);
}

// uRead that brings nothing from the n-th read on (0: never). Before that it
// reads as a patient printer line: the device's read time-out is 200 ms, which
// a machine loaded with other tests may not meet in handing the simulator's
// answer on, so a read that brings nothing is asked again for up to 5 s.
std::atomic<int> gSilentFromRead{0};
std::atomic<int> gReads{0};
int SilencingURead(int h, int pipe, uint8_t* buffer, int length) {
  const int n = ++gReads;
  if (gSilentFromRead > 0 && n >= gSilentFromRead) return 0;
  const uint64_t deadline = torva::TickMs() + 5000;
  for (;;) {
    const int got = RealPortLibraryCalls().uRead(h, pipe, buffer, length);
    if (got != 0 || torva::TickMs() >= deadline) return got;
  }
}

class InfoTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    gSilentFromRead = 0;
    gReads = 0;
    std::lock_guard<std::mutex> lock(gSeenMu);
    gSeen.clear();
  }
  void TearDown() override {
    info.reset();
    ConsoleTest::TearDown();
  }
  // A printer with a value in every field.
  void Fill() {
    sim.setFirmwareVersion("V2.10.4");
    sim.setPrinterName("VD-M512II #7");
    sim.setSetting(0xD0, 0x0001);
    sim.setSetting(0x06, 200);
    sim.setSetting(0x02, 0x016E);  // 110 in the low byte
    sim.setSetting(0x4A, 2);
    sim.setSetting(0x3C, 3);
  }
  TPrinterInformationForm& OpenInfo() {
    info = std::make_unique<TPrinterInformationForm>();
    return *info;
  }
  QString Value(const char* name) const { return info->findChild<QLabel*>(name)->text(); }
  QStringList Values() const {
    QStringList v;
    for (const char* n : {"VersionText", "ResolutinText", "PrintSpeedText", "DarkScaleText", "BundlerModeText",
                          "BundlerWaitTimeText", "PirnterNameText"})
      v << Value(n);
    return v;
  }
  // Runs the dialog modally as the main window does; true when it closed
  // itself (a guard ends it after 5 s otherwise).
  bool ClosesItself() {
    bool guard = false;
    QTimer::singleShot(5000, info.get(), [&] {
      guard = true;
      info->reject();
    });
    const int result = info->exec();
    return !guard && result == QDialog::Accepted;
  }

  std::unique_ptr<TPrinterInformationForm> info;
};

const QStringList kFilled = {"V2.10.4", "300 X 300 DPI", "200 mm/s", "110", "Waiting", "3s", "VD-M512II #7"};

TEST_F(InfoTest, SerialShowsTheSevenAnswers) {
  UseSerial();
  Fill();
  SerialCalls calls = SerialTermiosCalls();
  calls.flush = SeeingFlush;
  calls.write = SeeingWrite;
  ScopedSerialCalls seam(calls);
  PrinterName = ModelVDM512II;
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    {
      std::lock_guard<std::mutex> lock(gSeenMu);
      gSeen.clear();
    }
    TPrinterInformationForm& d = OpenInfo();
    const bool english = Language == "English";
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_FALSE(d.bDestroy);
    QStringList want = kFilled;
    if (!english) want[4] = QString::fromUtf8("等待模式");
    EXPECT_EQ(Values(), want);
    EXPECT_EQ(ComParameter.m_hdev, -1);  // closed again
    EXPECT_EQ(d.windowTitle(), english ? "Printer Information" : QString::fromUtf8("打印机信息"));
    EXPECT_EQ(Value("StaticText6"), english ? "Presenter Mode:" : QString::fromUtf8("容纸器模式:"));
    EXPECT_EQ(Value("StaticText7"), english ? "Presenter WaitTime:" : QString::fromUtf8("容纸器等待时间:"));
    EXPECT_EQ(torva::testing::CaptionProblems(&d).join("; ").toStdString(), "");
    // Stale input is discarded before each question is written.
    std::lock_guard<std::mutex> lock(gSeenMu);
    const std::vector<std::string> pattern = {"purge", "write 29", "purge", "write 27", "purge", "write 27",
                                              "purge", "write 27", "purge", "write 27", "purge", "write 27",
                                              "purge", "write 29"};
    EXPECT_EQ(gSeen, pattern);
  }
  // The VD-N512 has a bundler, the others a presenter.
  PrinterName = ModelVDN512;
  Language = "English";
  OpenInfo();
  EXPECT_EQ(Value("StaticText6"), "Bundler Mode:");
  EXPECT_EQ(Value("StaticText7"), "Bundler WaitTime:");
  EXPECT_EQ(Value("StaticText2"), "Printer Name:");
  EXPECT_EQ(torva::testing::CaptionProblems(info.get()).join("; ").toStdString(), "");
  // Without a failure the timer leaves it up.
  info->show();
  info->Timer1Timer();
  EXPECT_TRUE(info->isVisible());
}

TEST_F(InfoTest, UsbDeviceShowsTheSevenAnswers) {
  UseUsb(PortUSB);
  Fill();
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uRead = SilencingURead;  // patient, never silent here
  ScopedPortLibraryCalls fakes(calls);
  torva::ScopedPrinterDelayRecorder delays;
  OpenInfo();
  EXPECT_EQ(Values(), kFilled);
  EXPECT_TRUE(messages.messages().empty());
  EXPECT_EQ(USBParameter.m_hdev, -1);
  // A 50 ms pause between each question and its answer.
  EXPECT_EQ(delays.waits(), std::vector<int>(7, 50));
}

TEST_F(InfoTest, UsbPrinterPausesThirtyMoreBeforeEachRead) {
  UseUsb(PortUSBPrinter);
  Fill();
  USBPrinterParameter.Name = sim.printerName();  // the list shows the new name
  torva::ScopedPrinterDelayRecorder delays;
  OpenInfo();
  EXPECT_EQ(Values(), kFilled);
  EXPECT_EQ(USBPrinterParameter.m_hdev, -1);
  std::vector<int> want;
  for (int i = 0; i < 7; ++i) want.insert(want.end(), {50, 30});
  EXPECT_EQ(delays.waits(), want);
}

// The printer stops answering from question k: the error, the values before
// k shown and the later ones empty, the port closed, and the dialog closes
// itself once it is up.
TEST_F(InfoTest, PrinterSilentFromQueryK) {
  UseUsb(PortUSB);
  Fill();
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uRead = SilencingURead;
  ScopedPortLibraryCalls fakes(calls);
  for (int k : {0, 3, 6}) {
    for (const char* language : {"English", "Chinese"}) {
      SCOPED_TRACE(std::to_string(k) + " " + language);
      Language = language;
      messages.clear();
      gReads = 0;
      gSilentFromRead = k + 1;
      TPrinterInformationForm& d = OpenInfo();
      ASSERT_EQ(messages.messages().size(), 1u);
      EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
      EXPECT_EQ(messages.messages()[0].text,
                Language == "English"
                    ? QString("Fail to get the printer'information\n\rPlease check the communication between the "
                              "printer and PC!")
                    : QString::fromUtf8("获取打印机信息失败\n\r请检查打印机通讯是否正常！"));
      EXPECT_TRUE(d.bDestroy);
      QStringList want = kFilled;
      if (Language == "Chinese") want[4] = QString::fromUtf8("等待模式");
      for (int i = k; i < 7; ++i) want[i].clear();
      EXPECT_EQ(Values(), want);
      EXPECT_EQ(USBParameter.m_hdev, -1);
      EXPECT_TRUE(ClosesItself());
    }
  }
}

TEST_F(InfoTest, SerialPrinterSilentAtTheBundlerMode) {
  UseSerial();
  Fill();
  sim.setAddressFault(0x4A, {torva::sim::Fault::NoReply, -1, 0});
  TPrinterInformationForm& d = OpenInfo();
  EXPECT_EQ(messages.texts().size(), 1u);
  EXPECT_TRUE(d.bDestroy);
  EXPECT_EQ(Values(), (QStringList{"V2.10.4", "300 X 300 DPI", "200 mm/s", "110", "", "", ""}));
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_TRUE(ClosesItself());
}

TEST_F(InfoTest, SpoolerAsksNothingAndCloses) {
  const int tcp = sim.startTcp(0);
  ASSERT_GT(tcp, 0);
  DriverParameter.DriverName = "torva";
  PortType = PortDriver;
  TPrinterInformationForm& d = OpenInfo();
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  EXPECT_TRUE(d.bDestroy);
  EXPECT_EQ(Values(), QStringList(7, QString()));
  EXPECT_EQ(DriverParameter.hPrinter, -1);
  EXPECT_EQ(sim.receivedCount(), 0u);
  EXPECT_TRUE(ClosesItself());
}

TEST_F(InfoTest, NibbleModeReportsInEnglishWhateverTheLanguage) {
  setenv("TORVA_PARPORT1", (dir + "/none").c_str(), 1);
  PortType = PortNibbleLPT;
  Language = "Chinese";
  TPrinterInformationForm& d = OpenInfo();
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text,
            "Fail to get the printer'information\n\rPlease check the communication between the printer and PC!");
  EXPECT_EQ(messages.messages()[0].title, "Error");
  EXPECT_TRUE(d.bDestroy);
  EXPECT_TRUE(ClosesItself());
  unsetenv("TORVA_PARPORT1");
}

// The VD-K773 in its custom mode asks the extended version in the first
// question's place and takes the framing off every reply.
TEST_F(InfoTest, K773CustomModeAsksTheExtendedVersion) {
  UseUsb(PortUSBPrinter);
  sim.setModel(ModelVDK773);
  Fill();
  PrinterName = ModelVDK773;
  USBPrinterParameter.Name = sim.printerName();
  is773Costom = 1;
  for (int classMode : {1, 0}) {
    SCOPED_TRACE(classMode);
    const int statusBytes = classMode == 1 ? 2 : 0;
    sim.setK773Custom(true, classMode, statusBytes);
    iUSBClassMode = classMode;
    iStatusBytes = statusBytes;
    sim.clearLog();
    OpenInfo();
    EXPECT_EQ(Values(), kFilled);
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_EQ(sim.log("ExtendedVersion").size(), 1u);
    EXPECT_TRUE(sim.log("FirmwareVersion").empty());
    EXPECT_EQ(USBPrinterParameter.m_hdev, -1);
  }
}

}  // namespace
