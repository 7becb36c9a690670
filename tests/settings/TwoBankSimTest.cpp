// The two-bank exchange against the simulated printer, on a pseudo-terminal
// and on the simulator's USB socket (device and printer library): the Get
// sequence reads a fixture, each setter lands at its bank and address, Save
// writes its queue in three flushes, a short reply fails, the settle pauses
// are asked on the USB device only, a write fault fails its setter, and a
// fresh printer round-trips through Save and a file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <mutex>

#include "EditorSimSupport.h"
#include "SettingsEditorTestSupport.h"
#include "TwoBankFixtures.h"
#include "link/Clock.h"
#include "settings/TwoBankExchange.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using torva::sim::Fault;
using torva::sim::FaultSpec;
using torva::sim::SimPrinter;
using TB = TwoBankSetting;
using namespace twobank_test;

namespace {

const TwoBankProfile* const kProfiles[] = {&H738Profile(), &K466Profile(), &K772Profile(), &K9034Profile()};

struct Transport {
  const char* name;
  int kind;
};

class TwoBankSimTest : public settings_test::SimPrinterEditorTest, public ::testing::WithParamInterface<Transport> {
 protected:
  TwoBankSimTest() : SimPrinterEditorTest(18) {}
  void SetUp() override {
    SimPrinterEditorTest::SetUp();
    if (GetParam().kind == PortCOM)
      UseSerial(38400);
    else
      UseUsbSocket(GetParam().kind, 2000);
  }
  void TearDown() override {
    link_.setHandle(-1);
    CloseEditorPort();
    SimPrinterEditorTest::TearDown();
  }
  bool usbDevice() const { return GetParam().kind == PortUSB; }
  void Open() {
    const PortOpenResult open = OpenEditorPort(link_);
    ASSERT_FALSE(open.failed) << open.portName;
    ASSERT_GT(link_.handle(), 0);
  }
  // A model of the profile, its memory the printer's defaults.
  void Model(const TwoBankProfile& p) {
    printer_.setModel(p.modelCodes.front());
    printer_.clearFault();
    printer_.clearLog();
  }
  void QuickReads(int ms) {
    PortStyle style = link_.style();
    style.readTimeoutMs = ms;
    link_.setStyle(style);
  }
  // Waits until the printer has taken in everything written so far: it
  // handles the host's bytes in order, so once a read is answered every
  // write before it has been carried out.
  void Sync() {
    uint8_t lo = 0, hi = 0;
    ASSERT_TRUE(link_.ReadSetting(0xF0, lo, hi));
  }

  SettingLink link_{kEcPortStyle};
};

}  // namespace

TEST_P(TwoBankSimTest, GetReadsTheFixtureInTheProfilesOrder) {
  Open();
  for (const TwoBankProfile* p : kProfiles) {
    SCOPED_TRACE(p->name);
    Model(*p);
    for (const Cell& c : KnownCells(*p)) printer_.setSetting(c.address, c.value, c.bank);
    TwoBankState state;
    TwoBankKeptBytes kept;
    const TwoBankGetRun run = RunTwoBankGet(link_, *p, state, kept);
    EXPECT_TRUE(run.ok()) << run.resultText;
    EXPECT_EQ(run.resultText, "Fail to get");
    EXPECT_EQ(run.stateText, "Printer state: Normal.");
    EXPECT_EQ(state, KnownState(*p));
    EXPECT_EQ(kept, KnownKept(*p));
    EXPECT_EQ(Requests(printer_), ExpectedRequests(*p));
  }
}

// Get stops at the first reply its getter refuses, and says which row.
TEST_P(TwoBankSimTest, GetStopsAtTheFirstRefusedReply) {
  Open();
  struct Case {
    const TwoBankProfile* profile;
    int bank, address;
    uint16_t value;
    const char* result;
    bool commTestBox;
  };
  const Case cases[] = {
      {&H738Profile(), 1, 0x16, 5, "Fail to get COM's baud rate,", false},
      {&K466Profile(), 1, 0x24, 0xFFFF, nullptr, false},  // any margin is read
      {&K772Profile(), 1, 0x05, 0x0101, "Fail to get PrintSurface flag,", false},
      {&K9034Profile(), 1, 0x4A, 4, "Fail to get PaperOutMode flag,", false},
      {&H738Profile(), 1, 0x2B, 0xFFFF, "Fail to getget Feed Lines mark,", false},
      // A margin that does not answer also asks for the communication box.
      {&K9034Profile(), 1, 0x25, 0, "Fail to get default right margin,", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.profile->name + std::to_string(c.address));
    Model(*c.profile);
    printer_.setSetting(c.address, c.value, c.bank);
    // Only a printer that stays silent gets the short time-out: the replies
    // that come must never miss it, however busy the machine.
    QuickReads(c.commTestBox ? 300 : kEcPortStyle.readTimeoutMs);
    if (c.commTestBox) printer_.setAddressFault(c.address, c.bank, FaultSpec{Fault::NoReply, -1, 0});
    TwoBankState state;
    TwoBankKeptBytes kept;
    const TwoBankGetRun run = RunTwoBankGet(link_, *c.profile, state, kept);
    if (!c.result) {
      EXPECT_TRUE(run.ok());
      continue;
    }
    EXPECT_FALSE(run.ok());
    EXPECT_EQ(run.resultText, c.result);
    EXPECT_EQ(run.commTestBox, c.commTestBox);
    const auto requests = Requests(printer_);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back(), c.bank * 0x100 + c.address) << "nothing is read after the refused row";
  }
}

TEST_P(TwoBankSimTest, EachSetterLandsAtItsBankAndAddress) {
  Open();
  for (const TwoBankProfile* p : {&K772Profile(), &K9034Profile()}) {
    Model(*p);
    const TwoBankState state = KnownState(*p);
    const TwoBankKeptBytes kept = KnownKept(*p);
    const auto check = CheckTwoBankEdits(state, p->saveChecks);
    ASSERT_TRUE(check.values);
    for (const auto& info : TwoBankSettings()) {
      SCOPED_TRACE(std::string(p->name) + " " + info.name);
      const auto value = EncodeSetting(info.setting, *p, state, *check.values, kept);
      ASSERT_TRUE(value);
      const std::vector<uint16_t> before = Memory(printer_);
      printer_.clearLog();
      link_.queue().Clear();
      ASSERT_TRUE(SetTwoBankSetting(link_, *p, info.setting, state, *check.values, kept));
      // A queued setter sends nothing until the queue is written.
      EXPECT_EQ(link_.queue().length(), info.queued ? 9 : 0);
      if (info.queued) {
        ASSERT_TRUE(link_.SendCommand());
      }
      ASSERT_TRUE(printer_.waitForLog(1, 5000));
      ASSERT_EQ(printer_.log().size(), 1u);
      EXPECT_EQ(printer_.log().front().name, info.bank == 2 ? "WriteSetting2" : "WriteSetting");
      std::vector<uint16_t> expected = before;
      expected[static_cast<size_t>((info.bank - 1) * 256 + info.address)] =
          info.bank == 2 ? (*value & 0xFF) : *value;
      EXPECT_EQ(Memory(printer_), expected);
    }
  }
}

// Save writes the direct setters at once and the 13 queued frames three
// times (the VD-K9034 editor twice), the last time with the invert frame;
// what it wrote reads back as the state it saved.
TEST_P(TwoBankSimTest, SaveFlushesTheQueueAndReadsBack) {
  Open();
  for (const TwoBankProfile* p : kProfiles) {
    SCOPED_TRACE(p->name);
    Model(*p);
    const TwoBankState state = KnownState(*p);
    const auto check = CheckTwoBankEdits(state, p->saveChecks);
    ASSERT_TRUE(check.values);
    TwoBankKeptBytes kept = KnownKept(*p);
    const TwoBankSaveRun run = RunTwoBankSave(link_, *p, state, *check.values, kept);
    EXPECT_TRUE(run.ok()) << run.resultText;
    if (GetParam().kind != PortCOM) {
      // Each direct setter is a write of 9 bytes; then the queue.
      std::vector<int> expected;
      if (IsK9034(*p)) {
        expected.assign(13, 9);
        expected.insert(expected.end(), {117, 126});
      } else {
        // ... up to the front watermark, flush, back watermark, flush, flush.
        expected.assign(p->surfaceExchanged ? 12 : 11, 9);
        expected.insert(expected.end(), {117, 9, 117, 126});
      }
      EXPECT_EQ(printer_.usbWriteLengths(), expected);
    }
    Sync();
    for (const Cell& c : KnownCells(*p)) {
      // The VD-K9034 editor keeps no presenter high byte and writes 0.
      const uint16_t value = c.address == 0x3C && IsK9034(*p) ? 0x001E : c.value;
      EXPECT_EQ(printer_.setting(c.address, c.bank), value) << c.bank << " " << c.address;
    }
    printer_.clearLog();
    TwoBankState read;
    TwoBankKeptBytes readKept;
    ASSERT_TRUE(RunTwoBankGet(link_, *p, read, readKept).ok());
    EXPECT_EQ(read, state);
  }
}

// A fresh printer reads as the dialog's start values (with the speeds Save
// accepts), saves back unchanged and survives a file.
TEST_P(TwoBankSimTest, FreshPrinterRoundTrips) {
  Open();
  for (const TwoBankProfile* p : kProfiles) {
    SCOPED_TRACE(p->name);
    Model(*p);
    const std::vector<uint16_t> fresh = Memory(printer_);
    TwoBankState state;
    TwoBankKeptBytes kept;
    ASSERT_TRUE(RunTwoBankGet(link_, *p, state, kept).ok());
    TwoBankState start;
    start.codePage = 0;
    start.autoSpeed = "28";
    start.feedLine = "160";
    EXPECT_EQ(state, start);
    const auto save = CheckTwoBankEdits(state, p->saveChecks);
    ASSERT_TRUE(save.values);
    EXPECT_TRUE(save.messages.empty());
    ASSERT_TRUE(RunTwoBankSave(link_, *p, state, *save.values, kept).ok());
    Sync();
    EXPECT_EQ(Memory(printer_), fresh);
    const auto exported = CheckTwoBankEdits(state, p->exportChecks);
    ASSERT_TRUE(exported.values);
    const TwoBankExport file = BuildTwoBankExport(*p, state, *exported.values, kept);
    ASSERT_TRUE(file.complete());
    TwoBankState imported;
    TwoBankKeptBytes importedKept;
    const TwoBankImport in =
        ImportTwoBankFile(file.file.data(), file.file.size(), *p, imported, importedKept);
    EXPECT_TRUE(in.good);
    EXPECT_EQ(imported, state);
  }
}

// A reply of one byte fails the read at the time-out on a serial line; on
// USB the library hands over the one byte and the read fails at once. The
// fault names bank 2: the bank-1 cell of the same address answers as ever,
// and the stray byte is gone before the next question.
TEST_P(TwoBankSimTest, OneByteReplyFails) {
  Open();
  const TwoBankProfile& p = H738Profile();
  Model(p);
  printer_.setAddressFault(0x10, 2, FaultSpec{Fault::ShortReply, -1, 0});
  uint8_t lo = 0xEE, hi = 0xEE;
  ASSERT_TRUE(link_.ReadSetting(0x10, lo, hi, SettingLink::ReadFrame{.bank = 1}));
  EXPECT_EQ(lo | (hi << 8), 0xFFFF);
  TwoBankState state;
  TwoBankKeptBytes kept;
  QuickReads(300);
  const uint64_t start = torva::TickMs();
  EXPECT_FALSE(GetTwoBankSetting(link_, p, TB::DataError, state, kept));
  const uint64_t took = torva::TickMs() - start;
  QuickReads(kEcPortStyle.readTimeoutMs);
  if (GetParam().kind == PortCOM) {
    EXPECT_GE(took, 300u);
  }
  EXPECT_EQ(state, TwoBankState{});
  EXPECT_TRUE(GetTwoBankSetting(link_, p, TB::CRCommand, state, kept));
  EXPECT_EQ(state.cr, 1);
}

// The settle pauses are asked on the USB device only, each after its
// request, the VD-H738's right margin before it; a watermark reply is read
// through the common read, which pauses 30 ms on both USB kinds. On a serial
// line nothing pauses; the USB printer pauses 30 ms before every read.
TEST_P(TwoBankSimTest, SettlePausesOnTheUsbDeviceOnly) {
  Open();
  using Wait = std::pair<int, int>;  // (ms, address of the last request sent by then)
  for (const TwoBankProfile* p : {&H738Profile(), &K772Profile(), &K9034Profile()}) {
    SCOPED_TRACE(p->name);
    Model(*p);
    std::mutex mu;
    std::vector<std::pair<int, size_t>> seen;  // (ms, USB writes by then)
    std::vector<int> waits;
    {
      torva::ScopedPrinterDelayRecorder recorder([&](int ms) {
        std::lock_guard<std::mutex> lock(mu);
        seen.emplace_back(ms, printer_.usbWriteLengths().size());
      });
      TwoBankState state;
      TwoBankKeptBytes kept;
      ASSERT_TRUE(RunTwoBankGet(link_, *p, state, kept).ok());
      waits = recorder.waits();
    }
    const std::vector<int> requests = Requests(printer_);
    if (GetParam().kind == PortCOM) {
      EXPECT_TRUE(waits.empty());
      continue;
    }
    if (GetParam().kind == PortUSBPrinter) {
      EXPECT_EQ(waits, std::vector<int>(requests.size(), 30));
      continue;
    }
    std::vector<Wait> got;
    for (const auto& [ms, writes] : seen)
      got.emplace_back(ms, writes == 0 ? -1 : requests.at(writes - 1) & 0xFF);
    std::vector<Wait> expected;
    if (IsK9034(*p)) {
      expected = {{50, 0x24},  {50, 0x25}, {200, 0x06}, {200, 0x30}, {50, 0x41}, {100, 0x4E},
                  {100, 0x70}, {50, 0x10}, {50, 0x33},  {30, 0x78},  {30, 0x77}};
    } else {
      expected = {{50, 0x24}, {50, 0x24}, {200, 0x06}, {50, 0x41}, {100, 0x4E}, {100, 0x70},
                  {50, 0x10}, {50, 0x10}, {50, 0x33},  {30, 0x78}, {30, 0x77}};
    }
    EXPECT_EQ(got, expected);
  }
}

// A USB write that fails fails its setter: a direct one ends the Save at its
// row, the data error (direct, bank 2) marks the result and lets the Save go
// on except in the VD-K9034 editor, and a failed flush is the printer error.
// The faulted write stores nothing.
class TwoBankUsbSimTest : public TwoBankSimTest {};

TEST_P(TwoBankUsbSimTest, WriteFaultFailsItsSetter) {
  Open();
  struct Case {
    const TwoBankProfile* profile;
    int bank, address;
    const char* result;
    bool restWritten;  // the rows after the failed one were written
  };
  const Case cases[] = {
      {&H738Profile(), 1, 0x24, "Fail to save default left margin,", false},
      {&H738Profile(), 2, 0x10, "Fail to save DataError flag,", true},
      {&K9034Profile(), 2, 0x10, "Fail to save DataError flag,", false},
      {&K772Profile(), 1, 0x16, "Fail to save Set printer error!", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.profile->name) + " " + c.result);
    Model(*c.profile);
    const std::vector<uint16_t> fresh = Memory(printer_);
    printer_.setUsbSettingWriteFault(c.bank, c.address);
    const TwoBankState state = KnownState(*c.profile);
    const auto check = CheckTwoBankEdits(state, c.profile->saveChecks);
    ASSERT_TRUE(check.values);
    const TwoBankSaveRun run =
        RunTwoBankSave(link_, *c.profile, state, *check.values, KnownKept(*c.profile));
    EXPECT_EQ(run.resultText, c.result);
    EXPECT_FALSE(run.ok());
    Sync();
    const std::vector<uint16_t> after = Memory(printer_);
    auto cell = [](const std::vector<uint16_t>& m, int bank, int address) {
      return m[static_cast<size_t>((bank - 1) * 256 + address)];
    };
    EXPECT_EQ(cell(after, c.bank, c.address), cell(fresh, c.bank, c.address));
    // The default-invert frame (0 in the fixture) goes out with the last flush.
    EXPECT_EQ(cell(after, 2, 0x03) == 0, c.restWritten);
  }
}

// Without a port every getter and setter refuses at once, the queued ones
// and the darkness setter too: nothing is queued.
TEST(TwoBankExchange, NoPortRefusesEveryGetterAndSetter) {
  ResetPortState();
  PortType = PortCOM;
  for (int handle : {0, -1}) {
    SettingLink link;
    link.setHandle(handle);
    TwoBankState state;
    state.codePage = 0;
    TwoBankEdits edits;
    edits.leftMargin = edits.rightMargin = 2;
    edits.speed = 270;
    edits.head1 = edits.head2 = 68;
    edits.paperWidth = 80;
    TwoBankKeptBytes kept;
    for (const auto& info : TwoBankSettings()) {
      SCOPED_TRACE(info.name);
      ASSERT_TRUE(EncodeSetting(info.setting, K772Profile(), state, edits, kept));
      EXPECT_FALSE(SetTwoBankSetting(link, K772Profile(), info.setting, state, edits, kept));
      EXPECT_FALSE(GetTwoBankSetting(link, K772Profile(), info.setting, state, kept));
    }
    EXPECT_EQ(link.queue().length(), 0);
    EXPECT_EQ(RunTwoBankSave(link, K772Profile(), state, edits, kept).resultText,
              "Fail to save COM's baud rate,");
  }
  ResetPortState();
}

INSTANTIATE_TEST_SUITE_P(Transports, TwoBankSimTest,
                         ::testing::Values(Transport{"Pty", PortCOM}, Transport{"UsbDevice", PortUSB},
                                           Transport{"UsbPrinter", PortUSBPrinter}),
                         [](const auto& info) { return std::string(info.param.name); });
// The write fault is the USB socket's.
INSTANTIATE_TEST_SUITE_P(Transports, TwoBankUsbSimTest,
                         ::testing::Values(Transport{"UsbDevice", PortUSB},
                                           Transport{"UsbPrinter", PortUSBPrinter}),
                         [](const auto& info) { return std::string(info.param.name); });
