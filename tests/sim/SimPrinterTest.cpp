// The simulated printer in process: framing, settings memory, data bits,
// status, faults and the log, through a session fed directly.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "SimHelpers.h"
#include "sim/SimPrinter.h"

using simtest::Bytes;
using simtest::Collector;
using torva::sim::Fault;
using torva::sim::FaultSpec;
using torva::sim::SimPrinter;

namespace {

std::vector<std::string> Names(const SimPrinter& p) {
  std::vector<std::string> n;
  for (const auto& e : p.log()) n.push_back(e.name);
  return n;
}

struct SimSession : ::testing::Test {
  SimPrinter printer{2};
  Collector host;
  std::shared_ptr<torva::sim::Session> session;
  void SetUp() override {
    printer.setReplyDelayMs(0);
    session = printer.openSession("serial", host.sink(), true);
  }
  void TearDown() override { printer.closeSession(session); }
  void feed(const Bytes& b) { session->hostBytes(b.data(), b.size()); }
};

struct FramingCase {
  const char* what;
  std::vector<Bytes> chunks;
  std::vector<std::string> names;
  Bytes replies;
};

void PrintTo(const FramingCase& c, std::ostream* os) { *os << c.what; }

class Framing : public SimSession, public ::testing::WithParamInterface<FramingCase> {};

TEST_P(Framing, ParsesByTheCommandTable) {
  const FramingCase& c = GetParam();
  printer.setSetting(0x06, 0x0096);
  printer.setSetting(0x0A, 0x1B0A);
  for (const auto& chunk : c.chunks) feed(chunk);
  EXPECT_EQ(Names(printer), c.names);
  EXPECT_EQ(host.wait(c.replies.size(), 200), c.replies);
  Bytes all;
  for (const auto& chunk : c.chunks) all.insert(all.end(), chunk.begin(), chunk.end());
  EXPECT_EQ(printer.receivedBytes(), all);
}

INSTANTIATE_TEST_SUITE_P(
    Sim, Framing,
    ::testing::Values(
        // Value bytes 0A and 1B, and address 0A, inside one write frame.
        FramingCase{
            "values0A1B", {{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x0A, 0x1B, 0x0A}}, {"WriteSetting"}, {}},
        // A frame split over three writes, then read back.
        FramingCase{"split",
                    {{0x1B, 0x73, 0x5C}, {0x31, 0xE7, 0x08, 0x34}, {0x12, 0x20}, {0x1B}, {0x6A, 0x20}},
                    {"WriteSetting", "ReadSetting"},
                    {0x34, 0x12}},
        // Back-to-back frames in one write, replies in order.
        FramingCase{"backToBack",
                    {{0x1B, 0x6A, 0x06, 0x1B, 0x6A, 0x0A, 0x0A, 0x1D, 0x72, 0x01}},
                    {"ReadSetting", "ReadSetting", "FeedLine", "TransmitStatus"},
                    {0x96, 0x00, 0x0A, 0x1B, 0x00}},
        // Print data around commands; an unknown escape is data.
        FramingCase{"data",
                    {{'H', 'i', 0x0A, 0x1B, 0x21, 0x00, 0x1B, 0x40}},
                    {"Data", "FeedLine", "Data", "InitializePrinter"},
                    {}},
        FramingCase{
            "oneShots",
            {{0x10, 0x04, 0x0A, 0x10, 0x04, 0x0B, 0x1D, 0x56, 0x42, 0x10, 0x1B, 0x63, 0x5B, 0x1B, 0x63, 0x5C,
              0x0A}},
            {"ResetPrinter", "ClearError", "CutPaper", "BundlerPresent", "BundlerRetract", "FeedLine"},
            {}},
        // The data-bits switch carries 0A inside its fixed prefix.
        FramingCase{"dataBitsFrame",
                    {{0x1C, 0x09, 0x12, 0x15}, {0x02, 0x0A, 0x01, 0x07, 0x0A}},
                    {"TempDataBits", "FeedLine"},
                    {}}),
    [](const auto& info) { return std::string(info.param.what); });

// A long stream of commands (random value bytes, 0A and 1B among them) and
// print data (including near-misses of command prefixes), cut at random
// points: the log is the same however the stream is cut.
TEST_F(SimSession, RandomCutsOfAMixedStreamLogTheSameFrames) {
  struct Shape {
    const char* name;
    Bytes prefix;
    size_t length;
  };
  const std::vector<Shape> commands = {
      {"ReadSetting", {0x1B, 0x6A}, 3},
      {"ReadSetting2", {0x1B, 0x6B}, 3},
      {"WriteSetting", {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}, 9},
      {"WriteSetting2", {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A}, 9},
      {"TempDataBits", {0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01}, 8},
      {"TransmitStatus", {0x1D, 0x72, 0x01}, 3},
      {"AutoStatusBack", {0x1D, 0x61}, 3},
      {"FeedLine", {0x0A}, 1},
      {"ResetPrinter", {0x10, 0x04, 0x0A}, 3},
      {"ClearError", {0x10, 0x04, 0x0B}, 3},
      {"CutPaper", {0x1D, 0x56, 0x42, 0x10}, 4},
      {"BundlerPresent", {0x1B, 0x63, 0x5B}, 3},
      {"BundlerRetract", {0x1B, 0x63, 0x5C}, 3},
      {"InitializePrinter", {0x1B, 0x40}, 2},
  };
  // Data pieces: text, an unknown escape, and bytes that begin like a
  // command and then leave it. None of their bytes but the first may start
  // a command, so a piece never runs into the next.
  const std::vector<Bytes> data = {
      {'T', 'e', 'x', 't'}, {0x1B, 0x21, 0x00}, {0x10, 0x04, 0x0C}, {0x1D, 0x56, 0x42, 0x11},
      {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x09}, {0x1B}, {0x1D}};
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE(seed);
    std::mt19937 rng(seed);
    printer.clearLog();
    Bytes stream;
    std::vector<std::pair<std::string, Bytes>> expected;
    for (int i = 0; i < 400; ++i) {
      Bytes piece;
      std::string name;
      if (rng() % 3 == 0) {
        piece = data[rng() % data.size()];
        name = "Data";
      } else {
        const Shape& c = commands[rng() % commands.size()];
        piece = c.prefix;
        while (piece.size() < c.length) {
          const uint8_t pick[] = {0x0A, 0x1B, 0x1D, static_cast<uint8_t>(rng())};
          piece.push_back(pick[rng() % 4]);
        }
        name = c.name;
      }
      if (name == "Data" && !expected.empty() && expected.back().first == "Data")
        expected.back().second.insert(expected.back().second.end(), piece.begin(), piece.end());
      else
        expected.emplace_back(name, piece);
      stream.insert(stream.end(), piece.begin(), piece.end());
    }
    for (size_t at = 0; at < stream.size();) {
      const size_t n = std::min<size_t>(stream.size() - at, rng() % 3 == 0 ? rng() % 64 + 1 : rng() % 7 + 1);
      feed(Bytes(stream.begin() + at, stream.begin() + at + n));
      at += n;
    }
    // A stream that ends in a lone 1B or 1D leaves it pending (it may start
    // a command); one more byte of text settles it.
    const bool settle = stream.back() == 0x1B || stream.back() == 0x1D;
    if (settle) feed({'.'});
    std::vector<std::pair<std::string, Bytes>> got;
    for (const auto& e : printer.log()) {
      if (e.name == "Data" && !got.empty() && got.back().first == "Data")
        got.back().second.insert(got.back().second.end(), e.frame.begin(), e.frame.end());
      else
        got.emplace_back(e.name, e.frame);
    }
    if (settle) got.back().second.pop_back();
    ASSERT_EQ(got.size(), expected.size());
    for (size_t i = 0; i < got.size(); ++i) {
      EXPECT_EQ(got[i].first, expected[i].first) << "entry " << i;
      EXPECT_EQ(got[i].second, expected[i].second) << "entry " << i;
    }
  }
}

TEST_F(SimSession, LogKeepsFramesWithTimeAndChannel) {
  auto before = std::chrono::steady_clock::now();
  feed({0x1B, 0x6A, 0x06, 'A'});
  auto log = printer.log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].channel, "serial");
  EXPECT_EQ(log[0].frame, (Bytes{0x1B, 0x6A, 0x06}));
  EXPECT_GE(log[0].time, before);
  EXPECT_EQ(log[1].name, "Data");
  EXPECT_EQ(printer.log("ReadSetting").size(), 1u);
  EXPECT_TRUE(printer.waitForLog(2, 0));
  EXPECT_FALSE(printer.waitForLog(3, 50));
  printer.clearLog();
  EXPECT_TRUE(printer.log().empty());
  EXPECT_TRUE(printer.receivedBytes().empty());
}

// The command console's status queries answer one byte each, settable;
// other 10 04 n and 1D 72 n stay data, and the self-test is logged.
TEST_F(SimSession, ConsoleQueriesAnswerOneSettableByte) {
  printer.setQueryReply({0x10, 0x04, 0x04}, 0x72);
  printer.setQueryReply({0x1B, 0x76}, 0x0C);
  printer.setQueryReply({0x1D, 0x72, 0x31}, 0x03);
  feed({0x10, 0x04, 0x01, 0x10, 0x04, 0x04, 0x1B, 0x76, 0x1D, 0x72, 0x02, 0x1D, 0x72, 0x31, 0x1D, 0x72, 0x32});
  EXPECT_EQ(host.wait(6, 500), (Bytes{0x16, 0x72, 0x0C, 0x00, 0x03, 0x00}));
  EXPECT_EQ(Names(printer), (std::vector<std::string>{"RealTimeStatus", "RealTimeStatus", "PaperStatus",
                                                      "TransmitStatus", "TransmitStatus", "TransmitStatus"}));
  EXPECT_EQ(printer.queryReply({0x10, 0x04, 0x04}), 0x72);
  printer.clearLog();
  host.take();
  feed({0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x02, 0x10, 0x04, 0x05});
  EXPECT_EQ(Names(printer), (std::vector<std::string>{"SelfTest", "Data"}));
  EXPECT_TRUE(host.wait(1, 50).empty());
}

TEST_F(SimSession, AbandonedFrameIsGivenUpAsData) {
  // The host stopped in the middle of a command; what comes much later is new.
  feed({0x1B, 0x73, 0x5C});
  EXPECT_TRUE(printer.log().empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(1100));
  feed({0x1B, 0x6A, 0x16});
  EXPECT_EQ(Names(printer), (std::vector<std::string>{"Data", "ReadSetting"}));
  EXPECT_EQ(host.wait(2, 200), (Bytes{0x02, 0x00}));
}

TEST_F(SimSession, WaitForLogWakesOnAnotherThread) {
  std::thread t([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    feed({0x0A});
  });
  EXPECT_TRUE(printer.waitForLog(1, 2000));
  t.join();
}

TEST_F(SimSession, SettingsInBothBanks) {
  // Unset addresses answer FF FF in both banks.
  feed({0x1B, 0x6A, 0xF0, 0x1B, 0x6B, 0xF0});
  EXPECT_EQ(host.wait(4, 200), (Bytes{0xFF, 0xFF, 0xFF, 0xFF}));
  host.take();
  // Bank 1 and bank 2 are separate memories.
  feed({0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01, 0x02, 0x10});
  feed({0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x0A, 0x05, 0x00, 0x10});
  EXPECT_EQ(printer.setting(0x10, 1), 0x0201);
  EXPECT_EQ(printer.setting(0x10, 2), 0x0005);
  feed({0x1B, 0x6A, 0x10, 0x1B, 0x6B, 0x10});
  EXPECT_EQ(host.wait(4, 200), (Bytes{0x01, 0x02, 0x05, 0x00}));
  EXPECT_EQ(printer.log("WriteSetting2").size(), 1u);
}

TEST(SimModel, DefaultsPerModelAndPowerCycleKeepsMemory) {
  SimPrinter p(2);
  EXPECT_EQ(p.setting(0x16), 2);  // 38400 baud code
  EXPECT_EQ(p.setting(0x17), 8);
  EXPECT_EQ(p.setting(0xF0), 0xFFFF);
  EXPECT_EQ(p.setting(0x16, 2), 0xFFFF);
  EXPECT_EQ(p.statusLength(), 4);
  p.setSetting(0x06, 77);
  p.powerCycle();
  EXPECT_EQ(p.setting(0x06), 77);
  p.setModel(11);
  EXPECT_EQ(p.setting(0x06), 270);  // a new model starts from its own defaults
  EXPECT_EQ(p.setting(0x05), 3);    // printing surface: double side
  EXPECT_EQ(p.setting(0x03, 2), 1); // the second bank has its defaults too
  EXPECT_EQ(p.statusLength(), 8);
  p.setModel(18);
  EXPECT_EQ(p.setting(0x05), 0xFFFF);  // the VD-H738 keeps no printing surface
  p.setModel(11);
  EXPECT_EQ(p.statusLength(), 8);
  p.setModel(13);
  EXPECT_EQ(p.statusLength(), 8);
  p.setModel(8);
  EXPECT_EQ(p.statusLength(), 8);
  p.setModel(12);
  EXPECT_EQ(p.statusLength(), 6);
  EXPECT_EQ(p.statusRecord().size(), 6u);
  // Out-of-range addresses and banks are refused, not stored.
  p.setSetting(300, 1);
  p.setSetting(1, 1, 3);
  EXPECT_EQ(p.setting(300), 0xFFFF);
  EXPECT_EQ(p.printerName(), "VD-K773");
  p.setPrinterName("Front desk");
  EXPECT_EQ(p.printerName(), "Front desk");
}

// The RW-K201, RW-K305 and RW-K305W start with what their editor shows
// before a Get.
TEST(SimModel, PosStyleModelsHoldTheEditorsStartValues) {
  const std::pair<int, uint16_t> expected[] = {
      {0x16, 1},  {0x40, 0}, {0x17, 8},  {0x19, 1},  {0x1B, 0}, {0x4E, 2}, {0x4A, 2}, {0x06, 100}, {0x02, 68},
      {0x44, 0},  {0x54, 1}, {0x09, 0},  {0x14, 0},  {0x12, 0}, {0x58, 1}, {0x6D, 0}, {0x7D, 0},   {0x37, 0},
  };
  for (int model : {4, 6, 15}) {
    SCOPED_TRACE(model);
    SimPrinter p(model);
    for (const auto& [address, value] : expected) EXPECT_EQ(p.setting(address), value) << address;
    EXPECT_EQ(p.setting(0x2C), 0xFFFF) << "the feed lines live at 37, not at their file key";
  }
}

TEST_F(SimSession, DataBitsSwitch) {
  EXPECT_EQ(printer.dataBits(), 8);
  feed({0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x07});
  EXPECT_EQ(printer.dataBits(), 7);
  feed({0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x05});  // not a data-bits value: ignored
  EXPECT_EQ(printer.dataBits(), 7);
  printer.powerCycle();
  EXPECT_EQ(printer.dataBits(), 8);
  feed({0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x07});
  feed({0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, 0x08});
  EXPECT_EQ(printer.dataBits(), 8);
  EXPECT_TRUE(host.wait(1, 50).empty());  // no reply to any of them
}

TEST_F(SimSession, TransmitStatusAnswersOneByte) {
  printer.setTransmitStatus(0x12);
  feed({0x1D, 0x72, 0x01});
  EXPECT_EQ(host.wait(1, 200), (Bytes{0x12}));
}

TEST_F(SimSession, AutomaticStatusOnChangeAndOff) {
  printer.setStatusRecord({0x01, 0x00, 0x00, 0x00});
  feed({0x1D, 0x61, 0xFF});
  EXPECT_TRUE(session->autoStatusOn());
  EXPECT_EQ(host.wait(4, 200), (Bytes{0x01, 0x00, 0x00, 0x00}));
  host.take();
  // Every 1D 61 n with n not 0 answers one record at once, changed or not.
  feed({0x1D, 0x61, 0xFF});
  EXPECT_EQ(host.wait(4, 200).size(), 4u);
  host.take();
  // A change is sent by itself; the same record again is not.
  printer.setStatusByte(2, 0x11);
  EXPECT_EQ(host.wait(4, 200), (Bytes{0x01, 0x00, 0x11, 0x00}));
  host.take();
  printer.setStatusRecord({0x01, 0x00, 0x11, 0x00});
  EXPECT_TRUE(host.wait(1, 50).empty());
  // Off: changes are no longer sent.
  feed({0x1D, 0x61, 0x00});
  EXPECT_FALSE(session->autoStatusOn());
  printer.setStatusByte(0, 0x04);
  EXPECT_TRUE(host.wait(1, 50).empty());
  // A power cycle switches it off too.
  feed({0x1D, 0x61, 0x01});
  host.wait(4, 200);
  printer.powerCycle();
  EXPECT_FALSE(session->autoStatusOn());
}

TEST(SimStatus, RecordLengthFollowsTheModelAndUsbGetsNoInBandRecord) {
  SimPrinter p(11);
  p.setReplyDelayMs(0);
  Collector serial, usb;
  auto s1 = p.openSession("serial", serial.sink(), true);
  auto s2 = p.openSession("usb", usb.sink(), false);
  p.setStatusRecord({1, 2, 3});  // short records are padded to the model's length
  Bytes cmd{0x1D, 0x61, 0xFF};
  s1->hostBytes(cmd.data(), cmd.size());
  s2->hostBytes(cmd.data(), cmd.size());
  EXPECT_EQ(serial.wait(8, 200), (Bytes{1, 2, 3, 0, 0, 0, 0, 0}));
  EXPECT_TRUE(s2->autoStatusOn());
  EXPECT_TRUE(usb.wait(1, 50).empty());
  p.setStatusByte(7, 9);
  EXPECT_EQ(serial.wait(16, 200).size(), 16u);
  EXPECT_TRUE(usb.wait(1, 50).empty());
  p.closeSession(s1);
  p.closeSession(s2);
}

struct FaultCase {
  const char* what;
  Fault kind;
  Bytes expected;  // what the host receives for a read of 34 12
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.what; }

class Faults : public SimSession, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, ReplyGetsTheFaultForCountReplies) {
  const FaultCase& c = GetParam();
  printer.setSetting(0x40, 0x1234);
  printer.setFault({c.kind, 1, 500});
  feed({0x1B, 0x6A, 0x40});
  EXPECT_EQ(host.wait(2, 100), c.expected);
  EXPECT_EQ(session->hungUp(), c.kind == Fault::Hangup);
  if (c.kind == Fault::Hangup) {
    // Nothing more goes out on a dropped connection.
    feed({0x1B, 0x6A, 0x40});
    printer.sendUnsolicited({0x55});
    EXPECT_EQ(host.wait(1, 50), Bytes{});
    return;
  }
  host.take();
  // The fault covered one reply; the next is whole.
  feed({0x1B, 0x6A, 0x40});
  EXPECT_EQ(host.wait(2, 200), (Bytes{0x34, 0x12}));
}

INSTANTIATE_TEST_SUITE_P(Sim, Faults,
                         ::testing::Values(FaultCase{"NoReply", Fault::NoReply, {}},
                                           FaultCase{"ShortReply", Fault::ShortReply, {0x34}},
                                           FaultCase{"Garbage", Fault::Garbage, {0xCB, 0xED}},
                                           FaultCase{"LongReply", Fault::LongReply, {0x34, 0x12, 0x55}},
                                           FaultCase{"EarlyByte", Fault::EarlyByte, {0x01, 0x34, 0x12}},
                                           FaultCase{"Hangup", Fault::Hangup, {}}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(SimSession, LateReplyComesAfterLateMs) {
  printer.setFault({Fault::LateReply, -1, 200});
  uint64_t start = simtest::NowMs();
  std::thread t2([&] { feed({0x1D, 0x72, 0x01}); });
  // Seen within 100 ms only when this thread itself came late (a loaded
  // machine): then the time says whether the reply was early.
  if (!host.wait(1, 100).empty()) {
    EXPECT_GE(simtest::NowMs() - start, 190u);
  }
  EXPECT_EQ(host.wait(1, 2000).size(), 1u);
  EXPECT_GE(simtest::NowMs() - start, 190u);
  t2.join();
}

TEST_F(SimSession, ReplyDelayHoldsTheReply) {
  EXPECT_EQ(SimPrinter().replyDelayMs(), 3);
  printer.setReplyDelayMs(150);
  std::thread t([&] { feed({0x1D, 0x72, 0x01}); });
  EXPECT_TRUE(host.wait(1, 60).empty());
  EXPECT_EQ(host.wait(1, 2000).size(), 1u);
  t.join();
}

TEST_F(SimSession, AddressFaultHitsOnlyThatAddress) {
  printer.setSetting(0x06, 0x0064);
  printer.setSetting(0x02, 0x000A);
  printer.setAddressFault(0x06, {Fault::NoReply, -1, 0});
  feed({0x1B, 0x6A, 0x06, 0x1B, 0x6A, 0x02, 0x1B, 0x6A, 0x06});
  EXPECT_EQ(host.wait(4, 100), (Bytes{0x0A, 0x00}));
  host.take();
  // A general fault does not override the address's own.
  printer.setAddressFault(0x06, {Fault::ShortReply, 1, 0});
  printer.setFault({Fault::Garbage, -1, 0});
  feed({0x1B, 0x6A, 0x06});
  EXPECT_EQ(host.wait(2, 100), (Bytes{0x64}));
  host.take();
  printer.clearFault();
  feed({0x1B, 0x6A, 0x06, 0x1B, 0x6A, 0x02});
  EXPECT_EQ(host.wait(4, 200), (Bytes{0x64, 0x00, 0x0A, 0x00}));
}

// A fault named by bank hits that bank's cell only and goes before a fault
// of the address in both banks, which holds again once its count is spent.
// Replies leave in the order of their requests, so a later answer shows that
// an earlier one was swallowed.
TEST_F(SimSession, BankAddressFaultHitsOnlyThatBank) {
  printer.setSetting(0x10, 0x0201, 1);
  printer.setSetting(0x10, 0x0001, 2);
  printer.setAddressFault(0x10, 2, {Fault::NoReply, 1, 0});
  feed({0x1B, 0x6B, 0x10, 0x1B, 0x6A, 0x10});
  EXPECT_EQ(host.wait(2, 2000), (Bytes{0x01, 0x02}));
  host.take();
  printer.setAddressFault(0x10, {Fault::ShortReply, -1, 0});
  printer.setAddressFault(0x10, 2, {Fault::Garbage, 1, 0});
  feed({0x1B, 0x6B, 0x10, 0x1B, 0x6B, 0x10, 0x1B, 0x6A, 0x10});
  EXPECT_EQ(host.wait(4, 2000), (Bytes{0xFE, 0xFF, 0x01, 0x01}));
}

TEST(SimSessions, UnsolicitedGoesToEveryOpenSession) {
  SimPrinter p;
  Collector a, b;
  auto s1 = p.openSession("tcp", a.sink(), true);
  auto s2 = p.openSession("usb", b.sink(), false);
  p.sendUnsolicited({0xAA, 0xBB});
  EXPECT_EQ(a.wait(2, 200), (Bytes{0xAA, 0xBB}));
  EXPECT_EQ(b.wait(2, 200), (Bytes{0xAA, 0xBB}));
  p.closeSession(s1);
  p.sendUnsolicited({0xCC});
  EXPECT_EQ(a.wait(3, 50).size(), 2u);  // closed: nothing more
  EXPECT_EQ(b.wait(3, 200).size(), 3u);
  p.closeSession(s2);
}

}  // namespace
