// The two-bank editor dialogs against the simulated printer, on a
// pseudo-terminal and on the simulator's USB socket (device and printer
// library): Get shows a known printer in each editor's read order, Save
// writes it back in each editor's frame order with the pause and the line
// feed after it, failed reads and refused values, a failing data-error
// write, the printer-state line, and the 7-data-bit road through the termios
// seam.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <mutex>

#include "EditorSimSupport.h"
#include "SettingsEditorTestSupport.h"
#include "TwoBankEditorSupport.h"
#include "TwoBankFixtures.h"
#include "gui/FileDialogs.h"
#include "link/Clock.h"
#include "link/SerialIo.h"
#include "settings/TwoBankExchange.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using namespace twobank_test;
using settings_test::Child;
using settings_test::DataBitsSwitches;
using settings_test::FakeTermios;
using torva::sim::Fault;
using torva::sim::FaultSpec;
using torva::sim::SimPrinter;

namespace {

constexpr int kFeedLine = -1;  // the line feed among the write frames

// The read requests of each editor's Get (bank * 256 + address).
std::vector<int> GetOrder(const TwoBankProfile& p) {
  if (IsK9034(p)) {
    return {0x116, 0x115, 0x12B, 0x117, 0x114, 0x124, 0x125, 0x106, 0x102, 0x112, 0x130, 0x200, 0x136, 0x13C,
            0x141, 0x14E, 0x170, 0x131, 0x105, 0x210, 0x135, 0x14A, 0x126, 0x133, 0x203, 0x178, 0x177};
  }
  std::vector<int> order = {0x116, 0x115, 0x117, 0x114, 0x124, 0x125, 0x106, 0x102, 0x112,
                            0x130, 0x200, 0x136, 0x13C, 0x141, 0x14E, 0x170, 0x131};
  if (p.surfaceExchanged) order.push_back(0x105);
  // The data error is read twice.
  for (int r : {0x210, 0x210, 0x135, 0x126, 0x133, 0x14A, 0x203, 0x178, 0x177, 0x12B}) order.push_back(r);
  return order;
}

// The write frames of each editor's clean Save, then the line feed: the
// direct setters, and the 13 queued frames at every flush (the invert frame
// joins the last).
std::vector<int> SaveOrder(const TwoBankProfile& p) {
  const std::vector<int> queue = {0x116, 0x115, 0x117, 0x114, 0x106, 0x102, 0x112,
                                  0x130, 0x200, 0x14A, 0x13C, 0x141, 0x14E};
  std::vector<int> out;
  auto add = [&](const std::vector<int>& frames) { out.insert(out.end(), frames.begin(), frames.end()); };
  if (IsK9034(p)) {
    add({0x124, 0x125, 0x12B, 0x133, 0x136, 0x210, 0x135, 0x126, 0x170, 0x131, 0x105, 0x177, 0x178});
    add(queue);
  } else {
    add({0x124, 0x125, 0x133, 0x136, 0x12B, 0x210, 0x135, 0x126, 0x170, 0x131});
    if (p.surfaceExchanged) add({0x105});
    add({0x177});
    add(queue);
    add({0x178});
    add(queue);
  }
  add(queue);
  add({0x203, kFeedLine});
  return out;
}

// The USB writes of each editor's clean Save (the line feed last).
std::vector<int> SaveUsbWrites(const TwoBankProfile& p) {
  std::vector<int> out;
  if (IsK9034(p)) {
    out.assign(13, 9);
    out.insert(out.end(), {117, 126});
  } else {
    out.assign(p.surfaceExchanged ? 12 : 11, 9);
    out.insert(out.end(), {117, 9, 117, 126});
  }
  out.push_back(1);
  return out;
}

// The write frames the printer took, in order (bank * 256 + address; the
// line feed as kFeedLine).
std::vector<int> Writes(const SimPrinter& printer) {
  std::vector<int> out;
  for (const auto& e : printer.log()) {
    if (e.name == "WriteSetting") out.push_back(0x100 + e.frame[8]);
    if (e.name == "WriteSetting2") out.push_back(0x200 + e.frame[8]);
    if (e.name == "FeedLine") out.push_back(kFeedLine);
  }
  return out;
}

struct Transport {
  const char* name;
  int kind;
};

class TwoBankEditorSimTest : public settings_test::SimPrinterEditorTest {
 protected:
  TwoBankEditorSimTest() : SimPrinterEditorTest(18) {}
  void SetUp() override {
    SimPrinterEditorTest::SetUp();
    Start(PortCOM);
  }
  void Start(int kind) {
    if (kind == PortCOM)
      UseSerial(38400);
    else
      UseUsbSocket(kind, 2000);
  }
  // The printer as a fresh one of the profile's model.
  void Model(const TwoBankProfile& p) {
    printer_.setModel(p.modelCodes.front());
    printer_.clearFault();
    printer_.clearLog();
    // The USB printer is found by the name, which is the model's.
    USBPrinterParameter.Name = printer_.printerName();
  }
  void Known(const TwoBankProfile& p) {
    Model(p);
    for (const Cell& c : KnownCells(p)) printer_.setSetting(c.address, c.value, c.bank);
    printer_.clearLog();
  }
  static int Handle() {
    switch (PortType.load()) {
      case PortCOM:
        return ComParameter.m_hdev;
      case PortUSB:
        return USBParameter.m_hdev;
      default:
        return USBPrinterParameter.m_hdev;
    }
  }
  // A form of the profile after a Get of a fresh printer of its model.
  std::unique_ptr<TTwoBankEepromSetForm> AfterGet(const TwoBankProfile& p) {
    Model(p);
    auto form = MakeEditor(p);
    form->btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form->resultText(), "Get settings from printer successfully.");
    messages_.clear();
    printer_.clearLog();
    return form;
  }
};

class TwoBankEditorTransportTest : public TwoBankEditorSimTest,
                                   public ::testing::WithParamInterface<Transport> {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    Start(GetParam().kind);
  }
};

}  // namespace

// Get reads a known printer in the editor's order and shows it; Save writes
// it back, frame by frame in the editor's order, waits 5000 ms and feeds one
// line; each action closes the port.
TEST_P(TwoBankEditorTransportTest, GetShowsTheKnownPrinterAndSaveWritesItBack) {
  for (const TwoBankProfile* p : kEditorProfiles) {
    SCOPED_TRACE(p->name);
    Known(*p);
    messages_.clear();
    auto form = MakeEditor(*p);
    form->btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form->resultText(), "Get settings from printer successfully.");
    EXPECT_FALSE(form->resultIsRed());
    EXPECT_EQ(form->stateText(), "Printer state: Normal.");
    EXPECT_EQ(messages_.texts(), std::vector<QString>{"Get Settings Success!"});
    EXPECT_TRUE(form->saveEnabled());
    EXPECT_EQ(form->state(), KnownState(*p));
    EXPECT_EQ(form->kept(), KnownKept(*p));
    EXPECT_EQ(Requests(printer_), GetOrder(*p));
    EXPECT_EQ(Handle(), -1) << "the port is closed after the Get";
    // What was read, the high bytes kept by the Get too, makes the known file.
    const QString file = path(QString("%1.pes").arg(p->name));
    form->ExportTo(file);
    EXPECT_EQ(settings_test::ToBytes(settings_test::ReadAll(file)), KnownFile(*p));

    // Save into a fresh printer.
    Model(*p);
    messages_.clear();
    std::mutex mu;
    std::vector<std::pair<int, size_t>> waits;  // (ms, line feeds the printer had by then)
    {
      torva::ScopedPrinterDelayRecorder recorder([&](int ms) {
        std::lock_guard<std::mutex> lock(mu);
        waits.emplace_back(ms, printer_.log("FeedLine").size());
      });
      form->btnSaveSettingsToPrinterClick();
    }
    EXPECT_EQ(form->resultText(), "Save settings to printer successfully.");
    EXPECT_EQ(messages_.texts(),
              std::vector<QString>{"After feeding paper,Please turn off the printer and turn it on!"});
    EXPECT_EQ(Child<QPushButton>(*form, "btnSaveSettingsToPrinter")->text(), "&Save Settings To Printer");
    const std::vector<int> expected = SaveOrder(*p);
    ASSERT_TRUE(printer_.waitForLog(expected.size(), 5000));
    EXPECT_EQ(Writes(printer_), expected);
    if (GetParam().kind != PortCOM) {
      EXPECT_EQ(printer_.usbWriteLengths(), SaveUsbWrites(*p));
    }
    for (const Cell& c : KnownCells(*p)) {
      // The VD-K9034 editor keeps no presenter high byte and writes 0.
      const uint16_t value = c.address == 0x3C && IsK9034(*p) ? 0x001E : c.value;
      EXPECT_EQ(printer_.setting(c.address, c.bank), value) << c.bank << " " << c.address;
    }
    // The pause came before the one line feed.
    const auto fiveSeconds =
        std::find_if(waits.begin(), waits.end(), [](const auto& w) { return w.first == 5000; });
    ASSERT_NE(fiveSeconds, waits.end());
    EXPECT_EQ(fiveSeconds->second, 0u);
    EXPECT_EQ(std::count_if(waits.begin(), waits.end(), [](const auto& w) { return w.first == 5000; }), 1);
    EXPECT_EQ(printer_.log("FeedLine").size(), 1u);
    EXPECT_EQ(Handle(), -1) << "the port is closed after the Save";
  }
}

INSTANTIATE_TEST_SUITE_P(Transports, TwoBankEditorTransportTest,
                         ::testing::Values(Transport{"Pty", PortCOM}, Transport{"UsbDevice", PortUSB},
                                           Transport{"UsbPrinter", PortUSBPrinter}),
                         [](const auto& info) { return std::string(info.param.name); });

// A printer that answers one read after the Get gave up on it: the next Get
// on the port waits for that reply and throws it away, so it reads every
// setting as the printer holds it, never one place off. On the serial port
// and on the USB device (whose printer keeps what the host left unread for
// its next connection, as a real one does).
class TwoBankLateReplyTest : public TwoBankEditorTransportTest {};

TEST_P(TwoBankLateReplyTest, ReplyAfterTheTimeOutShiftsNothing) {
  Known(H738Profile());
  if (GetParam().kind == PortUSB) printer_.setUsbKeepsUnreadBytes(true);
  auto form = MakeEditor(H738Profile());
  QuickReads(*form, 2000);
  form->btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form->resultText(), "Get settings from printer successfully.");
  const TwoBankState shown = form->state();
  const TwoBankKeptBytes kept = form->kept();
  // A second later than the read waits (2 s on both), so within the time-out
  // after the read gave up.
  printer_.setAddressFault(0x06, FaultSpec{Fault::LateReply, 1, 3000});
  TwoBankState other = shown;
  other.speed = "111";
  form->setState(other);
  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->resultText(), "Fail to get print speed!");
  messages_.clear();
  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form->state(), shown);
  EXPECT_EQ(form->kept(), kept);
}

INSTANTIATE_TEST_SUITE_P(Transports, TwoBankLateReplyTest,
                         ::testing::Values(Transport{"Pty", PortCOM}, Transport{"UsbDevice", PortUSB}),
                         [](const auto& info) { return std::string(info.param.name); });

// A byte behind the last reply of a Get: the 2 bytes taken may not be the
// value, so the reply does not stand. The Get fails at its last row, which
// keeps what it showed.
TEST_F(TwoBankEditorSimTest, ByteBehindTheLastReplyFailsTheGet) {
  Known(H738Profile());
  printer_.setAddressFault(0x2B, 1, FaultSpec{Fault::LongReply, 1, 0});
  auto form = MakeEditor(H738Profile());
  const std::string before = form->state().feedLine;
  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->resultText(), "Fail to getget Feed Lines mark!");
  EXPECT_EQ(form->state().feedLine, before);
  EXPECT_FALSE(form->saveEnabled());
  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(form->state(), KnownState(H738Profile()));
}

// Get stops at the first reply its editor refuses: the red line names the
// row, nothing after it is read, and Save stays as it was.
TEST_F(TwoBankEditorSimTest, GetFailures) {
  struct Case {
    const TwoBankProfile* profile;
    int bank, address;
    uint16_t value;
    bool silent;  // the printer does not answer this read at all
    const char* result;
    std::vector<QString> boxes;
  };
  const QString commTest = kCommTestFailedText;
  const Case cases[] = {
      {&H738Profile(), 1, 0x16, 5, false, "Fail to get COM's baud rate!", {}},
      {&K772Profile(), 1, 0x05, 0x0004, false, "Fail to get PrintSurface flag!", {}},
      {&K9034Profile(), 1, 0x4A, 0x0004, false, "Fail to get PaperOutMode flag!", {}},
      {&K466Profile(), 1, 0x24, 0, true, "Fail to get default left margin!", {commTest}},
      {&K9034Profile(), 1, 0x25, 0, true, "Fail to get default right margin!", {commTest}},
      {&H738Profile(), 1, 0x2B, 0xFFFF, false, "Fail to getget Feed Lines mark!", {}},
  };
  for (const Case& c : cases) {
    for (const bool gotBefore : {false, true}) {
      SCOPED_TRACE(std::string(c.profile->name) + " " + c.result + (gotBefore ? " after a Get" : ""));
      Model(*c.profile);
      auto form = MakeEditor(*c.profile);
      if (gotBefore) form->btnGetSettingsFromPrinterClick();
      ASSERT_EQ(form->saveEnabled(), gotBefore);
      const TwoBankState before = form->state();
      printer_.setSetting(c.address, c.value, c.bank);
      if (c.silent) {
        printer_.setAddressFault(c.address, c.bank, FaultSpec{Fault::NoReply, -1, 0});
        QuickReads(*form, 300);
      }
      printer_.clearLog();
      messages_.clear();
      form->btnGetSettingsFromPrinterClick();
      EXPECT_EQ(form->resultText(), c.result);
      EXPECT_TRUE(form->resultIsRed());
      EXPECT_EQ(messages_.texts(), c.boxes);
      if (!c.boxes.empty()) {
        EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Plain);
      }
      EXPECT_EQ(form->saveEnabled(), gotBefore) << "a failed Get leaves Save as it was";
      const std::vector<int> requests = Requests(printer_);
      ASSERT_FALSE(requests.empty());
      EXPECT_EQ(requests.back(), c.bank * 0x100 + c.address) << "nothing is read after the failed row";
      EXPECT_EQ(ComParameter.m_hdev.load(), -1);
      if (c.address == 0x05) {
        EXPECT_EQ(form->state().printingSurface, before.printingSurface);
        EXPECT_EQ(std::count(requests.begin(), requests.end(), 0x210), 0) << "the data error is not read";
      }
    }
  }
}

// A Get of a printer whose code page or default invert is no item leaves
// the box or group empty, so Save and Export refuse until one is picked:
// nothing the user did not see is written back.
TEST_F(TwoBankEditorSimTest, CodePageOrInvertThatIsNoItemIsNeverWrittenBack) {
  Model(H738Profile());
  printer_.setSetting(0x36, 0x020C);  // code page 12, character set 2
  printer_.setSetting(0x03, 5, 2);
  const QString file = path("invert.pes");
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  auto form = MakeEditor(H738Profile());
  TwoBankState s = form->state();
  s.codePage = 4;
  s.defaultInvert = 0;
  form->setState(s);
  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->resultText(), "Get settings from printer successfully.");
  EXPECT_EQ(Child<QComboBox>(*form, "cboCodePage")->currentIndex(), -1);
  EXPECT_EQ(form->state().intlChar, 2);
  EXPECT_EQ(form->state().defaultInvert, -1);
  for (QRadioButton* b : Child<QGroupBox>(*form, "rgDefaultInvertEnable")->findChildren<QRadioButton*>())
    EXPECT_FALSE(b->isChecked()) << b->text().toStdString();
  printer_.clearLog();
  form->btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form->resultText(), "Fail to save  CodePage and intlChar flag!");
  EXPECT_TRUE(printer_.receivedBytes().empty());
  // The code page picked, the invert still refuses.
  s = form->state();
  s.codePage = 4;
  form->setState(s);
  form->btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form->resultText(), "Fail to save default inverted enable flag!");
  EXPECT_TRUE(form->resultIsRed());
  EXPECT_TRUE(printer_.receivedBytes().empty());
  form->btnExportSettingsToFileClick();
  EXPECT_EQ(form->resultText(), "Some error appears when exporting settings to file \"" + file + "\"!");
  EXPECT_FALSE(QFile::exists(file));
  // Picked: both go through.
  s.defaultInvert = 1;
  form->setState(s);
  form->btnExportSettingsToFileClick();
  EXPECT_EQ(form->resultText(), "Export settings to file \"" + file + "\" successfully.");
  form->btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form->resultText(), "Save settings to printer successfully.");
  EXPECT_TRUE(printer_.waitForReceived(1, 3000));
}

// A Save that a check or a setter refuses sends nothing: the port is not
// opened.
TEST_F(TwoBankEditorSimTest, SaveRefusalsSendNothing) {
  struct Case {
    const TwoBankProfile* profile;
    const char* name;
    void (*edit)(TTwoBankEepromSetForm&);
    std::vector<QString> boxes;
    const char* result;  // the red line, or nullptr when a check refused (the line is emptied)
  };
  const Case cases[] = {
      {&H738Profile(),
       "width 47",
       [](TTwoBankEepromSetForm& f) { Child<QLineEdit>(f, "PaperWidth")->setText("47"); },
       {"The input of PaperWidth is invalid!"},
       nullptr},
      {&K772Profile(),
       "width 81",
       [](TTwoBankEepromSetForm& f) { Child<QLineEdit>(f, "PaperWidth")->setText("81"); },
       {"The input of PaperWidth is invalid!"},
       nullptr},
      {&K9034Profile(),
       "width 113",
       [](TTwoBankEepromSetForm& f) { Child<QLineEdit>(f, "PaperWidth")->setText("113"); },
       {"The input of PaperWidth is invalid!"},
       nullptr},
      {&H738Profile(),
       "left margin 101",
       [](TTwoBankEepromSetForm& f) { Child<QLineEdit>(f, "edtDefaultLeftMargin")->setText("101"); },
       {"The input of default left margin is invalid!"},
       "Fail to save default left margin!"},
      {&K9034Profile(),
       "both margins",
       [](TTwoBankEepromSetForm& f) {
         Child<QLineEdit>(f, "edtDefaultLeftMargin")->setText("101");
         Child<QLineEdit>(f, "edtDefaultRightMargin")->setText("-1");
       },
       {"The input of default left margin is invalid!", "The input of default right margin is invalid!"},
       "Fail to save default left margin!"},
      {&K466Profile(),
       "no code page",
       [](TTwoBankEepromSetForm& f) { Child<QComboBox>(f, "cboCodePage")->setCurrentIndex(-1); },
       {},
       "Fail to save  CodePage and intlChar flag!"},
      {&K9034Profile(),
       "typed print mode",
       [](TTwoBankEepromSetForm& f) { Child<QComboBox>(f, "ComboBox2")->setEditText("Feed"); },
       {},
       "Fail to save front Watermark Print flag!"},
      {&K772Profile(),
       "back alignment cleared by a file",
       [](TTwoBankEepromSetForm& f) { Child<QComboBox>(f, "BackWaterMarkalignment")->setCurrentIndex(-1); },
       {},
       "Fail to save back Watermark Print flag!"},
      {&H738Profile(),
       "format",
       [](TTwoBankEepromSetForm& f) { Child<QLineEdit>(f, "WaitTime")->setText("1 2"); },
       {"The input of format is invalid!"},
       nullptr},
      {&K9034Profile(),
       "feed lines FFFF",
       [](TTwoBankEepromSetForm& f) { Child<QLineEdit>(f, "FeedLine")->setText("65535"); },
       {"The input of Feed Lines in Mark Mode is invalid!"},
       nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile->name) + " " + c.name);
    auto form = AfterGet(*c.profile);
    c.edit(*form);
    form->btnSaveSettingsToPrinterClick();
    EXPECT_EQ(messages_.texts(), c.boxes);
    if (c.result) {
      EXPECT_EQ(form->resultText(), c.result);
      EXPECT_TRUE(form->resultIsRed());
    } else {
      EXPECT_EQ(form->resultText(), "") << "no earlier success stands beside a refused Save";
    }
    EXPECT_EQ(Child<QPushButton>(*form, "btnSaveSettingsToPrinter")->text(), "&Save Settings To Printer");
    EXPECT_TRUE(printer_.receivedBytes().empty()) << "nothing is sent";
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  }
  // The margin boxes are plain English boxes; the others follow the language.
  Language = "Chinese";
  auto form = AfterGet(K9034Profile());
  Child<QLineEdit>(*form, "edtDefaultLeftMargin")->setText("101");
  Child<QLineEdit>(*form, "PaperWidth")->setText("113");
  form->btnSaveSettingsToPrinterClick();
  ASSERT_EQ(messages_.messages().size(), 2u);
  EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Plain);
  EXPECT_EQ(messages_.messages()[0].text, "The input of default left margin is invalid!");
  EXPECT_EQ(messages_.messages()[1].kind, MessageKind::Warning);
  EXPECT_EQ(messages_.messages()[1].text, "“PaperWidth”非法输入！");
}

// The widest paper each editor takes is written.
TEST_F(TwoBankEditorSimTest, WidestPaperIsWritten) {
  for (const TwoBankProfile* p : {&H738Profile(), &K9034Profile()}) {
    SCOPED_TRACE(p->name);
    auto form = AfterGet(*p);
    const int widest = IsK9034(*p) ? 112 : 80;
    Child<QLineEdit>(*form, "PaperWidth")->setText(QString::number(widest));
    form->btnSaveSettingsToPrinterClick();
    EXPECT_EQ(form->resultText(), "Save settings to printer successfully.");
    ASSERT_TRUE(printer_.waitForLog(SaveOrder(*p).size(), 5000));
    EXPECT_EQ(printer_.setting(0x26), widest);
  }
}

// The printer-state line: after a Get the speed note alone, after a Save
// both notes, each closed with a full stop, olive.
TEST_F(TwoBankEditorSimTest, StateLineAtEightyAndOneHundredTwenty) {
  Model(K772Profile());
  printer_.setSetting(0x06, 80);
  printer_.setSetting(0x02, 0x7878);
  auto form = MakeEditor(K772Profile());
  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->stateText(), "Printer state: light motor load.");
  EXPECT_TRUE(form->stateIsOlive());
  printer_.clearLog();
  form->btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form->resultText(), "Save settings to printer successfully.");
  EXPECT_EQ(form->stateText(), "Printer state: light motor load, heavy TPH load.");
  EXPECT_TRUE(form->stateIsOlive());
  // A fresh printer reads normal again, in the window-text colour (once the
  // printer has taken in all the Save wrote, which a pseudo-terminal hands
  // on a moment after the write).
  ASSERT_TRUE(printer_.waitForLog(SaveOrder(K772Profile()).size(), 5000));
  Model(K772Profile());
  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->stateText(), "Printer state: Normal.");
  EXPECT_FALSE(form->stateIsOlive());
}

// On a port kind the editors do not open, the handle stays -1: Get fails at
// its first row, and Save never reports success.
TEST_F(TwoBankEditorSimTest, OtherPortKindsFail) {
  for (int kind : {PortLPT, PortNibbleLPT, PortNet, PortDriver}) {
    SCOPED_TRACE(kind);
    PortType = kind;
    for (const TwoBankProfile* p : {&H738Profile(), &K9034Profile()}) {
      auto form = MakeEditor(*p);
      form->btnGetSettingsFromPrinterClick();
      EXPECT_EQ(form->resultText(), "Fail to get COM's baud rate!");
      EXPECT_FALSE(form->saveEnabled());
      TwoBankState s = form->state();
      s.codePage = 0;
      s.autoSpeed = "28";
      form->setState(s);
      form->btnSaveSettingsToPrinterClick();
      EXPECT_EQ(form->resultText(), "Fail to save COM's baud rate!");
      EXPECT_TRUE(form->resultIsRed());
    }
  }
  EXPECT_TRUE(printer_.receivedBytes().empty());
  EXPECT_TRUE(messages_.messages().empty());
}

// A port that does not open: the error in the user's language; the result
// line is emptied (the last Get's success does not stand beside the error),
// the state line of the last Get stays as it was, its colour too.
TEST_F(TwoBankEditorSimTest, PortThatCannotOpen) {
  auto form = AfterGet(K9034Profile());
  ASSERT_FALSE(form->stateIsOlive());
  // A light motor load the Save would note.
  Child<QLineEdit>(*form, "edtPrintSpeed")->setText("80");
  ComParameter.Name = path("no-such-tty").toStdString();
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    messages_.clear();
    form->btnGetSettingsFromPrinterClick();
    form->btnSaveSettingsToPrinterClick();
    const QString english = "Can't open " + path("no-such-tty") + " port!";
    const QString chinese = "端口 " + path("no-such-tty") + " 打开错误！";
    const QString text = Language == "English" ? english : chinese;
    EXPECT_EQ(messages_.texts(), (std::vector<QString>{text, text}));
    EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(Child<QPushButton>(*form, "btnSaveSettingsToPrinter")->text(), "&Save Settings To Printer");
    EXPECT_EQ(form->resultText(), "");
    EXPECT_EQ(form->stateText(), "Printer state: Normal.");
    EXPECT_FALSE(form->stateIsOlive());
  }
}

// Every road that ends an action without success leaves no earlier
// "successfully" standing in the result line beside the box that says
// otherwise: a port that does not open, a refused Save or Export, an export
// file that cannot be created.
TEST_F(TwoBankEditorSimTest, NoFailedRoadLeavesAnEarlierSuccessStanding) {
  const std::string port = ComParameter.Name;
  QString file;
  torva::gui::ScopedFileDialogs dialogs{[&](const torva::gui::FileDialogRequest&) { return file; }};
  struct Road {
    const char* name;
    std::function<void(TTwoBankEepromSetForm&)> act;
  };
  const auto slow = [](TTwoBankEepromSetForm& f) { Child<QLineEdit>(f, "edtPrintSpeed")->setText("49"); };
  const Road roads[] = {
      {"Get, no port",
       [&](TTwoBankEepromSetForm& f) {
         ComParameter.Name = path("gone").toStdString();
         f.btnGetSettingsFromPrinterClick();
       }},
      {"Save, no port",
       [&](TTwoBankEepromSetForm& f) {
         ComParameter.Name = path("gone").toStdString();
         f.btnSaveSettingsToPrinterClick();
       }},
      {"Save refused", [&](TTwoBankEepromSetForm& f) { slow(f); f.btnSaveSettingsToPrinterClick(); }},
      {"Export refused",
       [&](TTwoBankEepromSetForm& f) {
         slow(f);
         file = path("refused.pes");
         f.btnExportSettingsToFileClick();
       }},
      {"Export, no folder",
       [&](TTwoBankEepromSetForm& f) {
         file = path("no-folder/x.pes");
         f.btnExportSettingsToFileClick();
       }},
  };
  for (const Road& road : roads) {
    SCOPED_TRACE(road.name);
    ComParameter.Name = port;
    Known(H738Profile());
    auto form = MakeEditor(H738Profile());
    form->btnGetSettingsFromPrinterClick();
    ASSERT_EQ(form->resultText(), "Get settings from printer successfully.");
    messages_.clear();
    road.act(*form);
    EXPECT_EQ(messages_.messages().size(), 1u) << "a box says what went wrong";
    EXPECT_EQ(form->resultText(), "");
    EXPECT_FALSE(form->resultIsRed());
  }
}

// A failing data-error write: the VD-H738 editor goes on with the rest and
// reports the row in red without the pause and the line feed; the VD-K9034
// editor stops there.
TEST_F(TwoBankEditorSimTest, DataErrorWriteFault) {
  printer_.stop();
  Start(PortUSB);
  for (const TwoBankProfile* p : {&H738Profile(), &K9034Profile()}) {
    SCOPED_TRACE(p->name);
    Known(*p);
    auto form = MakeEditor(*p);
    form->btnGetSettingsFromPrinterClick();
    ASSERT_TRUE(form->saveEnabled());
    Model(*p);
    printer_.setUsbSettingWriteFault(2, 0x10);
    messages_.clear();
    std::vector<int> waits;
    {
      torva::ScopedPrinterDelayRecorder recorder;
      form->btnSaveSettingsToPrinterClick();
      waits = recorder.waits();
    }
    EXPECT_EQ(form->resultText(), "Fail to save DataError flag!");
    EXPECT_TRUE(form->resultIsRed());
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_EQ(std::count(waits.begin(), waits.end(), 5000), 0);
    // What follows the data error reached the printer only where the Save
    // goes on: the default-invert frame goes out with the last flush.
    ASSERT_TRUE(printer_.waitForLog(IsK9034(*p) ? 5 : SaveOrder(*p).size() - 2, 5000));
    const uint16_t invert = printer_.setting(0x03, 2);
    EXPECT_EQ(invert == 0, !IsK9034(*p));
    EXPECT_EQ(printer_.log("FeedLine").size(), 0u);
    EXPECT_EQ(USBParameter.m_hdev.load(), -1);
  }
}

// The VD-K772 editor writes the printing surface at once, before the first
// flush of the queue.
TEST_F(TwoBankEditorSimTest, SurfaceFrameGoesOutBeforeTheFirstFlush) {
  auto form = AfterGet(K772Profile());
  TwoBankState s = form->state();
  s.printingSurface = 1;  // Back
  form->setState(s);
  form->btnSaveSettingsToPrinterClick();
  ASSERT_EQ(form->resultText(), "Save settings to printer successfully.");
  ASSERT_TRUE(printer_.waitForLog(SaveOrder(K772Profile()).size(), 5000));
  const Bytes sent = printer_.receivedBytes();
  const Bytes surface = Rec(0x05, 0x02, 0x00);
  const Bytes firstQueued = Rec(0x16, 0x02, 0x00);  // 38400 opens the queue
  const auto at = std::search(sent.begin(), sent.end(), surface.begin(), surface.end());
  const auto queue = std::search(sent.begin(), sent.end(), firstQueued.begin(), firstQueued.end());
  ASSERT_NE(at, sent.end());
  EXPECT_LT(at, queue);
  EXPECT_EQ(printer_.setting(0x05), 2);
}

// The VD-K466 editor's Printing Surface takes part in no exchange: whatever
// it shows, a Save sends the same bytes.
TEST_F(TwoBankEditorSimTest, K466SurfaceChangesNoByteSent) {
  std::vector<Bytes> sent;
  for (int surface : {0, 2}) {
    auto form = AfterGet(K466Profile());
    TwoBankState s = form->state();
    s.printingSurface = surface;
    form->setState(s);
    form->btnSaveSettingsToPrinterClick();
    ASSERT_EQ(form->resultText(), "Save settings to printer successfully.");
    ASSERT_TRUE(printer_.waitForLog(SaveOrder(K466Profile()).size(), 5000));
    sent.push_back(printer_.receivedBytes());
  }
  EXPECT_EQ(sent[0], sent[1]);
}

// "No Waiting" goes out in the queued paper-out frame.
TEST_F(TwoBankEditorSimTest, K9034NoWaitingIsSaved) {
  auto form = AfterGet(K9034Profile());
  TwoBankState s = form->state();
  s.paperOutMode = 3;
  form->setState(s);
  form->btnSaveSettingsToPrinterClick();
  ASSERT_EQ(form->resultText(), "Save settings to printer successfully.");
  ASSERT_TRUE(printer_.waitForLog(SaveOrder(K9034Profile()).size(), 5000));
  EXPECT_EQ(printer_.setting(0x4A) & 0xFF, 3);
}

// With 7 data bits configured, each exchange switches the printer to 8 bits
// first and back to 7 last, whether it succeeds or a read or a write fails;
// a Save that is refused switches nothing. ComParameter.Databits stays 7.
class TwoBankEditorSevenBitTest : public TwoBankEditorSimTest {
 protected:
  void SetUp() override {
    TwoBankEditorSimTest::SetUp();
    FakeTermios::Reset();
    FakeTermios::printer = &printer_;
    ComParameter.Databits = 7;
  }
  void TearDown() override {
    FakeTermios::printer = nullptr;
    TwoBankEditorSimTest::TearDown();
    FakeTermios::Reset();
  }
  // Waits until the switch back has reached the printer: it is the last
  // frame, and may still be on its way when the action returns.
  void WaitSwitchBack() {
    const uint64_t end = torva::TickMs() + 5000;
    while (DataBitsSwitches(printer_).size() < 2 && torva::TickMs() < end)
      printer_.waitForLog(printer_.log().size() + 1, 50);
  }
  void ExpectEightThenSeven() {
    WaitSwitchBack();
    EXPECT_EQ(DataBitsSwitches(printer_), (std::vector<int>{8, 7}));
    const auto log = printer_.log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front().name, "TempDataBits");
    EXPECT_EQ(printer_.dataBits(), 7);
    EXPECT_EQ(FakeTermios::Sizes(), (std::vector<int>{7, 8, 7}));
    EXPECT_EQ(ComParameter.Databits, 7);
    EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  }
  ScopedSerialCalls seam_{FakeTermios::Calls()};
};

TEST_F(TwoBankEditorSevenBitTest, GetSwitchesToEightAndBack) {
  for (const TwoBankProfile* p : {&H738Profile(), &K9034Profile()}) {
    SCOPED_TRACE(p->name);
    Model(*p);
    FakeTermios::Reset();
    auto form = MakeEditor(*p);
    form->btnGetSettingsFromPrinterClick();
    EXPECT_EQ(form->resultText(), "Get settings from printer successfully.");
    ExpectEightThenSeven();
    EXPECT_EQ(printer_.log().back().name, "TempDataBits");
  }
}

TEST_F(TwoBankEditorSevenBitTest, FailedReadSwitchesBack) {
  Model(K9034Profile());
  printer_.setSetting(0x4A, 4);
  auto form = MakeEditor(K9034Profile());
  form->btnGetSettingsFromPrinterClick();
  EXPECT_EQ(form->resultText(), "Fail to get PaperOutMode flag!");
  ExpectEightThenSeven();
}

TEST_F(TwoBankEditorSevenBitTest, SaveSwitchesBackBeforeTheLineFeed) {
  auto form = AfterGet(H738Profile());
  FakeTermios::Reset();
  form->btnSaveSettingsToPrinterClick();
  EXPECT_EQ(form->resultText(), "Save settings to printer successfully.");
  ASSERT_TRUE(printer_.waitForLog(SaveOrder(H738Profile()).size() + 2, 5000));
  ExpectEightThenSeven();
  EXPECT_EQ(printer_.log().back().name, "FeedLine");
}

TEST_F(TwoBankEditorSevenBitTest, FailedWriteSwitchesBack) {
  for (const TwoBankProfile* p : {&H738Profile(), &K9034Profile()}) {
    SCOPED_TRACE(p->name);
    auto form = AfterGet(*p);
    FakeTermios::Reset();
    // The port refuses the left margin's frame.
    SerialCalls failing = FakeTermios::Calls();
    failing.write = [](int fd, const void* data, size_t n) -> ssize_t {
      const auto* bytes = static_cast<const uint8_t*>(data);
      if (n == 9 && bytes[8] == 0x24) {
        errno = EIO;
        return -1;
      }
      return FakeTermios::Write(fd, data, n);
    };
    ScopedSerialCalls seam{failing};
    form->btnSaveSettingsToPrinterClick();
    EXPECT_EQ(form->resultText(), "Fail to save default left margin!");
    ExpectEightThenSeven();
    EXPECT_TRUE(printer_.log("WriteSetting").empty()) << "the queued rows before it were never sent";
  }
}

TEST_F(TwoBankEditorSevenBitTest, RefusedSaveSendsNeither) {
  auto form = AfterGet(K9034Profile());
  FakeTermios::Reset();
  Child<QLineEdit>(*form, "PaperWidth")->setText("120");
  form->btnSaveSettingsToPrinterClick();
  EXPECT_EQ(messages_.texts(), std::vector<QString>{"The input of PaperWidth is invalid!"});
  EXPECT_TRUE(printer_.receivedBytes().empty());
  EXPECT_TRUE(FakeTermios::Sizes().empty()) << "the port was never opened";
  EXPECT_EQ(printer_.dataBits(), 7) << "the printer stays at the configured bits";
}
