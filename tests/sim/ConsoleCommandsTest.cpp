// The commands torva-printer-sim takes on its standard input: parsing as a
// table, and what each one does to the printer.
#include "sim/ConsoleCommands.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

#include "SimHelpers.h"

using simtest::Bytes;
using simtest::Collector;
using torva::sim::ConsoleCommand;
using torva::sim::Fault;
using torva::sim::ParseConsoleCommand;
using torva::sim::RunConsoleCommand;
using torva::sim::SimPrinter;
using Kind = ConsoleCommand::Kind;

namespace {

struct ParseCase {
  const char* line;
  Kind kind;
  Bytes bytes = {};
  int address = -1;
  int value = 0;
  int bank = 1;
  Fault fault = Fault::None;
  int count = -1;
  int lateMs = 500;
};

TEST(SimConsole, ParsesEachCommand) {
  const ParseCase cases[] = {
      {"", Kind::Empty},
      {"   # a comment", Kind::Empty},
      {"help", Kind::Help},
      {"?", Kind::Help},
      {"status", Kind::ShowStatus},
      {"status 00 00 01 00", Kind::SetStatus, {0x00, 0x00, 0x01, 0x00}},
      {"STATUS 0a1b,ff:00", Kind::SetStatus, {0x0A, 0x1B, 0xFF, 0x00}},
      {"get 16", Kind::Get, {}, 0x16},
      {"get 0x16 2", Kind::Get, {}, 0x16, 0, 2},
      {"set 06 0096", Kind::Set, {}, 0x06, 0x0096},
      {"set 0xFF ffff 2", Kind::Set, {}, 0xFF, 0xFFFF, 2},
      {"fault noreply", Kind::Fault, {}, -1, 0, 1, Fault::NoReply},
      {"fault short 06", Kind::Fault, {}, 0x06, 0, 1, Fault::ShortReply},
      {"fault late 06 count 2 ms 800", Kind::Fault, {}, 0x06, 0, 1, Fault::LateReply, 2, 800},
      {"fault garbage count 1", Kind::Fault, {}, -1, 0, 1, Fault::Garbage, 1},
      {"fault early 2B count 1", Kind::Fault, {}, 0x2B, 0, 1, Fault::EarlyByte, 1},
      {"fault hangup", Kind::Fault, {}, -1, 0, 1, Fault::Hangup},
      {"fault none", Kind::ClearFaults},
      {"fault clear", Kind::ClearFaults},
      {"fault none 06", Kind::Fault, {}, 0x06},
      {"fault usbwrite 3", Kind::UsbWriteFault, {}, -1, 3},
      {"fault usbwrite 0", Kind::UsbWriteFault},
      {"capture raw", Kind::Capture, {}, -1, 1},
      {"capture commands", Kind::Capture},
      {"capture report", Kind::CaptureReport},
      {"capture save /tmp/got.bin", Kind::CaptureSave},
      {"send 7E 00", Kind::Send, {0x7E, 0x00}},
      {"log", Kind::Log, {}, -1, 10},
      {"log 3", Kind::Log, {}, -1, 3},
      {"power", Kind::Power},
      {"hangup", Kind::Hangup},
      {"model 11", Kind::Model, {}, -1, 11},
      {"delay 0", Kind::Delay, {}, -1, 0},
      {"quit", Kind::Quit},
      {"exit", Kind::Quit},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.line);
    const ConsoleCommand got = ParseConsoleCommand(c.line);
    EXPECT_EQ(got.kind, c.kind) << got.error;
    EXPECT_EQ(got.bytes, c.bytes);
    EXPECT_EQ(got.address, c.address);
    EXPECT_EQ(got.value, c.value);
    EXPECT_EQ(got.bank, c.bank);
    EXPECT_EQ(got.fault.kind, c.fault);
    EXPECT_EQ(got.fault.count, c.count);
    EXPECT_EQ(got.fault.lateMs, c.lateMs);
  }
}

TEST(SimConsole, RefusesWhatItCannotDo) {
  // Each is refused with a reason, never half carried out.
  const char* const lines[] = {
      "bogus",          "status 0",       "status zz",          "get",           "get 100",
      "get 06 3",       "set 06",         "set 06 10000",       "set 06 1 0",    "set 06 0096 1 2",
      "fault",          "fault slow",     "fault late count",   "fault late ms x", "fault late count 0",
      "fault late 06 07", "send",         "send 7",             "log 0",         "log x",
      "model 19",       "model",          "delay -1",           "power now",     "quit now",
      "fault usbwrite", "fault usbwrite x", "fault usbwrite 1 2", "capture",     "capture save",
      "capture report now", "capture raw now",
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    const ConsoleCommand c = ParseConsoleCommand(line);
    EXPECT_EQ(c.kind, Kind::Error);
    EXPECT_FALSE(c.error.empty());
  }
}

// What a command does, seen from the printer and from a connected host.
struct SimConsoleRun : ::testing::Test {
  SimPrinter printer{2};
  Collector host;
  std::shared_ptr<torva::sim::Session> session;
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  void SetUp() override {
    printer.setReplyDelayMs(0);
    session = printer.openSession("serial", host.sink(), true);
  }
  void TearDown() override { printer.closeSession(session); }
  std::string run(const std::string& line) { return RunConsoleCommand(printer, ParseConsoleCommand(line), start); }
  void feed(const Bytes& b) { session->hostBytes(b.data(), b.size()); }
};

TEST_F(SimConsoleRun, StatusReachesAHostWithAutomaticStatus) {
  feed({0x1D, 0x61, 0xFF});
  EXPECT_EQ(host.wait(4, 2000).size(), 4u);
  host.take();
  EXPECT_EQ(run("status 00 00 01 00"), "status: 00 00 01 00\n");
  EXPECT_EQ(host.wait(4, 2000), (Bytes{0x00, 0x00, 0x01, 0x00}));
  EXPECT_EQ(run("status"), "status: 00 00 01 00\n");
  // A record of another length is fitted to the model's, and the answer says so.
  EXPECT_EQ(run("status 04"), "status: 04 00 00 00 (this model's record has 4 bytes)\n");
}

TEST_F(SimConsoleRun, SettingsInBothBanksAnswerTheHost) {
  EXPECT_EQ(run("set 06 1234"), "setting 06 (bank 1) = 1234\n");
  EXPECT_EQ(run("set 06 0A1B 2"), "setting 06 (bank 2) = 0A1B\n");
  EXPECT_EQ(run("get 06 2"), "setting 06 (bank 2) = 0A1B\n");
  feed({0x1B, 0x6A, 0x06, 0x1B, 0x6B, 0x06});
  EXPECT_EQ(host.wait(4, 2000), (Bytes{0x34, 0x12, 0x1B, 0x0A}));
}

TEST_F(SimConsoleRun, FaultsHitTheirRepliesAndClear) {
  printer.setSetting(0x06, 0x1234);
  printer.setSetting(0x07, 0x5678);
  EXPECT_EQ(run("fault short 06"), "fault: short on reads of address 06, until cleared\n");
  feed({0x1B, 0x6A, 0x06, 0x1B, 0x6A, 0x07});
  EXPECT_EQ(host.wait(3, 2000), (Bytes{0x34, 0x78, 0x56}));
  host.take();
  EXPECT_EQ(run("fault none 06"), "fault on address 06 cleared\n");
  EXPECT_EQ(run("fault garbage count 1"), "fault: garbage on every reply, the next 1\n");
  feed({0x1B, 0x6A, 0x06, 0x1B, 0x6A, 0x06});
  EXPECT_EQ(host.wait(4, 2000), (Bytes{0xCB, 0xED, 0x34, 0x12}));
  host.take();
  run("fault noreply");
  EXPECT_EQ(run("fault none"), "faults cleared\n");
  feed({0x1B, 0x6A, 0x07});
  EXPECT_EQ(host.wait(2, 2000), (Bytes{0x78, 0x56}));
}

TEST_F(SimConsoleRun, SendLogPowerModelAndHelp) {
  EXPECT_EQ(run("send 7E 00"), "sent 7E 00\n");
  EXPECT_EQ(host.wait(2, 2000), (Bytes{0x7E, 0x00}));
  EXPECT_EQ(run("log"), "log: empty\n");
  Bytes data(100, 'A');
  feed(data);
  feed({0x1B, 0x6A, 0x06});
  const std::string tail = run("log 2");
  EXPECT_NE(tail.find("serial <- Data             41 41"), std::string::npos) << tail;
  EXPECT_NE(tail.find("... (100 bytes)"), std::string::npos) << tail;  // long frames are cut short
  EXPECT_NE(tail.find("<- ReadSetting      1B 6A 06\n"), std::string::npos) << tail;
  EXPECT_EQ(run("log 1").find("Data"), std::string::npos);
  feed({0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x07});
  ASSERT_EQ(printer.dataBits(), 7);
  run("power");
  EXPECT_EQ(printer.dataBits(), 8);
  EXPECT_EQ(run("model 11"), "model 11 (VD-K772), default settings, status 00 00 00 00 00 00 00 00\n");
  EXPECT_EQ(printer.model(), 11);
  EXPECT_EQ(run("delay 7"), "reply delay 7 ms\n");
  EXPECT_EQ(printer.replyDelayMs(), 7);
  EXPECT_EQ(run("help"), torva::sim::kConsoleHelp);
  EXPECT_EQ(run("quit"), "");
  EXPECT_EQ(run("nonsense"), "unknown command 'nonsense' (help lists the commands)\n");
}

TEST_F(SimConsoleRun, CaptureSaveTakesTheRestOfTheLineAsTheFile) {
  const ConsoleCommand c = ParseConsoleCommand("capture save  /tmp/a file.bin  ");
  EXPECT_EQ(c.kind, Kind::CaptureSave);
  EXPECT_EQ(c.text, "/tmp/a file.bin");
}

TEST_F(SimConsoleRun, UsbWriteFaultRefusesThatWrite) {
  EXPECT_EQ(run("fault usbwrite 2"), "fault: USB write 2 from now on takes no byte (answered with 0 bytes written)\n");
  EXPECT_EQ(run("fault usbwrite 0"), "fault usbwrite cleared\n");
  run("fault usbwrite 1");
  EXPECT_EQ(run("fault none"), "faults cleared\n");
}

// The VD-K773 answers the plain automatic status with the four-byte record
// (the generic dialog reads four-byte records), and sends its six-byte
// record only after the custom status command.
TEST_F(SimConsoleRun, K773AnswersAutomaticStatusWithFourBytes) {
  run("model 12");
  feed({0x1D, 0x61, 0xFF});
  EXPECT_EQ(host.wait(4, 2000), (Bytes{0, 0, 0, 0}));
  host.take();
  EXPECT_EQ(run("status 00 00 01 00"),
            "status: automatic (1D 61) 00 00 01 00, custom (1D E0) 00 00 00 00 00 00\n");
  EXPECT_EQ(host.wait(4, 2000), (Bytes{0x00, 0x00, 0x01, 0x00}));
  feed({0x1D, 0x61, 0xFF});  // asked again: the same four bytes, nothing more
  EXPECT_EQ(host.wait(8, 2000), (Bytes{0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00}));
  host.take();
  EXPECT_EQ(run("status 00 00 40 00 00 00"),
            "status: automatic (1D 61) 00 00 01 00, custom (1D E0) 00 00 40 00 00 00\n");
  EXPECT_EQ(printer.autoStatusRecord(), (Bytes{0x00, 0x00, 0x01, 0x00}));
  feed({0x1D, 0xE0, 0xFF});
  const Bytes streamed = host.wait(6, 2000);
  ASSERT_GE(streamed.size(), 6u);
  EXPECT_EQ(Bytes(streamed.begin(), streamed.begin() + 6), (Bytes{0x00, 0x00, 0x40, 0x00, 0x00, 0x00}));
  feed({0x1D, 0xE0, 0x00});
  EXPECT_EQ(run("status"), "status: automatic (1D 61) 00 00 01 00, custom (1D E0) 00 00 40 00 00 00\n");
}

TEST_F(SimConsoleRun, HangupDropsTheSession) {
  // Plays the endpoint: closes the session once the printer drops it, which
  // is what hangup waits for.
  std::mutex mu;
  std::condition_variable cv;
  bool dropped = false;
  session->setHangupHandler([&] {
    std::lock_guard<std::mutex> lock(mu);
    dropped = true;
    cv.notify_all();
  });
  std::thread endpoint([&] {
    std::unique_lock<std::mutex> lock(mu);
    const bool close = cv.wait_for(lock, std::chrono::seconds(5), [&] { return dropped; });
    lock.unlock();  // the handler takes mu under the session's lock
    if (close) printer.closeSession(session);
  });
  EXPECT_EQ(run("hangup"), "connections dropped\n");
  endpoint.join();
  EXPECT_TRUE(session->hungUp());
}

}  // namespace
