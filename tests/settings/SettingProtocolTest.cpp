// The setting commands, the command queue and the editor port routines, on a
// raw pseudo-terminal whose master end plays the printer.
#include <gtest/gtest.h>

#include <poll.h>
#include <pty.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "settings/SettingProtocol.h"

using namespace torva::settings;

namespace {

struct Pty {
  int master = -1, slave = -1;
  Pty() {
    openpty(&master, &slave, nullptr, nullptr, nullptr);
    termios t{};
    tcgetattr(slave, &t);
    cfmakeraw(&t);
    tcsetattr(slave, TCSANOW, &t);
  }
  ~Pty() {
    if (master > 0) close(master);
    if (slave > 0) close(slave);
  }
  void send(const Bytes& b) const { ASSERT_EQ(write(master, b.data(), b.size()), static_cast<ssize_t>(b.size())); }
  Bytes receive(size_t want, int ms = 1000) const {
    Bytes out;
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (out.size() < want && std::chrono::steady_clock::now() < end) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 10) > 0) {
        uint8_t buf[512];
        const ssize_t n = read(master, buf, sizeof buf);
        if (n > 0) out.insert(out.end(), buf, buf + n);
      }
    }
    return out;
  }
};

// Waits until the slave has n bytes queued.
void WaitQueued(int fd, int n) {
  for (int i = 0; i < 500; ++i) {
    int q = 0;
    ioctl(fd, FIONREAD, &q);
    if (q >= n) return;
    usleep(1000);
  }
}

class SettingProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    PortType = PortCOM;
  }
  void TearDown() override { ResetPortState(); }
};

}  // namespace

TEST(SettingCommands, BytesOfEveryCommand) {
  EXPECT_EQ(WriteSettingCommand(0x06, 0x1234), (SettingCommand{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x34, 0x12, 0x06}));
  EXPECT_EQ(WriteSettingCommand2(0x10, 0x01), (SettingCommand{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A, 0x01, 0x00, 0x10}));
  EXPECT_EQ(ReadSettingCommand(0x16), (std::array<uint8_t, 3>{0x1B, 0x6A, 0x16}));
  EXPECT_EQ(ReadSettingCommand2(0x03), (std::array<uint8_t, 3>{0x1B, 0x6B, 0x03}));
  EXPECT_EQ(TempDataBitsCommand(7), (std::array<uint8_t, 8>{0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x07}));
}

TEST(CommandQueue, RefusesWhatDoesNotFitAndKeepsOrder) {
  CommandQueue q;
  // 113 commands fill 1017 of the 1025 bytes; the 114th does not fit.
  for (int i = 0; i < 113; ++i) ASSERT_TRUE(q.MakeupCommand(WriteSettingCommand(static_cast<uint8_t>(i), i)));
  EXPECT_EQ(q.length(), 1017);
  EXPECT_FALSE(q.MakeupCommand(WriteSettingCommand(0xFF, 0)));
  EXPECT_EQ(q.length(), 1017);
  const uint8_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_TRUE(q.MakeupCommand(eight, 8));
  EXPECT_EQ(q.length(), 1025);
  EXPECT_FALSE(q.MakeupCommand(eight, 1));
  EXPECT_EQ(q.data()[9 * 5 + 8], 5);  // order of queuing is order in the buffer
  q.Clear();
  EXPECT_EQ(q.length(), 0);
}

TEST_F(SettingProtocolTest, NoPortRefusesEveryRoutineAndSendsNothing) {
  Pty pty;
  for (int handle : {0, -1}) {
    SettingLink link;
    link.setHandle(handle);
    uint8_t lo = 0, hi = 0;
    EXPECT_FALSE(link.ReadSetting(0x16, lo, hi));
    EXPECT_FALSE(link.SendCommand());
    EXPECT_FALSE(link.LineFeedPrinter());
    EXPECT_FALSE(link.SetTempDataBits(8));
    EXPECT_FALSE(link.ResetPrinter());
    const uint8_t b = 0x0A;
    EXPECT_FALSE(link.WritePort(&b, 1));
  }
  EXPECT_TRUE(pty.receive(1, 50).empty());
}

TEST_F(SettingProtocolTest, DataBitsSwitchAcceptsOnlySevenAndEight) {
  Pty pty;
  SettingLink link;
  link.setHandle(pty.slave);
  for (int n : {5, 6, 9}) EXPECT_FALSE(link.SetTempDataBits(n));
  EXPECT_TRUE(pty.receive(1, 50).empty());
  EXPECT_TRUE(link.SetTempDataBits(7));
  EXPECT_EQ(pty.receive(8), (Bytes{0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x07}));
}

TEST_F(SettingProtocolTest, OtherPortKindsWriteNothingAndReadFails) {
  for (int kind : {PortLPT, PortDriver, PortNibbleLPT, PortNet}) {
    PortType = kind;
    SettingLink ec(kEcPortStyle), pos(kPosPortStyle);
    ec.setHandle(5);
    pos.setHandle(5);
    const uint8_t b = 0x0A;
    EXPECT_TRUE(ec.WritePort(&b, 1)) << kind;
    EXPECT_FALSE(pos.WritePort(&b, 1)) << kind;
    uint8_t buf[2];
    EXPECT_FALSE(ec.ReadPort(buf, 2, 10)) << kind;
    uint8_t lo, hi;
    EXPECT_FALSE(ec.ReadSetting(0x16, lo, hi)) << kind;
  }
}

// The editors' write on the USB kinds is the one write of the one-shot sends
// (RWK201EEepromSet::POSWritePort): it reaches the libraries through the same
// calls and counts only a complete write.
TEST_F(SettingProtocolTest, UsbWriteIsTheOneShotWrite) {
  static std::vector<std::string> calls;
  static int shortBy;
  calls.clear();
  PortLibraryCalls fake = RealPortLibraryCalls();
  fake.uWrite = [](int, int, const uint8_t*, int length) {
    calls.push_back("uWrite");
    return length - shortBy;
  };
  fake.WriteUSBPrinter = [](int, const uint8_t*, int length, int* written) {
    calls.push_back("WriteUSBPrinter");
    *written = length - shortBy;
    return 1;
  };
  ScopedPortLibraryCalls scoped(fake);
  SettingLink link(kPosPortStyle);
  link.setHandle(9);
  for (int kind : {PortUSB, PortUSBPrinter}) {
    SCOPED_TRACE(kind);
    PortType = kind;
    shortBy = 0;
    EXPECT_TRUE(link.ResetPrinter());
    shortBy = 1;
    EXPECT_FALSE(link.ResetPrinter());
  }
  EXPECT_EQ(calls, (std::vector<std::string>{"uWrite", "uWrite", "WriteUSBPrinter", "WriteUSBPrinter"}));
}

// The bank-2 setters: queued and direct, the value byte then 00; both
// refuse a missing port. The framed getter on a serial port asks its bank and
// never pauses (the settle pause is for USB devices only).
TEST_F(SettingProtocolTest, BankTwoSettersAndTheFramedGetter) {
  Pty pty;
  torva::ScopedPrinterDelayRecorder waits;
  SettingLink link;
  for (int handle : {0, -1}) {
    link.setHandle(handle);
    EXPECT_FALSE(link.QueueSetting2(0x10, 1));
    EXPECT_FALSE(link.WriteSettingNow2(0x10, 1));
    uint8_t lo, hi;
    EXPECT_FALSE(link.ReadSetting(0x10, lo, hi, SettingLink::ReadFrame{2, 50, true, false}));
  }
  EXPECT_EQ(link.queue().length(), 0);
  link.setHandle(pty.slave);
  EXPECT_TRUE(link.WriteSettingNow2(0x03, 0x01));
  EXPECT_EQ(pty.receive(9), (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A, 0x01, 0x00, 0x03}));
  EXPECT_TRUE(link.QueueSetting(0x06, 0x010E));
  EXPECT_TRUE(link.QueueSetting2(0x00, 0x01));
  EXPECT_TRUE(link.SendCommand());
  EXPECT_EQ(pty.receive(18), (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x0E, 0x01, 0x06,  //
                                    0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A, 0x01, 0x00, 0x00}));
  for (bool throughPOSReadPort : {false, true}) {
    std::thread printer([&] {
      if (pty.receive(3) == Bytes{0x1B, 0x6B, 0x10}) pty.send({0x01, 0x00});
    });
    uint8_t lo = 0, hi = 9;
    EXPECT_TRUE(link.ReadSetting(0x10, lo, hi, SettingLink::ReadFrame{2, 50, false, throughPOSReadPort}));
    printer.join();
    EXPECT_EQ(lo, 1);
    EXPECT_EQ(hi, 0);
  }
  EXPECT_TRUE(waits.waits().empty());
}

// On a kind the link does not write to, a framed getter fails without
// reading, whichever routine it reads with; the setters succeed.
TEST_F(SettingProtocolTest, FramedGetterOnOtherKindsFails) {
  for (int kind : {PortLPT, PortDriver, PortNibbleLPT, PortNet}) {
    PortType = kind;
    SettingLink link;
    link.setHandle(5);
    uint8_t lo, hi;
    EXPECT_FALSE(link.ReadSetting(0x77, lo, hi, SettingLink::ReadFrame{1, 0, false, true})) << kind;
    EXPECT_FALSE(link.ReadSetting(0x06, lo, hi, SettingLink::ReadFrame{1, 200, false, false})) << kind;
    EXPECT_TRUE(link.WriteSettingNow2(0x03, 1)) << kind;
    EXPECT_TRUE(link.QueueSetting2(0x03, 1)) << kind;
  }
}

// Stale bytes go before the read command; a reply that comes after the
// command is read even when it is fast.
TEST_F(SettingProtocolTest, StaleInputIsDiscardedBeforeTheQuestion) {
  Pty pty;
  SettingLink link;
  link.setHandle(pty.slave);
  pty.send({0xEE, 0xEE, 0xEE});
  WaitQueued(pty.slave, 3);
  std::thread printer([&] {
    const Bytes question = pty.receive(3);
    if (question == Bytes{0x1B, 0x6A, 0x06}) pty.send({0x96, 0x00});
  });
  uint8_t lo = 0, hi = 0;
  EXPECT_TRUE(link.ReadSetting(0x06, lo, hi));
  printer.join();
  EXPECT_EQ(lo, 0x96);
  EXPECT_EQ(hi, 0x00);
}

TEST_F(SettingProtocolTest, OneByteReplyFailsAtTheTimeoutAndIsGoneBeforeTheNextRead) {
  Pty pty;
  PortStyle quick = kEcPortStyle;
  quick.readTimeoutMs = 200;
  SettingLink link(quick);
  link.setHandle(pty.slave);
  std::thread printer([&] {
    pty.receive(3);
    pty.send({0x42});
  });
  uint8_t lo = 0, hi = 0;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(link.ReadSetting(0x06, lo, hi));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(190));
  printer.join();
  // The next question gets its own answer, not the late byte.
  std::thread printer2([&] {
    pty.receive(3);
    pty.send({0x10, 0x00});
  });
  EXPECT_TRUE(link.ReadSetting(0x02, lo, hi));
  printer2.join();
  EXPECT_EQ(lo, 0x10);
}

// After a read that timed out, the reply may still come: the next question
// on the port waits until the line has been quiet for the read's time-out
// since the read gave up, and goes out then.
TEST_F(SettingProtocolTest, QuestionAfterATimedOutReadWaitsForTheLineToBeQuiet) {
  Pty pty;
  PortStyle quick = kEcPortStyle;
  quick.readTimeoutMs = 300;
  SettingLink link(quick);
  link.setHandle(pty.slave);
  uint8_t lo = 0, hi = 0;
  EXPECT_FALSE(link.ReadSetting(0x06, lo, hi));  // no answer
  const auto gaveUp = std::chrono::steady_clock::now();
  EXPECT_EQ(pty.receive(3), (Bytes{0x1B, 0x6A, 0x06}));
  std::chrono::steady_clock::time_point asked;
  std::thread printer([&] {
    const Bytes question = pty.receive(3, 3000);
    asked = std::chrono::steady_clock::now();
    if (question == Bytes{0x1B, 0x6A, 0x02}) pty.send({0x10, 0x00});
  });
  EXPECT_TRUE(link.ReadSetting(0x02, lo, hi));
  printer.join();
  EXPECT_EQ(lo, 0x10);
  EXPECT_GE(asked - gaveUp, std::chrono::milliseconds(290)) << "the question waited for a quiet line";
}

// The late reply that does come during the wait, part-way into it, is
// thrown away, and the question goes out as soon as it has come, not at the
// end of the wait.
TEST_F(SettingProtocolTest, LateReplyThatComesIsThrownAwayAndEndsTheWait) {
  Pty pty;
  SettingLink link(kEcPortStyle);  // 5000 ms
  link.setHandle(pty.slave);
  NoteOutstandingReply(PortCOM, 5000);
  std::atomic<bool> questionBeforeIt{false};
  std::thread printer([&] {
    // The late reply of the read that gave up comes once the link has
    // waited a while with nothing on the line; a link that did not wait
    // has asked by then, and gets the late reply before its answer.
    Bytes question = pty.receive(3, 300);
    questionBeforeIt = !question.empty();
    pty.send({0x5A, 0x00});
    if (question.empty()) question = pty.receive(3, 3000);
    if (question == Bytes{0x1B, 0x6A, 0x02}) pty.send({0x10, 0x00});
  });
  uint8_t lo = 0, hi = 0;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(link.ReadSetting(0x02, lo, hi));
  const auto took = std::chrono::steady_clock::now() - t0;
  printer.join();
  EXPECT_FALSE(questionBeforeIt) << "the question waited for the late reply";
  EXPECT_EQ(lo, 0x10) << "the question's own answer, not the late one";
  EXPECT_LT(took, std::chrono::milliseconds(2500)) << "not the whole 5 s";
  // Taken once: the question after it goes out at once.
  std::thread printer2([&] {
    if (pty.receive(3, 3000) == Bytes{0x1B, 0x6A, 0x03}) pty.send({0x11, 0x00});
  });
  EXPECT_TRUE(link.ReadSetting(0x03, lo, hi));
  printer2.join();
  EXPECT_EQ(lo, 0x11);
}

// An exchange that follows no timed-out read waits for nothing, also after
// another link's successful reads on the port.
TEST_F(SettingProtocolTest, NoWaitWithoutATimedOutRead) {
  Pty pty;
  SettingLink first(kEcPortStyle);  // 5000 ms
  first.setHandle(pty.slave);
  std::thread printer([&] {
    for (uint8_t a : {0x02, 0x03}) {
      if (pty.receive(3, 3000) == Bytes{0x1B, 0x6A, a}) pty.send({a, 0x00});
    }
  });
  uint8_t lo = 0, hi = 0;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_TRUE(first.ReadSetting(0x02, lo, hi));
  SettingLink second(kEcPortStyle);
  second.setHandle(pty.slave);
  EXPECT_TRUE(second.ReadSetting(0x03, lo, hi));
  const auto took = std::chrono::steady_clock::now() - t0;
  printer.join();
  EXPECT_EQ(lo, 0x03);
  EXPECT_LT(took, std::chrono::milliseconds(2500)) << "well under one read time-out";
}

namespace {

// A USB port, faked: what it holds unread (taken by the reads that wait for
// nothing), the reply that comes to the question (a timed read takes what
// it asks of it, the rest stays unread), and what happened in order.
struct UsbFake {
  Bytes waiting;
  bool babbles = false;           // the port never runs dry
  bool failsAfterReply = false;   // the reads that wait for nothing fail once the reply was read
  bool replied = false;
  Bytes reply;
  std::vector<std::string> calls;
};
UsbFake g_usb;

int TakeWaiting(const char* name, uint8_t* b, int n) {
  g_usb.calls.push_back(name);
  if (g_usb.failsAfterReply && g_usb.replied) return -1;
  if (g_usb.babbles) {
    std::fill(b, b + n, uint8_t{0x14});
    return n;
  }
  const int got = std::min<int>(n, static_cast<int>(g_usb.waiting.size()));
  std::copy(g_usb.waiting.begin(), g_usb.waiting.begin() + got, b);
  g_usb.waiting.erase(g_usb.waiting.begin(), g_usb.waiting.begin() + got);
  return got;
}
int TimedRead(const char* name, uint8_t* b, int n) {
  g_usb.waiting.insert(g_usb.waiting.end(), g_usb.reply.begin(), g_usb.reply.end());
  g_usb.reply.clear();
  const int got = TakeWaiting(name, b, n);
  g_usb.replied = true;
  return got;
}

PortLibraryCalls UsbFakeCalls() {
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uWrite = [](int, int, const uint8_t*, int n) {
    g_usb.calls.push_back("write");
    return n;
  };
  calls.WriteUSBPrinter = [](int, const uint8_t*, int n, int* written) {
    g_usb.calls.push_back("write");
    *written = n;
    return 1;
  };
  calls.WriteQfUSBPrinter = [](const uint8_t*, int n) {
    g_usb.calls.push_back("write");
    return n;
  };
  calls.uRead = [](int, int, uint8_t* b, int n) { return TimedRead("timed read", b, n); };
  calls.ReadUSBPrinter = [](int, uint8_t* b, int n, int* read) {
    *read = TimedRead("timed read", b, n);
    return 1;
  };
  calls.ReadQfUSBPrinter = [](uint8_t* b, int n) { return TimedRead("timed read", b, n); };
  calls.uReadWaiting = [](int, uint8_t* b, int n) { return TakeWaiting("waiting", b, n); };
  calls.ReadUSBPrinterWaiting = [](int, uint8_t* b, int n) { return TakeWaiting("waiting", b, n); };
  calls.ReadQfUSBPrinterWaiting = [](uint8_t* b, int n) { return TakeWaiting("waiting", b, n); };
  return calls;
}

// The USB kinds the editors read: the device, the printer and the VD-K773's
// custom connection.
struct UsbKind {
  const char* name;
  int kind;
  bool custom;
};
const UsbKind kUsbKinds[] = {
    {"UsbDevice", PortUSB, false}, {"UsbPrinter", PortUSBPrinter, false}, {"Custom", PortUSBPrinter, true}};

void UseUsbKind(const UsbKind& k) {
  PortType = k.kind;
  PrinterName = k.custom ? ModelVDK773 : 0;
  is773Costom = k.custom ? 1 : 0;
  iUSBClassMode = 0;
}

}  // namespace

// On every USB kind, what the port holds unread (the surplus of the reply
// before, say) goes before the question, taken by the reads that wait for
// nothing: the timed read is left for the question's own answer, so a
// well-behaved printer costs no time-out more per question. The reply is
// then judged by one more such read; when it stands, that read also serves
// as the discard before the next question, so two questions cost one, not
// two. A port that never runs dry does not keep the discard going.
TEST_F(SettingProtocolTest, UsbDiscardTakesWhatIsWaitingWithoutAWait) {
  ScopedPortLibraryCalls fake(UsbFakeCalls());
  for (const UsbKind& k : kUsbKinds) {
    SCOPED_TRACE(k.name);
    UseUsbKind(k);
    g_usb = UsbFake{};
    g_usb.waiting = {0x55, 0x34, 0x12};
    g_usb.reply = {0x96, 0x00};
    SettingLink link(kK773PortStyle);  // no pause before a USB-printer read
    link.setHandle(5);
    uint8_t lo = 0, hi = 0;
    ASSERT_TRUE(link.ReadSetting(0x06, lo, hi));
    EXPECT_EQ(lo, 0x96);
    EXPECT_EQ(hi, 0x00);
    EXPECT_TRUE(g_usb.waiting.empty());
    EXPECT_EQ(g_usb.calls, (std::vector<std::string>{"waiting", "waiting", "write", "timed read", "waiting"}));
    g_usb.calls.clear();
    g_usb.reply = {0x10, 0x00};
    ASSERT_TRUE(link.ReadSetting(0x02, lo, hi));
    EXPECT_EQ(lo, 0x10);
    EXPECT_EQ(g_usb.calls, (std::vector<std::string>{"write", "timed read", "waiting"}));

    SettingLink fresh(kK773PortStyle);
    fresh.setHandle(5);
    g_usb = UsbFake{};
    g_usb.babbles = true;
    EXPECT_GT(fresh.DiscardStaleInput(), 0);
    EXPECT_LE(g_usb.calls.size(), 16u);
  }
}

// On every USB kind, a reply with a byte beyond it (a surplus behind it, or
// its own second byte behind a byte the printer sent first), or one the port
// cannot be asked about, does not stand: the read fails, what was there is
// gone, no reply is taken to be on its way (the next question goes out at
// once), and that next question is preceded by a discard of its own.
TEST_F(SettingProtocolTest, UsbReplyWithAByteBeyondItDoesNotStand) {
  struct Case {
    const char* name;
    Bytes reply;
    bool failsAfterReply;
  };
  const Case cases[] = {
      {"surplus behind", {0x96, 0x00, 0x55}, false},
      {"stray before", {0x01, 0x96, 0x00}, false},
      {"port fails the look", {0x96, 0x00}, true},
  };
  ScopedPortLibraryCalls fake(UsbFakeCalls());
  for (const UsbKind& k : kUsbKinds) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(k.name) + ", " + c.name);
      UseUsbKind(k);
      g_usb = UsbFake{};
      g_usb.reply = c.reply;
      g_usb.failsAfterReply = c.failsAfterReply;
      SettingLink link(kK773PortStyle);
      link.setHandle(5);
      uint8_t lo = 0x77, hi = 0x77;
      EXPECT_FALSE(link.ReadSetting(0x06, lo, hi));
      EXPECT_EQ(lo, 0x77) << "nothing handed out";
      EXPECT_EQ(hi, 0x77);
      if (!c.failsAfterReply) {
        EXPECT_TRUE(g_usb.waiting.empty()) << "what was there is gone";
      }
      EXPECT_FALSE(TakeOutstandingReply(k.kind)) << "no reply is on its way";
      g_usb = UsbFake{};
      g_usb.reply = {0x10, 0x00};
      ASSERT_TRUE(link.ReadSetting(0x02, lo, hi));
      EXPECT_EQ(lo, 0x10);
      EXPECT_EQ(g_usb.calls, (std::vector<std::string>{"waiting", "write", "timed read", "waiting"}));
    }
  }
}

// On a serial port the same judgement: the reply stands only when nothing is
// queued behind it, whether it is read by the link or through POSReadPort
// (the watermark getters). A reply that does not stand leaves nothing
// queued and no reply noted as on its way.
TEST_F(SettingProtocolTest, SerialReplyWithAByteBeyondItDoesNotStand) {
  struct Case {
    const char* name;
    Bytes sent;
    Bytes next;  // a moment later, as a real line brings the next character
    bool stands;
  };
  const Case cases[] = {
      {"the reply alone", {0x96, 0x00}, {}, true},
      {"surplus behind", {0x96, 0x00, 0x55}, {}, false},
      {"stray before", {0x01, 0x96, 0x00}, {}, false},
      {"surplus a character behind", {0x96, 0x00}, {0x55}, false},
      {"stray before, the reply's second byte a character behind", {0x01, 0x96}, {0x00}, false},
  };
  // A slow line: a character takes 36.7 ms at 300 baud, so the reply is
  // judged after about 55 ms of quiet, and a byte that follows it 2 ms
  // later, as the next character of a real line would, is seen.
  ComParameter.Baudrate = 300;
  Pty pty;
  SettingLink link;
  link.setHandle(pty.slave);
  for (bool throughPOSReadPort : {false, true}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(c.name) + (throughPOSReadPort ? ", through POSReadPort" : ""));
      std::thread printer([&] {
        if (pty.receive(3) != Bytes{0x1B, 0x6A, 0x77}) return;
        pty.send(c.sent);
        if (c.next.empty()) return;
        usleep(2000);  // the line's pace, far inside the 55 ms the link waits
        pty.send(c.next);
      });
      uint8_t lo = 0x77, hi = 0x77;
      const bool stood = link.ReadSetting(0x77, lo, hi, SettingLink::ReadFrame{1, 0, false, throughPOSReadPort});
      printer.join();
      EXPECT_EQ(stood, c.stands);
      EXPECT_EQ(lo, c.stands ? 0x96 : 0x77);
      EXPECT_EQ(hi, c.stands ? 0x00 : 0x77);
      int queued = -1;
      ioctl(pty.slave, FIONREAD, &queued);
      EXPECT_EQ(queued, 0);
      EXPECT_FALSE(TakeOutstandingReply(PortCOM));
    }
  }
}

TEST_F(SettingProtocolTest, QueuedSaveIsOneWriteOfEveryCommand) {
  Pty pty;
  SettingLink link;
  link.setHandle(pty.slave);
  for (int i = 0; i < 19; ++i) ASSERT_TRUE(link.QueueSetting(static_cast<uint8_t>(i), static_cast<uint16_t>(i)));
  EXPECT_TRUE(link.SendCommand());
  const Bytes got = pty.receive(171);
  ASSERT_EQ(got.size(), 171u);
  EXPECT_EQ(Bytes(got.begin() + 9 * 18, got.end()),
            (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 18, 0, 18}));
  EXPECT_TRUE(pty.receive(1, 50).empty());
}

// The way out of a serial exchange: back to the configured data bits, or to
// those a successful save just sent, and only when they differ from the bits
// the port runs at.
TEST_F(SettingProtocolTest, DataBitsSwitchEndsAtTheRestoreBits) {
  struct Case {
    const char* name;
    int configured;
    int restore;  // 0: the configured bits
    Bytes sent;   // the switches the printer receives, in order
  };
  const Bytes to8{0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x08};
  const Bytes to7{0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x07};
  const Case cases[] = {
      {"8 configured, nothing to do", 8, 0, {}},
      {"8 configured, a save chose 7", 8, 7, to7},
      {"7 configured, a save chose 8", 7, 8, to8},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Pty pty;
    ComParameter.Name = ttyname(pty.slave);
    ComParameter.Databits = c.configured;
    ComParameter.m_hdev = -1;
    SettingLink link;
    link.setHandle(pty.slave);
    {
      TempDataBitsSwitch dataBits(link);
      EXPECT_EQ(dataBits.engaged(), c.configured != 8);
      if (c.restore) dataBits.SetRestoreDataBits(c.restore);
    }
    EXPECT_EQ(pty.receive(c.sent.size() + 1, 200), c.sent);
    CloseEditorPort();
  }
}

namespace {

// The custom connection of the USB printer library, faked: what was written
// and asked, and what each read delivers (what it does not take of a reply
// stays for the reads that wait for nothing).
struct CustomFake {
  Bytes written;
  std::vector<int> asked;
  std::vector<Bytes> replies;  // one per read, in order
  Bytes waiting;
  int writeShortBy = 0;
};
CustomFake g_custom;

PortLibraryCalls CustomCalls() {
  PortLibraryCalls calls = CurrentPortLibraryCalls();
  calls.WriteQfUSBPrinter = [](const uint8_t* b, int n) {
    g_custom.written.insert(g_custom.written.end(), b, b + n);
    return n - g_custom.writeShortBy;
  };
  calls.ReadQfUSBPrinter = [](uint8_t* b, int n) {
    g_custom.asked.push_back(n);
    if (g_custom.replies.empty()) return 0;
    const Bytes r = g_custom.replies.front();
    g_custom.replies.erase(g_custom.replies.begin());
    const int got = std::min<int>(n, static_cast<int>(r.size()));
    std::copy(r.begin(), r.begin() + got, b);
    g_custom.waiting.insert(g_custom.waiting.end(), r.begin() + got, r.end());
    return got;
  };
  calls.ReadQfUSBPrinterWaiting = [](uint8_t*, int n) {
    const int got = std::min<int>(n, static_cast<int>(g_custom.waiting.size()));
    g_custom.waiting.erase(g_custom.waiting.begin(), g_custom.waiting.begin() + got);
    return got;
  };
  return calls;
}

class CustomModeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetPortState();
    g_custom = CustomFake{};
    PortType = PortUSBPrinter;
    PrinterName = ModelVDK773;
    is773Costom = 1;
  }
  void TearDown() override { ResetPortState(); }
  ScopedPortLibraryCalls fake_{CustomCalls()};
};

}  // namespace

// In the VD-K773's custom mode the editor reads through the custom
// connection: class mode 1 asks the class byte, iStatusBytes status bytes and
// the 2-byte value (7 bytes with 4 status bytes, the value in bytes 6 and 7);
// class mode 0 asks the 2 bytes, and the flag read (C4) its 9-byte report
// with the value at offsets 1 and 2. A short transfer fails the read, and
// so does one with a byte beyond what was asked.
TEST_F(CustomModeTest, ReadsByClassModeAndStatusBytes) {
  struct Case {
    int classMode, statusBytes;
    uint8_t address;
    Bytes reply;
    int asked;
    bool ok;
    uint8_t lo, hi;
  };
  const Case cases[] = {
      {1, 4, 0x06, {0xC1, 0x11, 0x22, 0x33, 0x44, 0x96, 0x00}, 7, true, 0x96, 0x00},
      {1, 0, 0x06, {0xC1, 0x2C, 0x01}, 3, true, 0x2C, 0x01},
      {1, 4, 0xC4, {0xC1, 0, 0, 0, 0, 0x01, 0x00}, 7, true, 0x01, 0x00},
      {1, 4, 0x06, {0xC1, 0x11, 0x22, 0x33, 0x44, 0x96}, 7, false, 0, 0},
      {1, 4, 0x06, {0xC1, 0x11, 0x22, 0x33, 0x44, 0x96, 0x00, 0x55}, 7, false, 0, 0},
      {0, 0, 0x06, {0x96, 0x00}, 2, true, 0x96, 0x00},
      {0, 0, 0x06, {0x96}, 2, false, 0, 0},
      {0, 0, 0xC4, {0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0}, 9, true, 0x01, 0x00},
      {0, 0, 0xC4, {0x00, 0x01}, 9, false, 0, 0},
      {0, 0, 0xC4, {0x00, 0x01, 0x00, 0, 0, 0, 0, 0, 0, 0x55}, 9, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.classMode << "/" << c.statusBytes << " " << int(c.address) << " "
                                      << c.reply.size());
    iUSBClassMode = c.classMode;
    iStatusBytes = c.statusBytes;
    // Each case a fresh exchange: no reply of the case before it to wait for.
    TakeOutstandingReply(PortUSBPrinter);
    g_custom = CustomFake{};
    g_custom.replies = {c.reply};
    SettingLink link(kK773PortStyle);
    link.setHandle(5);
    uint8_t lo = 0, hi = 0;
    EXPECT_EQ(link.ReadSetting(c.address, lo, hi), c.ok);
    EXPECT_EQ(g_custom.written, (Bytes{0x1B, 0x6A, c.address}));
    EXPECT_EQ(g_custom.asked, std::vector<int>{c.asked});
    if (c.ok) {
      EXPECT_EQ(lo, c.lo);
      EXPECT_EQ(hi, c.hi);
    }
  }
}

// Writes go through the custom connection and must take every byte; the
// K773's style reads at once, where the other editors pause 30 ms before a
// USB-printer read.
TEST_F(CustomModeTest, WritesTakeEveryByteAndReadsDoNotPause) {
  iUSBClassMode = 0;
  SettingLink link(kK773PortStyle);
  link.setHandle(5);
  EXPECT_TRUE(link.WriteSettingNow(0x59, 1));
  EXPECT_EQ(g_custom.written, (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01, 0x00, 0x59}));
  g_custom.writeShortBy = 1;
  EXPECT_FALSE(link.LineFeedPrinter());
  g_custom.writeShortBy = 0;

  torva::ScopedPrinterDelayRecorder waits;
  g_custom.replies = {{0x01, 0x00}, {0x01, 0x00}};
  uint8_t lo = 0, hi = 0;
  ASSERT_TRUE(link.ReadSetting(0x59, lo, hi));
  EXPECT_TRUE(waits.waits().empty());
  link.setStyle(kEcPortStyle);
  ASSERT_TRUE(link.ReadSetting(0x59, lo, hi));
  EXPECT_EQ(waits.waits(), std::vector<int>{30});
  EXPECT_EQ(kK773PortStyle.readTimeoutMs, 5000);
  EXPECT_EQ(kK773PortStyle.dataBitsPauseMs, 20);
  EXPECT_TRUE(kK773PortStyle.purgeBeforeRead);

  // Outside the custom mode the same link uses the printer-class calls.
  is773Costom = 0;
  g_custom = CustomFake{};
  link.WriteSettingNow(0x59, 1);
  EXPECT_TRUE(g_custom.written.empty());
}
