// A printer that sends one reply of a Get one byte too long, or one byte by
// itself just before a reply, on every port kind the editors read (serial,
// USB device, USB printer, the VD-K773's custom mode), for an editor of each
// frame and model such a byte once fooled, the overlong reply first, in the
// middle or last, the early byte before a reply the editor takes whatever
// it holds: the 2 bytes the editor takes may not be the value, so the
// Get fails at that setting with its own text and shows what a Get whose
// read of that setting failed shows: the settings read before it as the
// printer holds them, that one and the rest as they were. The byte is not
// left at the port for whoever reads it next. A Save after such a Get
// writes back only what the printer holds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "EditorSimSupport.h"
#include "SecondSeriesSimSupport.h"
#include "SettingsEditorTestSupport.h"
#include "TwoBankFixtures.h"
#include "link/USBUnit.h"
#include "settings/CommonAddressMap.h"
#include "settings/K409EepromSet.h"
#include "settings/K773EepromSet.h"
#include "settings/K9034EepromSet.h"
#include "settings/M512EepromSet.h"
#include "settings/RWK201EepromSet.h"
#include "settings/RWK305G2EepSet.h"
#include "settings/SecondSeriesMap.h"
#include "settings/TwoBankMap.h"
#include "settings/VDH738EepromSet.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using torva::sim::Fault;
using torva::sim::FaultSpec;

namespace {

// One read of a Get: the bank and the address asked, and what the editor
// says when its Get fails at this read.
struct Read {
  int bank = 1;
  int address = 0;
  QString failed;
};

// "Fail to get" and a setting's failure text, its last comma made "!".
QString FailedAt(const char* text) {
  std::string said = std::string("Fail to get") + text;
  said.back() = '!';
  return QString::fromStdString(said);
}

std::vector<Read> CommonReads(const CommonAddressProfile& p) {
  std::vector<Read> out;
  for (CommonSetting s : p.getOrder) out.push_back({1, InfoOf(s).address, FailedAt(InfoOf(s).getFailText)});
  return out;
}
std::vector<Read> TwoBankReads(const TwoBankProfile& p) {
  std::vector<Read> out;
  for (const TwoBankGetStep& step : p.getSteps) {
    const TwoBankSettingInfo& info = TwoBankInfoOf(step.setting);
    out.push_back({info.bank, info.address, FailedAt(step.failText)});
  }
  return out;
}
// The second series says the same for every setting.
std::vector<Read> SecondSeriesReads(const second::SecondSeriesProfile& p) {
  std::vector<Read> out;
  for (second::Setting s : p.getOrder) {
    if (const second::SettingRow* row = second::RowOf(p, s))
      out.push_back({1, row->address, QString::fromUtf8(p.texts.getFailedEnglish)});
  }
  return out;
}

// How one Get of a fresh editor ended.
template <class State>
struct GetEnd {
  bool succeeded = false;
  QString said;  // the result line, or the box of an editor that reports in boxes
  bool saveEnabled = false;
  State shown;
};

// One Get of a fresh editor; readTimeoutMs, when given, shortens its reads.
template <class Form>
auto RunGet(MessageRecorder& messages, int readTimeoutMs = 0) {
  messages.clear();
  Form form;
  if (readTimeoutMs > 0) {
    PortStyle style = form.link().style();
    style.readTimeoutMs = readTimeoutMs;
    form.link().setStyle(style);
  }
  form.btnGetSettingsFromPrinterClick();
  GetEnd<decltype(form.state())> end;
  if constexpr (std::is_base_of_v<TSecondSeriesEepromSetForm, Form>) {
    end.said = messages.messages().empty() ? QString() : messages.messages().back().text;
    end.succeeded = end.said == settings_test::second_series::kGetOk;
    end.saveEnabled = form.buttons().save;
  } else {
    end.said = form.resultText();
    end.succeeded = end.said == "Get settings from printer successfully.";
    end.saveEnabled = form.saveEnabled();
  }
  end.shown = form.state();
  return end;
}

struct Port {
  const char* name;
  int kind;
  bool custom;  // the VD-K773's custom mode (class mode 1, four status bytes)
};
const Port kSerial{"Serial", PortCOM, false};
const Port kUsbDevice{"UsbDevice", PortUSB, false};
const Port kUsbPrinter{"UsbPrinter", PortUSBPrinter, false};
const Port kCustom{"Custom", PortUSBPrinter, true};

// Where the stray byte comes: at the first, middle or last read, or at the
// read of a setting whose reply the editor takes whatever it holds (so a
// reading shifted by the byte would pass as a value).
enum class Position { First, Middle, Last, AnyValue };

// The byte that does not belong to the reply: behind it (an overlong
// reply) or before it (a byte the printer sent by itself).
enum class Stray { Behind, Before };

class OverlongReplyTest;

struct Family {
  const char* name;
  int model;
  std::vector<Read> (*reads)();
  void (*check)(OverlongReplyTest& test, const Read& faulted);
  bool customMode;   // also reached in the VD-K773's custom mode
  int anyValueAddress;  // a bank-1 setting whose getter takes any reply
};

struct Case {
  const Family* family;
  Port port;
  Position position;
  Stray stray;
};

// Long enough for a loaded machine to answer the reads that succeed.
constexpr int kReferenceReadMs = 1000;

class OverlongReplyTest : public settings_test::SimPrinterEditorTest, public ::testing::WithParamInterface<Case> {
 public:
  OverlongReplyTest() : SimPrinterEditorTest(2) {}

  void SetUp() override {
    EditorTest::SetUp();
    const Case& c = GetParam();
    printer_.setModel(c.family->model);
    PrinterName = c.family->model;
    printer_.setReplyObserver([this, stray = c.stray](const std::string&, const Bytes& bytes) {
      const bool behind = stray == Stray::Behind && bytes.back() == torva::sim::kLongReplyByte;
      const bool before = stray == Stray::Before && bytes.front() == torva::sim::kEarlyByte;
      if (bytes.size() == 3 && (behind || before)) ++strayReplies_;
    });
    if (c.port.kind == PortCOM) {
      UseSerial(38400);
      return;
    }
    UseUsbSocket(c.port.kind, 2000);
    // What the host leaves unread stays in the printer for its next
    // connection, as in a real one.
    printer_.setUsbKeepsUnreadBytes(true);
    if (c.port.custom) {
      printer_.setK773Custom(true, 1, 4);
      is773Costom = 1;
      iUSBClassMode = 1;
      iStatusBytes = 4;
      iPrinterID = 1;
    }
  }
  void TearDown() override {
    printer_.setReplyObserver(nullptr);
    iPrinterID = 0;
    SetK773SwitchWord({});
    SimPrinterEditorTest::TearDown();
  }

  // The bytes the port still holds for the next reader once the Get is over.
  int LeftAtPort() {
    uint8_t scrap[64];
    switch (PortType.load()) {
      case PortCOM: {
        const int fd = ::open(printer_.serialPath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        int queued = -1;
        if (fd >= 0) ::ioctl(fd, FIONREAD, &queued);
        if (fd >= 0) ::close(fd);
        return queued;
      }
      case PortUSB: {
        const int h = UsbDevice::OpenDeviceX(USBParameter.X);
        const int n = UsbDevice::uReadWaiting(h, scrap, sizeof scrap);
        UsbDevice::CloseDevice(h);
        return n;
      }
      default: {
        // The custom connection keeps nothing from one connection to the next.
        if (GetParam().port.custom) return 0;
        const int h = UsbPrinter::OpenUSBPrinter(USBPrinterParameter.Name);
        const int n = UsbPrinter::ReadUSBPrinterWaiting(h, scrap, sizeof scrap);
        UsbPrinter::CloseUSBPrinter(h);
        return n;
      }
    }
  }

  // The Get with the stray byte at that read, a Get without it, and a Get
  // whose read of that setting fails (the reply comes short), which shows
  // what the first must show. The last goes last: the reply it gave up on
  // is waited for by the next exchange on the port.
  template <class Form>
  static void CheckGet(OverlongReplyTest& t, const Read& at) {
    const Fault stray = GetParam().stray == Stray::Behind ? Fault::LongReply : Fault::EarlyByte;
    t.printer_.setAddressFault(at.address, at.bank, FaultSpec{stray, 1, 0});
    const auto faulted = RunGet<Form>(t.messages_);
    ASSERT_EQ(t.strayReplies_.load(), 1) << "the printer sent the stray byte";
    EXPECT_EQ(t.LeftAtPort(), 0) << "the byte left behind the reply is gone with the Get";
    t.printer_.clearFault();
    const auto clean = RunGet<Form>(t.messages_);
    ASSERT_TRUE(clean.succeeded) << clean.said.toStdString();
    t.printer_.setAddressFault(at.address, at.bank, FaultSpec{Fault::ShortReply, 1, 0});
    const auto failedRead = RunGet<Form>(t.messages_, kReferenceReadMs);
    ASSERT_EQ(failedRead.said, at.failed) << "a failed read of the setting";

    EXPECT_EQ(faulted.said, at.failed) << "the Get fails at that setting";
    EXPECT_FALSE(faulted.saveEnabled) << "only a Get that read every setting enables Save";
    EXPECT_TRUE(faulted.shown == failedRead.shown)
        << "the settings before it as the printer holds them, it and the rest as they were";
  }

 private:
  std::atomic<int> strayReplies_{0};
};

const Family kFamilies[] = {
    // The auto-loading time (78) and the feed lines in mark mode (2B, 37,
    // 2C) as numbers, the RW-K305GII's left margin (4E) as a margin.
    {"VDM512", 1, [] { return CommonReads(M512Profile()); }, &OverlongReplyTest::CheckGet<TM512EepromSetForm>,
     false, 0x78},
    {"VDK773", 12, [] { return CommonReads(K773Profile()); }, &OverlongReplyTest::CheckGet<TK773Eeport>, true,
     0x78},
    {"VDH738", 18, [] { return TwoBankReads(H738Profile()); }, &OverlongReplyTest::CheckGet<TVDH738EepromSetForm>,
     false, 0x2B},
    {"VDK9034", 13, [] { return TwoBankReads(K9034Profile()); },
     &OverlongReplyTest::CheckGet<TK9034EepromSetForm>, false, 0x2B},
    {"RWK201", 4, [] { return SecondSeriesReads(second::RWK201Profile()); },
     &OverlongReplyTest::CheckGet<TRWK201EepromSetForm>, false, 0x37},
    {"RWK305GII", 14, [] { return SecondSeriesReads(second::RWK305G2Profile()); },
     &OverlongReplyTest::CheckGet<TRWK305G2EepSetForm>, false, 0x4E},
    {"RWNK409", 5, [] { return SecondSeriesReads(second::K409Profile()); },
     &OverlongReplyTest::CheckGet<TK409EepromSetForm>, false, 0x2C},
};

// Every family on every port it reads, with the overlong reply first, in the
// middle and last, and the byte before a reply the editor takes whatever it
// holds.
std::vector<Case> AllCases() {
  std::vector<Case> out;
  for (const Family& f : kFamilies) {
    std::vector<Port> ports = {kSerial, kUsbDevice, kUsbPrinter};
    if (f.customMode) ports.push_back(kCustom);
    for (const Port& p : ports) {
      for (Position at : {Position::First, Position::Middle, Position::Last})
        out.push_back({&f, p, at, Stray::Behind});
      out.push_back({&f, p, Position::AnyValue, Stray::Before});
    }
  }
  return out;
}

void PrintTo(const Case& c, std::ostream* os) {
  static const char* const kPositions[] = {"first", "middle", "last", "any-value"};
  *os << c.family->name << " on " << c.port.name << ", a byte "
      << (c.stray == Stray::Behind ? "behind" : "before") << " the " << kPositions[static_cast<int>(c.position)]
      << " reply";
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  static const char* const kPositions[] = {"First", "Middle", "Last", "AnyValue"};
  return std::string(info.param.family->name) + "_" + info.param.port.name + "_" +
         (info.param.stray == Stray::Behind ? "Behind" : "Before") +
         kPositions[static_cast<int>(info.param.position)];
}

}  // namespace

TEST_P(OverlongReplyTest, GetFailsAtThatSetting) {
  const Case& c = GetParam();
  const std::vector<Read> reads = c.family->reads();
  ASSERT_FALSE(reads.empty());
  size_t at = reads.size() / 2;
  if (c.position == Position::First) at = 0;
  if (c.position == Position::Last) at = reads.size() - 1;
  if (c.position == Position::AnyValue) {
    const auto it = std::find_if(reads.begin(), reads.end(), [&](const Read& r) {
      return r.bank == 1 && r.address == c.family->anyValueAddress;
    });
    ASSERT_NE(it, reads.end()) << "the Get reads " << std::hex << c.family->anyValueAddress;
    at = static_cast<size_t>(it - reads.begin());
  }
  c.family->check(*this, reads[at]);
}

INSTANTIATE_TEST_SUITE_P(FamiliesPortsPositions, OverlongReplyTest, ::testing::ValuesIn(AllCases()), CaseName);

namespace {

class OverlongReplySaveTest : public settings_test::SimPrinterEditorTest {
 protected:
  OverlongReplySaveTest() : SimPrinterEditorTest(13) {}

  // The setting writes of the Save just made, each against what the
  // printer held: bank, address, value written.
  void ExpectWritesHeld(const std::vector<uint16_t>& held) {
    // The line feed ends the Save: once it is logged, every write is.
    for (size_t n = 1; printer_.log("FeedLine").empty(); ++n) ASSERT_TRUE(printer_.waitForLog(n, 3000));
    size_t writes = 0;
    for (const auto& e : printer_.log()) {
      const bool bank1 = e.name == "WriteSetting", bank2 = e.name == "WriteSetting2";
      if (!bank1 && !bank2) continue;
      ++writes;
      const int bank = bank1 ? 1 : 2;
      const uint16_t value = bank1 ? static_cast<uint16_t>(e.frame[6] | e.frame[7] << 8) : e.frame[6];
      EXPECT_EQ(value, held[static_cast<size_t>((bank - 1) * 256 + e.frame[8])])
          << "bank " << bank << " address " << std::hex << int(e.frame[8]);
    }
    EXPECT_GT(writes, 0u);
    EXPECT_TRUE(twobank_test::Memory(printer_) == held) << "the printer holds what it held before";
  }
};

}  // namespace

// The VD-K9034 over the USB device, a byte before the reply of its front
// watermark word (its last read, through POSReadPort), which would read as
// a watermark the printer does not hold (01 05 for 0005). A fresh editor's
// Get fails there and leaves Save disabled, as a Get that did not read every
// setting does. After a complete Get, a failed one leaves Save enabled (it
// stays so for the dialog's life), with the watermark as the complete Get
// read it: the Save then writes back every setting with the value the
// printer holds, its memory unchanged.
TEST_F(OverlongReplySaveTest, SaveAfterAFailedGetWritesOnlyWhatThePrinterHolds) {
  PrinterName = 13;
  UseUsbSocket(PortUSB, 2000);
  printer_.setUsbKeepsUnreadBytes(true);
  const std::vector<uint16_t> held = twobank_test::Memory(printer_);
  ASSERT_EQ(held[0x77], 0x0005);
  const char* const kFailed = "Fail to get WaterMark print Enable flag!";
  TK9034EepromSetForm fresh;
  printer_.setAddressFault(0x77, 1, FaultSpec{Fault::EarlyByte, 1, 0});
  fresh.btnGetSettingsFromPrinterClick();
  EXPECT_EQ(fresh.resultText(), kFailed);
  EXPECT_FALSE(fresh.saveEnabled());

  TK9034EepromSetForm form;
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  printer_.setAddressFault(0x77, 1, FaultSpec{Fault::EarlyByte, 1, 0});
  form.btnGetSettingsFromPrinterClick();
  ASSERT_EQ(form.resultText(), kFailed);
  ASSERT_TRUE(form.saveEnabled());
  printer_.clearLog();
  form.btnSaveSettingsToPrinterClick();
  ASSERT_EQ(form.resultText(), "Save settings to printer successfully.");
  ExpectWritesHeld(held);
}
