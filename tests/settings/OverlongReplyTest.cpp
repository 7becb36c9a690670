// A printer that sends one reply of a Get one byte too long, on every port
// kind the editors read (serial, USB device, USB printer, the VD-K773's
// custom mode), for an editor of each frame and model the byte once fooled,
// the overlong reply first, in the middle or last: the Get shows exactly
// what a Get of the same printer without the fault shows, and says so; the
// byte is not left at the port for whoever reads it next. A Save after such
// a Get writes back only what the printer holds.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

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

// One read of a Get: the bank and the address asked.
struct Read {
  int bank = 1;
  int address = 0;
};

std::vector<Read> CommonReads(const CommonAddressProfile& p) {
  std::vector<Read> out;
  for (CommonSetting s : p.getOrder) out.push_back({1, InfoOf(s).address});
  return out;
}
std::vector<Read> TwoBankReads(const TwoBankProfile& p) {
  std::vector<Read> out;
  for (const TwoBankGetStep& step : p.getSteps) {
    const TwoBankSettingInfo& info = TwoBankInfoOf(step.setting);
    out.push_back({info.bank, info.address});
  }
  return out;
}
std::vector<Read> SecondSeriesReads(const second::SecondSeriesProfile& p) {
  std::vector<Read> out;
  for (second::Setting s : p.getOrder) {
    if (const second::SettingRow* row = second::RowOf(p, s)) out.push_back({1, row->address});
  }
  return out;
}

// How one Get of a fresh editor ended.
template <class State>
struct GetEnd {
  bool succeeded = false;
  QString said;  // the result line, or the box of an editor that reports in boxes
  State shown;
};

template <class Form>
auto RunGet(MessageRecorder& messages) {
  messages.clear();
  Form form;
  form.btnGetSettingsFromPrinterClick();
  GetEnd<decltype(form.state())> end;
  if constexpr (std::is_base_of_v<TSecondSeriesEepromSetForm, Form>) {
    end.said = messages.messages().empty() ? QString() : messages.messages().back().text;
    end.succeeded = end.said == settings_test::second_series::kGetOk;
  } else {
    end.said = form.resultText();
    end.succeeded = end.said == "Get settings from printer successfully.";
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

enum class Position { First, Middle, Last };

class OverlongReplyTest;

struct Family {
  const char* name;
  int model;
  std::vector<Read> (*reads)();
  void (*check)(OverlongReplyTest& test, const Read& overlong);
  bool customMode;  // also reached in the VD-K773's custom mode
};

struct Case {
  const Family* family;
  Port port;
  Position position;
};

class OverlongReplyTest : public settings_test::SimPrinterEditorTest, public ::testing::WithParamInterface<Case> {
 public:
  OverlongReplyTest() : SimPrinterEditorTest(2) {}

  void SetUp() override {
    EditorTest::SetUp();
    const Case& c = GetParam();
    printer_.setModel(c.family->model);
    PrinterName = c.family->model;
    printer_.setReplyObserver([this](const std::string&, const Bytes& bytes) {
      if (bytes.size() == 3 && bytes.back() == torva::sim::kLongReplyByte) ++overlongReplies_;
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

  template <class Form>
  static void CheckGet(OverlongReplyTest& t, const Read& overlong) {
    t.printer_.setAddressFault(overlong.address, overlong.bank, FaultSpec{Fault::LongReply, 1, 0});
    const auto faulted = RunGet<Form>(t.messages_);
    ASSERT_EQ(t.overlongReplies_.load(), 1) << "the printer sent the overlong reply";
    EXPECT_EQ(t.LeftAtPort(), 0) << "the byte behind the reply is gone with the Get";
    t.printer_.clearFault();
    const auto clean = RunGet<Form>(t.messages_);
    ASSERT_TRUE(clean.succeeded) << clean.said.toStdString();
    EXPECT_TRUE(faulted.succeeded) << faulted.said.toStdString();
    EXPECT_TRUE(faulted.shown == clean.shown) << "every control shows what the printer holds";
  }

 private:
  std::atomic<int> overlongReplies_{0};
};

const Family kFamilies[] = {
    {"VDM512", 1, [] { return CommonReads(M512Profile()); }, &OverlongReplyTest::CheckGet<TM512EepromSetForm>,
     false},
    {"VDK773", 12, [] { return CommonReads(K773Profile()); }, &OverlongReplyTest::CheckGet<TK773Eeport>, true},
    {"VDH738", 18, [] { return TwoBankReads(H738Profile()); }, &OverlongReplyTest::CheckGet<TVDH738EepromSetForm>,
     false},
    {"VDK9034", 13, [] { return TwoBankReads(K9034Profile()); },
     &OverlongReplyTest::CheckGet<TK9034EepromSetForm>, false},
    {"RWK201", 4, [] { return SecondSeriesReads(second::RWK201Profile()); },
     &OverlongReplyTest::CheckGet<TRWK201EepromSetForm>, false},
    {"RWK305GII", 14, [] { return SecondSeriesReads(second::RWK305G2Profile()); },
     &OverlongReplyTest::CheckGet<TRWK305G2EepSetForm>, false},
    {"RWNK409", 5, [] { return SecondSeriesReads(second::K409Profile()); },
     &OverlongReplyTest::CheckGet<TK409EepromSetForm>, false},
};

std::vector<Case> AllCases() {
  std::vector<Case> out;
  for (const Family& f : kFamilies) {
    std::vector<Port> ports = {kSerial, kUsbDevice, kUsbPrinter};
    if (f.customMode) ports.push_back(kCustom);
    for (const Port& p : ports)
      for (Position at : {Position::First, Position::Middle, Position::Last}) out.push_back({&f, p, at});
  }
  return out;
}

void PrintTo(const Case& c, std::ostream* os) {
  static const char* const kPositions[] = {"first", "middle", "last"};
  *os << c.family->name << " on " << c.port.name << ", the " << kPositions[static_cast<int>(c.position)]
      << " reply overlong";
}

std::string CaseName(const ::testing::TestParamInfo<Case>& info) {
  static const char* const kPositions[] = {"First", "Middle", "Last"};
  return std::string(info.param.family->name) + "_" + info.param.port.name + "_" +
         kPositions[static_cast<int>(info.param.position)];
}

}  // namespace

TEST_P(OverlongReplyTest, GetShowsWhatThePrinterHolds) {
  const Case& c = GetParam();
  const std::vector<Read> reads = c.family->reads();
  ASSERT_FALSE(reads.empty());
  size_t at = reads.size() / 2;
  if (c.position == Position::First) at = 0;
  if (c.position == Position::Last) at = reads.size() - 1;
  c.family->check(*this, reads[at]);
}

INSTANTIATE_TEST_SUITE_P(FamiliesPortsPositions, OverlongReplyTest, ::testing::ValuesIn(AllCases()), CaseName);

namespace {

class OverlongReplySaveTest : public settings_test::SimPrinterEditorTest {
 protected:
  OverlongReplySaveTest() : SimPrinterEditorTest(13) {}
};

}  // namespace

// The VD-K9034 over the USB device, its bank-2 default-invert reply (read
// just before the two watermark words) one byte too long, with the pauses
// of the Get at their real length, so each reply is there when it is read:
// the Get reads every setting as the printer holds it, and the Save after it
// writes each setting back with the value the printer holds (its watermark
// words 0005 among them), its memory unchanged.
TEST_F(OverlongReplySaveTest, SaveAfterTheGetWritesOnlyWhatThePrinterHolds) {
  PrinterName = 13;
  UseUsbSocket(PortUSB, 2000);
  printer_.setUsbKeepsUnreadBytes(true);
  const std::vector<uint16_t> held = twobank_test::Memory(printer_);
  printer_.setAddressFault(0x03, 2, FaultSpec{Fault::LongReply, 1, 0});
  TK9034EepromSetForm form;
  torva::SetPrinterDelayScale(1.0);
  form.btnGetSettingsFromPrinterClick();
  torva::SetPrinterDelayScale(0);
  ASSERT_EQ(form.resultText(), "Get settings from printer successfully.");
  printer_.clearLog();
  form.btnSaveSettingsToPrinterClick();
  ASSERT_EQ(form.resultText(), "Save settings to printer successfully.");
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
