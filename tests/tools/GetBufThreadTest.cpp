// The console's reply reader on its own: the one-pass readers of the nibble
// port, the USB device and the USB printer (both VD-K773 class modes)
// against fakes of the library calls, and the serial Display loop against
// the simulated printer on a pseudo-terminal.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>

#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"
#include "tools/GetBufThread.h"

using namespace torva::tools;
using Bytes = std::vector<uint8_t>;

namespace {

// What a fake call answers: the bytes, and the count it reports (the bytes'
// size unless given).
struct Answer {
  Bytes bytes;
  int count = -1000;
};

struct FakeLibrary {
  std::mutex mu;
  std::map<std::string, std::deque<Answer>> answers;
  std::vector<std::pair<std::string, int>> asked;  // call and length asked

  int deliver(const char* call, uint8_t* buffer, int length) {
    std::lock_guard<std::mutex> lock(mu);
    asked.emplace_back(call, length);
    auto& queue = answers[call];
    if (queue.empty()) return 0;
    Answer a = queue.front();
    queue.pop_front();
    const int n = std::min<int>(length, static_cast<int>(a.bytes.size()));
    std::copy(a.bytes.begin(), a.bytes.begin() + n, buffer);
    return a.count == -1000 ? n : a.count;
  }
  std::vector<std::pair<std::string, int>> calls() {
    std::lock_guard<std::mutex> lock(mu);
    return asked;
  }
};
FakeLibrary* gLib = nullptr;

PortLibraryCalls FakeCalls() {
  PortLibraryCalls c = RealPortLibraryCalls();
  c.uRead = [](int, int, uint8_t* b, int n) { return gLib->deliver("uRead", b, n); };
  c.GetSpecStatus = [](int, uint8_t* b, int n, int* got) {
    *got = gLib->deliver("GetSpecStatus", b, n);
    return *got > 0 ? 1 : 0;
  };
  c.ReadUSBPrinter = [](int, uint8_t* b, int n, int* read) {
    *read = gLib->deliver("ReadUSBPrinter", b, n);
    return 1;
  };
  c.GetPrnStatus = [](int, uint8_t* b, int n, int* got) {
    *got = gLib->deliver("GetPrnStatus", b, n);
    return *got > 0 ? 1 : 0;
  };
  c.ReadQfUSBPrinter = [](uint8_t* b, int n) { return gLib->deliver("ReadQfUSBPrinter", b, n); };
  c.NibbleModeRead = [](uint8_t* b, int n, int* status) {
    *status = 0;
    return gLib->deliver("NibbleModeRead", b, n);
  };
  return c;
}

// Collects the reader's reports.
struct Reports {
  std::mutex mu;
  std::condition_variable cv;
  std::vector<ReaderReport> got;

  TGetBufThread::Reporter reporter() {
    return [this](const ReaderReport& r) {
      std::lock_guard<std::mutex> lock(mu);
      got.push_back(r);
      cv.notify_all();
    };
  }
  bool waitFor(ReaderReport::Type type, int ms) {
    std::unique_lock<std::mutex> lock(mu);
    return cv.wait_for(lock, std::chrono::milliseconds(ms), [&] {
      for (const auto& r : got)
        if (r.type == type) return true;
      return false;
    });
  }
  // The received reports as (kind, bytes).
  std::vector<std::pair<ReceivedKind, Bytes>> received() {
    std::lock_guard<std::mutex> lock(mu);
    std::vector<std::pair<ReceivedKind, Bytes>> out;
    for (const auto& r : got)
      if (r.type == ReaderReport::Type::Received) out.emplace_back(r.kind, r.bytes);
    return out;
  }
};

class ReaderFakes : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    gLib = &lib;
    Include1D61 = false;
    Include1DE0 = false;
  }
  void TearDown() override {
    reader.stopAndJoin();
    gLib = nullptr;
    ResetPortState();
    Include1DE0 = false;
  }
  // Runs one pass to its end.
  void Pass(int kind, int model) {
    ReaderPort port;
    port.portType = kind;
    port.handle = kind == PortNibbleLPT ? 0 : 7;
    port.model = model;
    port.is773Costom = is773Costom;
    PortType = kind;
    PrinterName = model;
    port.k773Custom = IsK773CustomMode();
    reader.start(port, reports.reporter());
    ASSERT_TRUE(reports.waitFor(ReaderReport::Type::Ended, 5000));
    reader.stopAndJoin();
  }
  FakeLibrary lib;
  torva::ScopedPrinterDelayRecorder delays;
  ScopedPortLibraryCalls scoped{FakeCalls()};
  Reports reports;
  TGetBufThread reader;
};

using Calls = std::vector<std::pair<std::string, int>>;
using Received = std::vector<std::pair<ReceivedKind, Bytes>>;
constexpr ReceivedKind kData = ReceivedKind::Data;
constexpr ReceivedKind kRecord = ReceivedKind::StatusRecord;

}  // namespace

// The USB device: a status record by model while a status flag is up, then
// one read of up to 50000 bytes. A record is shown only at an accepted
// length, and only the bytes that came.
TEST_F(ReaderFakes, UsbDeviceStatusByModelThenData) {
  struct Case {
    const char* name;
    int model;
    int custom;
    bool flag1D61, flag1DE0;
    Answer status;
    Answer data;
    Calls calls;
    Received shown;
    bool flagsCleared;
  };
  // Built once: GCC 12 at -O3 reports the cleanup of a local table of this
  // size as using its vectors uninitialized.
  static const Case cases[] = {
      {"Model0Record", 0, 0, true, false, {{1, 2, 3, 4}}, {{0x41}}, {{"GetSpecStatus", 4}, {"uRead", 50000}},
       {{kRecord, {1, 2, 3, 4}}, {kData, {0x41}}}, true},
      {"NoFlagOnlyData", 0, 0, false, false, {{1, 2, 3, 4}}, {{0x41, 0x42}}, {{"uRead", 50000}},
       {{kData, {0x41, 0x42}}}, false},
      {"Flag1DE0", 0, 0, false, true, {{1, 2, 3, 4}}, {{}}, {{"GetSpecStatus", 4}, {"uRead", 50000}},
       {{kRecord, {1, 2, 3, 4}}}, true},
      {"WrongLength", 0, 0, true, false, {{1, 2}}, {{}}, {{"GetSpecStatus", 4}, {"uRead", 50000}}, {}, false},
      {"K772Eight", 11, 0, true, false, {{1, 2, 3, 4, 5, 6, 7, 8}}, {{}}, {{"GetSpecStatus", 8}, {"uRead", 50000}},
       {{kRecord, {1, 2, 3, 4, 5, 6, 7, 8}}}, true},
      // Four bytes of an eight-byte area: only those four are shown.
      {"K9034Four", 13, 0, true, false, {{1, 2, 3, 4}}, {{}}, {{"GetSpecStatus", 8}, {"uRead", 50000}},
       {{kRecord, {1, 2, 3, 4}}}, true},
      {"K772Six", 11, 0, true, false, {{1, 2, 3, 4, 5, 6}}, {{}}, {{"GetSpecStatus", 8}, {"uRead", 50000}}, {},
       false},
      {"K773Custom", 12, 1, true, false, {{1, 2, 3, 4, 5, 6}}, {{}}, {{"GetSpecStatus", 6}, {"uRead", 50000}},
       {{kRecord, {1, 2, 3, 4, 5, 6}}}, true},
      {"K773PlainTakesFour", 12, 0, true, false, {{1, 2, 3, 4}}, {{}}, {{"GetSpecStatus", 6}, {"uRead", 50000}},
       {{kRecord, {1, 2, 3, 4}}}, true},
      {"ReadFailed", 0, 0, false, false, {}, {{1}, -1}, {{"uRead", 50000}}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lib.answers.clear();
    lib.asked.clear();
    reports.got.clear();
    is773Costom = c.custom;
    Include1D61 = c.flag1D61;
    Include1DE0 = c.flag1DE0;
    lib.answers["GetSpecStatus"] = {c.status};
    lib.answers["uRead"] = {c.data};
    Pass(PortUSB, c.model);
    EXPECT_EQ(lib.calls(), c.calls);
    EXPECT_EQ(reports.received(), c.shown);
    if (c.flag1D61 || c.flag1DE0) {
      EXPECT_EQ(!Include1D61 && !Include1DE0, c.flagsCleared);
    }
  }
}

// The USB printer: the model paths and both VD-K773 class modes. A read that
// answers nothing ends the pass at once; iStatusBytes is left alone and
// iReadType is back where it was.
TEST_F(ReaderFakes, UsbPrinterModelPathsAndCustomModes) {
  struct Case {
    const char* name;
    int model;
    int custom;  // -1: not the custom mode, else the class mode
    int statusBytes;
    bool flag;
    std::map<std::string, std::deque<Answer>> answers;
    Calls calls;
    Received shown;
    bool flagsAfter;
  } cases[] = {
      {"PlainData", 0, -1, 0, true, {{"ReadUSBPrinter", {{{0x41, 0x42}}}}}, {{"ReadUSBPrinter", 1024}},
       {{kData, {0x41, 0x42}}}, true},
      {"PlainNothingEnds", 0, -1, 3, false, {}, {{"ReadUSBPrinter", 1024}}, {}, false},
      {"K772Record", 11, -1, 0, true,
       {{"GetPrnStatus", {{{1, 2, 3, 4, 5, 6, 7, 8}}}}, {"ReadUSBPrinter", {{{0x55}}}}},
       {{"GetPrnStatus", 8}, {"ReadUSBPrinter", 1024}}, {{kRecord, {1, 2, 3, 4, 5, 6, 7, 8}}, {kData, {0x55}}}, false},
      {"K772ShortRecord", 13, -1, 0, true, {{"GetPrnStatus", {{{1, 2, 3, 4}}}}, {"ReadUSBPrinter", {{{0x55}}}}},
       {{"GetPrnStatus", 8}, {"ReadUSBPrinter", 1024}}, {{kData, {0x55}}}, true},
      {"K773PlainRecord", 12, -1, 0, true, {{"GetPrnStatus", {{{1, 2, 3, 4}}}}, {"ReadUSBPrinter", {{{0x55}}}}},
       {{"GetPrnStatus", 8}, {"ReadUSBPrinter", 1024}}, {{kRecord, {1, 2, 3, 4}}, {kData, {0x55}}}, true},
      {"K773PlainNoRecordEnds", 12, -1, 0, true, {}, {{"GetPrnStatus", 8}}, {}, true},
      // Class mode 1: the record's transfer (class byte and record) is the
      // printer's whole answer.
      {"Class1Record", 12, 1, 2, true, {{"ReadQfUSBPrinter", {{{0xA5, 1, 2, 3, 4, 5, 6}}}}},
       {{"ReadQfUSBPrinter", 7}}, {{kRecord, {1, 2, 3, 4, 5, 6}}}, true},
      {"Class1RecordMissingEnds", 12, 1, 2, true, {}, {{"ReadQfUSBPrinter", 7}}, {}, true},
      // Without a flag: the reply's class byte and status bytes are taken off.
      {"Class1Data", 12, 1, 2, false, {{"ReadQfUSBPrinter", {{{0xA5, 0x10, 0x20, 0x0C}}}}},
       {{"ReadQfUSBPrinter", 1027}}, {{kData, {0x0C}}}, false},
      {"Class1OnlyFraming", 12, 1, 2, false, {{"ReadQfUSBPrinter", {{{0xA5, 0x10, 0x20}}}}},
       {{"ReadQfUSBPrinter", 1027}}, {}, false},
      {"Class0RecordThenData", 12, 0, 0, true,
       {{"ReadQfUSBPrinter", {{{1, 2, 3, 4, 5, 6}}, {{0x0C}}}}}, {{"ReadQfUSBPrinter", 6}, {"ReadQfUSBPrinter", 1024}},
       {{kRecord, {1, 2, 3, 4, 5, 6}}, {kData, {0x0C}}}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    lib.answers = c.answers;
    lib.asked.clear();
    reports.got.clear();
    is773Costom = c.custom >= 0 ? 1 : 0;
    iUSBClassMode = std::max(c.custom, 0);
    iStatusBytes = c.statusBytes;
    iReadType = 0;
    Include1D61 = c.flag;
    Include1DE0 = false;
    Pass(PortUSBPrinter, c.model);
    EXPECT_EQ(lib.calls(), c.calls);
    EXPECT_EQ(reports.received(), c.shown);
    EXPECT_EQ(bool(Include1D61), c.flagsAfter);
    EXPECT_EQ(iStatusBytes, c.statusBytes);
    EXPECT_EQ(iReadType, 0);
  }
}

TEST_F(ReaderFakes, NibbleOnePassAndKindsThatAreNotRead) {
  lib.answers["NibbleModeRead"] = {{{0x12, 0x00, 0x34}}};
  Pass(PortNibbleLPT, 8);
  EXPECT_EQ(lib.calls(), (Calls{{"NibbleModeRead", 5000}}));
  EXPECT_EQ(reports.received(), (Received{{kData, {0x12, 0x00, 0x34}}}));
  for (int kind : {PortLPT, PortNet, PortDriver}) {
    lib.asked.clear();
    reports.got.clear();
    Pass(kind, 0);
    EXPECT_TRUE(lib.calls().empty());
    EXPECT_TRUE(reports.received().empty());
  }
}

// A pass that found nothing pauses before it ends; a stop ends the pause at once.
TEST_F(ReaderFakes, StopEndsThePauseAtOnce) {
  ReaderPort port;
  port.portType = PortNibbleLPT;
  port.handle = 0;
  reader.start(port, reports.reporter());
  // The read answers nothing: the reader is in its 500 ms pause (or about to be).
  const auto t0 = std::chrono::steady_clock::now();
  reader.stopAndJoin();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(450));
  EXPECT_FALSE(reader.running());
  EXPECT_EQ(TGetBufThread::LiveThreads(), 0);
}

// The serial Display loop against the simulated printer.
class SerialReader : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    path = sim.startSerial();
    fd = OpenCOM(path, 38400, 8, 1, "DTR/DSR", "None");
    ASSERT_GT(fd, 0);
    port.portType = PortCOM;
    port.handle = fd;
    bDisplay = true;
  }
  void TearDown() override {
    bDisplay = false;
    reader.stopAndJoin();
    CloseCOM(fd);
    sim.stop();
    ResetPortState();
  }
  bool WaitBytes(const Bytes& want, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      Bytes all;
      for (const auto& r : reports.received()) all.insert(all.end(), r.second.begin(), r.second.end());
      if (all == want) return true;
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::unique_lock<std::mutex> lock(reports.mu);
      reports.cv.wait_for(lock, std::chrono::milliseconds(50));
    }
  }
  torva::sim::SimPrinter sim;
  std::string path;
  int fd = -1;
  ReaderPort port;
  Reports reports;
  TGetBufThread reader;
};

TEST_F(SerialReader, ShowsWhatArrivesAndStopsAtOnce) {
  reader.start(port, reports.reporter());
  sim.sendUnsolicited({0x12, 0x34});
  EXPECT_TRUE(WaitBytes({0x12, 0x34}, 3000));
  sim.sendUnsolicited({0x41, 0x00, 0x42});
  EXPECT_TRUE(WaitBytes({0x12, 0x34, 0x41, 0x00, 0x42}, 3000));
  // Display off: the reader ends without waiting for its cycle.
  bDisplay = false;
  const auto t0 = std::chrono::steady_clock::now();
  reader.stopAndJoin();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(450));
  EXPECT_TRUE(reports.waitFor(ReaderReport::Type::Ended, 0));
}

TEST_F(SerialReader, ALostLineIsAReceiveFailure) {
  reader.start(port, reports.reporter());
  sim.hangUp();
  EXPECT_TRUE(reports.waitFor(ReaderReport::Type::ReceiveFailed, 5000));
  EXPECT_TRUE(reports.waitFor(ReaderReport::Type::Ended, 5000));
  EXPECT_TRUE(bDisplay);  // the console's toggle is the user's to turn off
}

// A hundred starts and stops: never two readers, each stop prompt.
TEST_F(SerialReader, HundredStartsAndStopsNeverTwoReaders) {
  for (int i = 0; i < 100; ++i) {
    reader.start(port, reports.reporter());
    ASSERT_LE(TGetBufThread::LiveThreads(), 1);
    if (i % 2) sim.sendUnsolicited({static_cast<uint8_t>(i)});
    reader.stopAndJoin();
    ASSERT_EQ(TGetBufThread::LiveThreads(), 0);
  }
}
