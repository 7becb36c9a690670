// The common routines' USB, USB-printer (with the VD-K773 custom framing),
// nibble, Ethernet and no-port branches, through fakes of the library calls,
// and the Include1D61 rule.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"

namespace {

using Bytes = std::vector<uint8_t>;

// What the fake libraries were asked and what they answer.
struct FakeLibs {
  int calls = 0;            // every library call
  std::string last;         // name of the last call
  int lastHandle = 0;
  int lastPipe = -1;
  int lastAsked = 0;        // length asked of the last read or status call
  Bytes written;            // data of the last write
  Bytes reply;              // what a read delivers (at most what is asked)
  int writeResult = 1;      // result of WriteUSBPrinter / NibbleModeWrite
  int writeCountDelta = 0;  // reported written count minus the length
  int readResult = 1;       // result of ReadUSBPrinter / GetPrnStatus
  int forcedCount = -1;     // when >= 0, the count reported regardless of the reply
  int idleAfter = 0;        // IsPARIdle answers busy this many times
  int idleAsks = 0;
  int nibbleStatus = 0;
  bool netResult = true;
  std::pair<int, int> timeouts{-1, -1};  // the last time-outs set
};
FakeLibs g;

int Deliver(uint8_t* buffer, int asked) {
  g.lastAsked = asked;
  const int n = std::min<int>(asked, static_cast<int>(g.reply.size()));
  if (n > 0) std::memcpy(buffer, g.reply.data(), static_cast<size_t>(n));
  return g.forcedCount >= 0 ? g.forcedCount : n;
}
void Note(const char* name) {
  ++g.calls;
  g.last = name;
}

const PortLibraryCalls kFake{
    [](int h, int pipe, const uint8_t* b, int n) {
      Note("uWrite");
      g.lastHandle = h;
      g.lastPipe = pipe;
      g.written.assign(b, b + n);
      return n + g.writeCountDelta;
    },
    [](int h, int pipe, uint8_t* b, int n) {
      Note("uRead");
      g.lastHandle = h;
      g.lastPipe = pipe;
      return Deliver(b, n);
    },
    [](int h, const uint8_t* b, int n, int* written) {
      Note("WriteUSBPrinter");
      g.lastHandle = h;
      g.written.assign(b, b + n);
      *written = n + g.writeCountDelta;
      return g.writeResult;
    },
    [](int h, uint8_t* b, int n, int* read) {
      Note("ReadUSBPrinter");
      g.lastHandle = h;
      *read = Deliver(b, n);
      return g.readResult;
    },
    [](int h, uint8_t* b, int n, int* got) {
      Note("GetPrnStatus");
      g.lastHandle = h;
      *got = Deliver(b, n);
      return g.readResult;
    },
    [](const uint8_t* b, int n) {
      Note("WriteQfUSBPrinter");
      g.written.assign(b, b + n);
      return n + g.writeCountDelta;
    },
    [](uint8_t* b, int n) {
      Note("ReadQfUSBPrinter");
      return Deliver(b, n);
    },
    []() {
      Note("IsPARIdle");
      return ++g.idleAsks > g.idleAfter ? 1 : 0;
    },
    [](const uint8_t* b, int n, int* status) {
      Note("NibbleModeWrite");
      g.written.assign(b, b + n);
      *status = g.nibbleStatus;
      return g.writeResult;
    },
    [](uint8_t* b, int n, int* status) {
      Note("NibbleModeRead");
      *status = 0;
      return Deliver(b, n);
    },
    [](uint8_t* b, int n) {
      Note("ReadNetPort");
      Deliver(b, n);
      return g.netResult;
    },
    [](int h, uint8_t* b, int n, int* got) {
      Note("GetSpecStatus");
      g.lastHandle = h;
      *got = Deliver(b, n);
      return g.readResult;
    },
    [](int h, int code) {
      Note("SendSpecCommand");
      g.lastHandle = h;
      g.lastAsked = code;
      return g.writeResult;
    },
    [](int h, int first, int second) {
      Note("SetUSBTimeouts");
      g.lastHandle = h;
      g.timeouts = {first, second};
      return 1;
    },
    [](int first, int second) {
      Note("SetTimeout");
      g.timeouts = {first, second};
      return 1;
    },
    [](int first, int second) {
      Note("SetPortTimeout");
      g.timeouts = {first, second};
      return 1;
    },
    // Nothing is ever waiting unread: the common routines never ask.
    [](int h, uint8_t*, int) {
      Note("uReadWaiting");
      g.lastHandle = h;
      return 0;
    },
    [](int h, uint8_t*, int) {
      Note("ReadUSBPrinterWaiting");
      g.lastHandle = h;
      return 0;
    },
    [](uint8_t*, int) {
      Note("ReadQfUSBPrinterWaiting");
      return 0;
    },
};

class CommonRoutines : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    g = FakeLibs{};
    torva::SetPrinterDelayScale(0);
  }
  void TearDown() override {
    torva::SetPrinterDelayScale(1.0);
    ResetPortState();
  }
  void customMode(int classMode, int statusBytes, int readType) {
    PortType = PortUSBPrinter;
    PrinterName = ModelVDK773;
    is773Costom = 1;
    iUSBClassMode = classMode;
    iStatusBytes = statusBytes;
    iReadType = readType;
  }
  ScopedPortLibraryCalls fake{kFake};
};

TEST(Include1D61Rule, Cases) {
  struct Case {
    Bytes data;
    bool result;
  } cases[] = {
      {{0x1B, 0x40}, false},
      {{0x1D, 0x61, 0xFF}, true},
      {{0x00, 0x1D, 0x61}, false},  // the text ends at the zero byte
      {{0x1B, 0x40, 0x1D, 0x61, 0x01}, true},
      {{0x1D}, false},
      {Bytes{'#', '$', '1', 'd', '#', '$', '6', '1'}, true},
      {Bytes{'x', '#', '$', '1', 'd', '#', '$', '6', '1', 0}, true},
      {Bytes{'#', '$', '1', 'D', '#', '$', '6', '1'}, false},
      {Bytes{'#', '$', '1', 'd', 0, '#', '$', '6', '1'}, false},
  };
  for (const Case& c : cases) EXPECT_EQ(ContainsAutoStatusCommand(c.data.data(), static_cast<int>(c.data.size())), c.result);
  // Never beyond the length: the pair split by the length does not count.
  const uint8_t split[] = {0x1D, 0x61};
  EXPECT_FALSE(ContainsAutoStatusCommand(split, 1));
  EXPECT_FALSE(ContainsAutoStatusCommand(nullptr, 4));
}

// Only the USB kinds set the flag, on every write that passed the handle check.
TEST_F(CommonRoutines, Include1D61IsSetByUsbWritesOnly) {
  const Bytes on{0x1D, 0x61, 0xFF}, off{0x1B, 0x40}, typed{'#', '$', '1', 'd', '#', '$', '6', '1'};
  for (int kind : {PortUSB, PortUSBPrinter}) {
    SCOPED_TRACE(kind);
    Include1D61 = false;
    EXPECT_TRUE(POSWritePort(kind, 7, on.data(), 3));
    EXPECT_TRUE(Include1D61);
    EXPECT_TRUE(POSWritePort(kind, 7, off.data(), 2));
    EXPECT_FALSE(Include1D61);
    POSWritePort(kind, 7, typed.data(), 8);
    EXPECT_TRUE(Include1D61);
    POSWritePort(kind, 0, off.data(), 2);  // refused before the flag
    EXPECT_TRUE(Include1D61);
  }
  for (int kind : {PortNibbleLPT, PortNet, PortDriver, PortNone}) {
    Include1D61 = true;
    POSWritePort(kind, 7, off.data(), 2);
    EXPECT_TRUE(Include1D61) << kind;
  }
  // The one-shot write of the RW-K201E editor leaves the flag alone.
  Include1D61 = false;
  EXPECT_TRUE(RWK201EEepromSet::POSWritePort(PortUSB, 7, on.data(), 3));
  EXPECT_FALSE(Include1D61);
}

TEST_F(CommonRoutines, NetDriverAndNoneSendNothing) {
  const uint8_t d[] = {0x0A};
  for (int kind : {int{PortNet}, int{PortDriver}, int{PortNone}, 99}) {
    EXPECT_FALSE(POSWritePort(kind, 5, d, 1)) << kind;
    EXPECT_FALSE(RWK201EEepromSet::POSWritePort(kind, 5, d, 1)) << kind;
  }
  EXPECT_FALSE(RWK201EEepromSet::POSWritePort(PortLPT, 5, d, 1));
  EXPECT_FALSE(RWK201EEepromSet::POSWritePort(PortNibbleLPT, 5, d, 1));
  uint8_t b[4];
  for (int kind : {PortNone, PortLPT, PortDriver}) EXPECT_FALSE(POSReadPort(kind, 5, b, 1, 10)) << kind;
  for (int kind : {PortNone, PortLPT, PortDriver, PortNet}) EXPECT_FALSE(POSReadPort1(kind, 5, b, 1, 10)) << kind;
  EXPECT_EQ(g.calls, 0);
}

TEST_F(CommonRoutines, UsbWritesCountOnlyWhenComplete) {
  const Bytes d{1, 2, 3, 4};
  struct Case {
    int kind;
    int result, delta;
    bool custom;
    bool ok;
    const char* call;
  } cases[] = {
      {PortUSB, 1, 0, false, true, "uWrite"},
      {PortUSB, 1, -1, false, false, "uWrite"},
      {PortUSBPrinter, 1, 0, false, true, "WriteUSBPrinter"},
      {PortUSBPrinter, 0, 0, false, false, "WriteUSBPrinter"},  // failed call, full count
      {PortUSBPrinter, 1, -2, false, false, "WriteUSBPrinter"},
      {PortUSBPrinter, 1, 0, true, true, "WriteQfUSBPrinter"},
      {PortUSBPrinter, 1, -5, true, false, "WriteQfUSBPrinter"},  // -1: failure
      {PortUSBPrinter, 1, -1, true, false, "WriteQfUSBPrinter"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.call) + " " + std::to_string(c.delta));

    ResetPortState();
    if (c.custom) customMode(1, 2, 0);
    g.writeResult = c.result;
    g.writeCountDelta = c.delta;
    EXPECT_EQ(POSWritePort(c.kind, 9, d.data(), 4), c.ok);
    EXPECT_EQ(g.last, c.call);
    EXPECT_EQ(g.written, d);
    if (c.kind == PortUSB) {
      EXPECT_EQ(g.lastPipe, 0);
    }
  }
  // The RW-K201E write never takes the custom road.
  customMode(1, 2, 0);
  g = FakeLibs{};
  EXPECT_TRUE(RWK201EEepromSet::POSWritePort(PortUSBPrinter, 9, d.data(), 4));
  EXPECT_EQ(g.last, "WriteUSBPrinter");
  g.writeResult = 0;
  EXPECT_FALSE(RWK201EEepromSet::POSWritePort(PortUSBPrinter, 9, d.data(), 4));
  for (int kind : {PortUSB, PortUSBPrinter}) EXPECT_FALSE(RWK201EEepromSet::POSWritePort(kind, -1, d.data(), 4));
}

// The read branches of both routines on the USB kinds: what is asked of the
// library, what the caller receives, and the result.
struct UsbReadCase {
  const char* name;
  bool exact;          // POSReadPort, else POSReadPort1
  int kind;            // PortUSB or PortUSBPrinter
  int custom;          // -1 not custom, else the class mode
  int statusBytes;
  int readType;
  int adPress;
  int length;
  Bytes reply;         // the library's bytes
  int forcedCount;     // -1: the count of the bytes delivered
  const char* call;
  int asked;
  bool ok;
  Bytes delivered;     // caller's buffer afterwards, the rest 0xEE
};

void PrintTo(const UsbReadCase& c, std::ostream* os) { *os << c.name; }

class UsbReadTable : public CommonRoutines, public ::testing::WithParamInterface<UsbReadCase> {};

TEST_P(UsbReadTable, Case) {
  const UsbReadCase& c = GetParam();
  PortType = c.kind;
  if (c.custom >= 0) customMode(c.custom, c.statusBytes, c.readType);
  else iReadType = c.readType;
  isADPress = c.adPress;
  g.reply = c.reply;
  g.forcedCount = c.forcedCount;
  uint8_t buf[16];
  std::memset(buf, 0xEE, sizeof buf);
  const bool ok = c.exact ? POSReadPort(c.kind, 9, buf, c.length, 1000) : POSReadPort1(c.kind, 9, buf, c.length, 1000);
  EXPECT_EQ(ok, c.ok);
  EXPECT_EQ(g.last, c.call);
  EXPECT_EQ(g.lastAsked, c.asked);
  for (size_t i = 0; i < sizeof buf; ++i)
    EXPECT_EQ(buf[i], i < c.delivered.size() ? c.delivered[i] : 0xEE) << "byte " << i;
}

const UsbReadCase kUsbReads[] = {
    // USB device: exact and any-count reads, pipe 1.
    {"UsbExact", true, PortUSB, -1, 0, 0, 0, 2, {0x34, 0x12}, -1, "uRead", 2, true, {0x34, 0x12}},
    {"UsbExactShort", true, PortUSB, -1, 0, 0, 0, 2, {0x34}, -1, "uRead", 2, false, {0x34}},
    {"UsbAny", false, PortUSB, -1, 0, 0, 0, 8, {1, 2, 3}, -1, "uRead", 8, true, {1, 2, 3}},
    {"UsbAnyNothing", false, PortUSB, -1, 0, 0, 0, 8, {}, -1, "uRead", 8, false, {}},
    // USB printer, printer-class mode.
    {"PrinterExact", true, PortUSBPrinter, -1, 0, 0, 0, 2, {0x34, 0x12}, -1, "ReadUSBPrinter", 2, true, {0x34, 0x12}},
    {"PrinterExactShort", true, PortUSBPrinter, -1, 0, 0, 0, 2, {0x34}, -1, "ReadUSBPrinter", 2, false, {0x34}},
    {"PrinterAny", false, PortUSBPrinter, -1, 0, 0, 0, 8, {5, 6, 7}, -1, "ReadUSBPrinter", 8, true, {5, 6, 7}},
    {"PrinterAnyNothing", false, PortUSBPrinter, -1, 0, 0, 0, 8, {}, -1, "ReadUSBPrinter", 8, false, {}},
    // A count beyond what was asked is never copied past the request.
    {"PrinterAnyCountTooBig", false, PortUSBPrinter, -1, 0, 0, 0, 3, {5, 6, 7}, 9, "ReadUSBPrinter", 3, true, {5, 6, 7}},
    // Status request: asked one more than taken; its count decides how much is fresh.
    {"PrinterStatus", false, PortUSBPrinter, -1, 0, 1, 0, 4, {1, 2, 3, 4, 5}, -1, "GetPrnStatus", 5, true, {1, 2, 3, 4}},
    {"PrinterStatusShort", false, PortUSBPrinter, -1, 0, 1, 0, 4, {1, 2}, -1, "GetPrnStatus", 5, true, {1, 2}},
    {"PrinterStatusNothing", false, PortUSBPrinter, -1, 0, 1, 0, 4, {}, -1, "GetPrnStatus", 5, false, {}},
    // VD-K773 custom mode, class mode 0: no framing.
    {"CustomPlainExact", true, PortUSBPrinter, 0, 2, 0, 0, 2, {0x34, 0x12}, -1, "ReadQfUSBPrinter", 2, true, {0x34, 0x12}},
    {"CustomPlainAny", false, PortUSBPrinter, 0, 2, 0, 0, 6, {9, 8}, -1, "ReadQfUSBPrinter", 6, true, {9, 8}},
    {"CustomPlainAnyFailed", false, PortUSBPrinter, 0, 2, 0, 0, 6, {}, -1, "ReadQfUSBPrinter", 6, false, {}},
    // Class mode 1, a command's reply: class byte, iStatusBytes status bytes, payload.
    {"CustomExactSkipsClassAndStatus", true, PortUSBPrinter, 1, 2, 0, 0, 2, {0xC1, 0x10, 0x20, 0x34, 0x12}, -1,
     "ReadQfUSBPrinter", 5, true, {0x34, 0x12}},
    {"CustomExactNoStatusBytes", true, PortUSBPrinter, 1, 0, 0, 0, 2, {0xC1, 0x34, 0x12}, -1, "ReadQfUSBPrinter", 3,
     true, {0x34, 0x12}},
    {"CustomExactShort", true, PortUSBPrinter, 1, 2, 0, 0, 2, {0xC1, 0x10, 0x20, 0x34}, -1, "ReadQfUSBPrinter", 5,
     false, {}},
    {"CustomAnySkipsClassAndStatus", false, PortUSBPrinter, 1, 2, 0, 0, 8, {0xC1, 0x10, 0x20, 1, 2, 3}, -1,
     "ReadQfUSBPrinter", 11, true, {1, 2, 3}},
    {"CustomAnyOnlyPrefix", false, PortUSBPrinter, 1, 2, 0, 0, 8, {0xC1, 0x10}, -1, "ReadQfUSBPrinter", 11, true, {}},
    {"CustomAnyNothing", false, PortUSBPrinter, 1, 2, 0, 0, 8, {}, -1, "ReadQfUSBPrinter", 11, false, {}},
    // The A/D record asks for 7 payload bytes whatever the length; a smaller
    // buffer receives only what it holds.
    {"CustomAnyAdRecord", false, PortUSBPrinter, 1, 1, 0, 1, 16, {0xC1, 0x10, 1, 2, 3, 4, 5, 6, 7}, -1,
     "ReadQfUSBPrinter", 9, true, {1, 2, 3, 4, 5, 6, 7}},
    {"CustomAnyAdRecordSmallBuffer", false, PortUSBPrinter, 1, 1, 0, 1, 4, {0xC1, 0x10, 1, 2, 3, 4, 5, 6, 7}, -1,
     "ReadQfUSBPrinter", 9, true, {1, 2, 3, 4}},
    // Class mode 1, a status record (iReadType 1): the class byte is dropped
    // by the exact read; the caller's last byte stays as it was.
    {"CustomStatusExact", true, PortUSBPrinter, 1, 2, 1, 0, 6, {0xC1, 1, 2, 3, 4, 5}, -1, "ReadQfUSBPrinter", 6, true,
     {1, 2, 3, 4, 5}},
    {"CustomStatusExactShort", true, PortUSBPrinter, 1, 2, 1, 0, 6, {0xC1, 1, 2}, -1, "ReadQfUSBPrinter", 6, false, {}},
    {"CustomStatusAny", false, PortUSBPrinter, 1, 2, 1, 0, 6, {0xC1, 1, 2, 3}, -1, "ReadQfUSBPrinter", 6, true,
     {0xC1, 1, 2, 3}},
};

INSTANTIATE_TEST_SUITE_P(Common, UsbReadTable, ::testing::ValuesIn(kUsbReads),
                         [](const ::testing::TestParamInfo<UsbReadCase>& i) { return std::string(i.param.name); });

// A framed request beyond the 1024-byte scratch buffer is refused without a read.
TEST_F(CommonRoutines, FramedRequestsBeyondTheScratchBufferAreRefused) {
  std::vector<uint8_t> big(2048, 0xEE);
  customMode(1, 2, 0);
  EXPECT_TRUE(POSReadPort(PortUSBPrinter, 9, big.data(), kUsbScratchSize - 3, 10) == false);
  EXPECT_EQ(g.lastAsked, kUsbScratchSize);  // 1 + 2 + 1021 fits: asked, short reply
  g = FakeLibs{};
  EXPECT_FALSE(POSReadPort(PortUSBPrinter, 9, big.data(), kUsbScratchSize - 2, 10));
  EXPECT_FALSE(POSReadPort1(PortUSBPrinter, 9, big.data(), kUsbScratchSize - 2, 10));
  iReadType = 1;
  EXPECT_FALSE(POSReadPort(PortUSBPrinter, 9, big.data(), kUsbScratchSize + 1, 10));
  EXPECT_FALSE(POSReadPort1(PortUSBPrinter, 9, big.data(), kUsbScratchSize + 1, 10));
  is773Costom = 0;  // printer-class mode: the status request asks length + 1
  EXPECT_FALSE(POSReadPort1(PortUSBPrinter, 9, big.data(), kUsbScratchSize, 10));
  iReadType = 0;
  EXPECT_FALSE(POSReadPort1(PortUSBPrinter, 9, big.data(), kUsbScratchSize + 1, 10));
  EXPECT_EQ(g.calls, 0);
  for (size_t i = 0; i < big.size(); ++i) ASSERT_EQ(big[i], 0xEE);
}

TEST_F(CommonRoutines, UsbReadsRefuseNoHandle) {
  uint8_t b[4];
  for (int kind : {PortUSB, PortUSBPrinter})
    for (int h : {0, -1}) {
      EXPECT_FALSE(POSReadPort(kind, h, b, 2, 10));
      EXPECT_FALSE(POSReadPort1(kind, h, b, 2, 10));
      EXPECT_FALSE(POSWritePort(kind, h, b, 2));
    }
  EXPECT_EQ(g.calls, 0);
}

TEST_F(CommonRoutines, NibbleWriteWaitsForIdle) {
  const Bytes d{0x1B, 0x40};
  g.idleAfter = 3;  // busy three times, then idle
  const uint64_t t0 = torva::TickMs();
  EXPECT_TRUE(POSWritePort(PortNibbleLPT, -1, d.data(), 2));  // the handle is not used
  EXPECT_GE(torva::TickMs() - t0, 140u);
  EXPECT_EQ(g.idleAsks, 4);
  EXPECT_EQ(g.written, d);
  g = FakeLibs{};
  g.nibbleStatus = 5;
  EXPECT_FALSE(POSWritePort(PortNibbleLPT, 0, d.data(), 2));
  g = FakeLibs{};
  g.writeResult = 0;
  EXPECT_FALSE(POSWritePort(PortNibbleLPT, 0, d.data(), 2));
}

TEST_F(CommonRoutines, NibbleWriteGivesUpAfterTwoSecondsNeverIdle) {
  const Bytes d{0x0A};
  g.idleAfter = 1 << 30;
  const uint64_t t0 = torva::TickMs();
  EXPECT_FALSE(POSWritePort(PortNibbleLPT, 0, d.data(), 1));
  const uint64_t elapsed = torva::TickMs() - t0;
  EXPECT_GE(elapsed, 2000u);
  EXPECT_LT(elapsed, 3000u);  // loose: the machine may be busy
  EXPECT_GE(g.idleAsks, 20);  // every 50 ms, not in a loop
  EXPECT_LE(g.idleAsks, 42);
  EXPECT_TRUE(g.written.empty());
}

TEST_F(CommonRoutines, NibbleAndNetReads) {
  uint8_t b[8] = {};
  g.reply = {1, 2, 3};
  EXPECT_TRUE(POSReadPort(PortNibbleLPT, 0, b, 3, 10));
  EXPECT_FALSE(POSReadPort(PortNibbleLPT, 0, b, 4, 10));
  EXPECT_TRUE(POSReadPort1(PortNibbleLPT, 0, b, 8, 10));
  g.reply.clear();
  EXPECT_FALSE(POSReadPort1(PortNibbleLPT, 0, b, 8, 10));
  g.reply = {7, 8};
  EXPECT_TRUE(POSReadPort(PortNet, 0, b, 2, 10));
  EXPECT_EQ(g.last, "ReadNetPort");
  EXPECT_EQ(b[0], 7);
  g.netResult = false;
  EXPECT_FALSE(POSReadPort(PortNet, 0, b, 2, 10));
}

// The console's reply read on the USB printer: the count of reply bytes
// with the framing of the mode taken off, -1 when nothing came.
TEST_F(CommonRoutines, UsbPrinterReplyReadTakesOffTheFraming) {
  struct Case {
    const char* name;
    int custom;  // -1 printer class, else the class mode
    int statusBytes;
    Bytes reply;
    int readResult;
    const char* call;
    int asked;
    int count;
    Bytes delivered;
  } cases[] = {
      {"Plain", -1, 0, {1, 2, 3}, 1, "ReadUSBPrinter", 8, 3, {1, 2, 3}},
      {"PlainNothing", -1, 0, {}, 1, "ReadUSBPrinter", 8, -1, {}},
      {"PlainFailed", -1, 0, {1, 2}, 0, "ReadUSBPrinter", 8, -1, {1, 2}},  // what the call left
      // The plain read ignores the status bytes of a custom mode set up earlier.
      {"PlainWithStatusBytesLeft", -1, 3, {1, 2}, 1, "ReadUSBPrinter", 8, 2, {1, 2}},
      {"ClassMode0", 0, 0, {4, 5}, 1, "ReadQfUSBPrinter", 8, 2, {4, 5}},
      {"ClassMode1", 1, 2, {0xA5, 0x10, 0x20, 7, 8}, 1, "ReadQfUSBPrinter", 11, 2, {7, 8}},
      {"ClassMode1OnlyFraming", 1, 2, {0xA5, 0x10}, 1, "ReadQfUSBPrinter", 11, 0, {}},
      {"ClassMode1Nothing", 1, 2, {}, 1, "ReadQfUSBPrinter", 11, -1, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetPortState();
    g = FakeLibs{};
    if (c.custom >= 0) {
      customMode(c.custom, c.statusBytes, 1);  // the console's status read may have left iReadType at 1
    } else {
      PortType = PortUSBPrinter;
      iStatusBytes = c.statusBytes;
    }
    g.reply = c.reply;
    g.readResult = c.readResult;
    uint8_t buf[12];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(ReadUsbPrinterReply(9, buf, 8), c.count);
    EXPECT_EQ(g.last, c.call);
    EXPECT_EQ(g.lastAsked, c.asked);
    for (size_t i = 0; i < sizeof buf; ++i)
      EXPECT_EQ(buf[i], i < c.delivered.size() ? c.delivered[i] : 0xEE) << "byte " << i;
  }
  EXPECT_EQ(ReadUsbPrinterReply(-1, nullptr, 8), -1);
}

// The custom status record: class byte dropped in class mode 1, the record
// alone in class mode 0; iReadType is 1 for the read and as before after it.
TEST_F(CommonRoutines, CustomStatusRecordFramingAndReadTypeRestored) {
  for (int classMode : {0, 1}) {
    SCOPED_TRACE(classMode);
    g = FakeLibs{};
    customMode(classMode, 3, 0);
    g.reply = classMode == 1 ? Bytes{0xA5, 1, 2, 3, 4, 5, 6} : Bytes{1, 2, 3, 4, 5, 6};
    uint8_t rec[6] = {};
    EXPECT_TRUE(ReadCustomStatusRecord(9, rec, 6));
    EXPECT_EQ(Bytes(rec, rec + 6), (Bytes{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(g.lastAsked, classMode == 1 ? 7 : 6);
    EXPECT_EQ(iReadType, 0);
    iReadType = 1;
    g.reply.resize(3);  // a short transfer is no record, but says what came
    int transferred = -1;
    EXPECT_FALSE(ReadCustomStatusRecord(9, rec, 6, &transferred));
    EXPECT_EQ(transferred, 3);
    EXPECT_EQ(iReadType, 1);
    g.reply.clear();  // nothing at all
    EXPECT_FALSE(ReadCustomStatusRecord(9, rec, 6, &transferred));
    EXPECT_EQ(transferred, 0);
  }
}

}  // namespace

// The exact custom read the settings editors use, by itself: the command
// framing whatever iReadType says, the caller's buffer written only when the
// whole transfer came; and the 9-byte report of the mode and flag reads.
TEST_F(CommonRoutines, CustomReplyAndReportReads) {
  struct Case {
    int classMode, statusBytes, readType;
    Bytes reply;
    int length;
    int asked;
    bool ok;
    Bytes delivered;
  };
  const Case cases[] = {
      {1, 4, 0, {0xC1, 1, 2, 3, 4, 0x34, 0x12}, 2, 7, true, {0x34, 0x12}},
      {1, 0, 0, {0xC1, 0x34, 0x12}, 2, 3, true, {0x34, 0x12}},
      {1, 4, 1, {0xC1, 1, 2, 3, 4, 0x34, 0x12}, 2, 7, true, {0x34, 0x12}},  // iReadType does not matter
      {1, 4, 0, {0xC1, 1, 2, 3, 4, 0x34}, 2, 7, false, {}},                 // short: nothing delivered
      {0, 4, 0, {0x34, 0x12}, 2, 2, true, {0x34, 0x12}},
      {0, 0, 0, {0x34}, 2, 2, false, {0x34}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.classMode << "/" << c.statusBytes << "/" << c.readType << " "
                                      << c.reply.size());
    customMode(c.classMode, c.statusBytes, c.readType);
    g = FakeLibs{};
    g.reply = c.reply;
    uint8_t buf[4];
    std::memset(buf, 0xEE, sizeof buf);
    EXPECT_EQ(ReadCustomUsbReply(buf, c.length), c.ok);
    EXPECT_EQ(g.last, "ReadQfUSBPrinter");
    EXPECT_EQ(g.lastAsked, c.asked);
    for (size_t i = 0; i < sizeof buf; ++i) EXPECT_EQ(buf[i], i < c.delivered.size() ? c.delivered[i] : 0xEE) << i;
  }
  customMode(1, 1020, 0);
  g = FakeLibs{};
  uint8_t buf[8] = {};
  EXPECT_FALSE(ReadCustomUsbReply(buf, 4)) << "beyond the scratch buffer";
  EXPECT_EQ(g.calls, 0);

  // The report: 9 bytes as they come, in either class mode.
  for (int classMode : {0, 1}) {
    customMode(classMode, 2, 0);
    g = FakeLibs{};
    g.reply = {0, 0x01, 0x00, 0, 0, 0, 0, 1, 0};
    uint8_t report[kCustomReportLength];
    ASSERT_TRUE(ReadCustomUsbReport(report));
    EXPECT_EQ(g.lastAsked, kCustomReportLength);
    EXPECT_EQ(Bytes(report, report + kCustomReportLength), g.reply);
    g.reply.resize(8);
    EXPECT_FALSE(ReadCustomUsbReport(report));
  }
  // Which reads the report answers: the mode always, the flag in class mode 0.
  iUSBClassMode = 0;
  EXPECT_TRUE(CustomReadAnswersReport(kCustomModeAddress));
  EXPECT_TRUE(CustomReadAnswersReport(kCustomFlagAddress));
  EXPECT_FALSE(CustomReadAnswersReport(0x06));
  iUSBClassMode = 1;
  EXPECT_TRUE(CustomReadAnswersReport(kCustomModeAddress));
  EXPECT_FALSE(CustomReadAnswersReport(kCustomFlagAddress));
}
