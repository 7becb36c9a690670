// The printer-information queries, the bundler wait time and the raw capture
// of a download, through a session fed directly.
#include <gtest/gtest.h>

#include "SimHelpers.h"
#include "sim/ConsoleCommands.h"
#include "sim/SimPrinter.h"

using simtest::Bytes;
using simtest::Collector;
using torva::sim::SimPrinter;

namespace {

struct SimInformation : ::testing::Test {
  SimPrinter printer{2};
  Collector host;
  std::shared_ptr<torva::sim::Session> session;
  void SetUp() override {
    printer.setReplyDelayMs(0);
    session = printer.openSession("serial", host.sink(), true);
  }
  void TearDown() override { printer.closeSession(session); }
  void feed(const Bytes& b) { session->hostBytes(b.data(), b.size()); }
  Bytes ask(const Bytes& query, size_t n) {
    host.take();
    feed(query);
    return host.wait(n, 2000);
  }
};

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST_F(SimInformation, VersionAndNameAreTextsWithAZeroWithinTheirLimits) {
  struct Case {
    const char* version;
    const char* name;
    Bytes versionReply;
    Bytes nameReply;
  };
  const Case cases[] = {
      {"V1.02.3", "", Text(std::string("V1.02.3") + '\0'), Text(std::string("VD-M512II") + '\0')},
      // Cut to nine and nineteen characters, so that the 00 still fits.
      {"V1234567890", "A printer name that is long", Text(std::string("V12345678") + '\0'),
       Text(std::string("A printer name that") + '\0')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    printer.setFirmwareVersion(c.version);
    printer.setPrinterName(c.name);
    EXPECT_EQ(ask({0x1D, 0x49, 0x44}, c.versionReply.size()), c.versionReply);
    EXPECT_EQ(ask({0x1D, 0x49, 0x99}, c.nameReply.size()), c.nameReply);
  }
}

TEST_F(SimInformation, ExtendedVersionHasTheVersionAtSixteen) {
  printer.setFirmwareVersion("V9.87.6-beta");
  const Bytes reply = ask({0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x35}, 25);
  ASSERT_EQ(reply.size(), 25u);
  EXPECT_EQ(std::string(reply.begin() + 15, reply.begin() + 22), "V9.87.6");
  EXPECT_EQ(reply[22], 0x00);
  EXPECT_EQ(std::count(reply.begin(), reply.begin() + 15, 0x00), 0);
  EXPECT_EQ(printer.log().back().name, "ExtendedVersion");
}

TEST_F(SimInformation, BundlerWaitTimeStoresThePresenterWaitTime) {
  feed({0x1B, 0x63, 0x39, 0xF0, 0x0A});
  std::vector<std::string> names;
  for (const auto& e : printer.log()) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"BundlerWaitTime", "FeedLine"}));
  EXPECT_EQ(printer.setting(0x3C), 0xF0);
  // A 0A as the wait time is the value, not a line feed.
  feed({0x1B, 0x63, 0x39, 0x0A});
  EXPECT_EQ(printer.setting(0x3C), 0x0A);
  EXPECT_EQ(ask({0x1B, 0x6A, 0x3C}, 2), (Bytes{0x0A, 0x00}));
}

TEST_F(SimInformation, RawCaptureRecordsBytesAndAnswersNothing) {
  printer.setRawCapture(true);
  const Bytes image = {0x1B, 0x6A, 0x06, 0x1D, 0x49, 0x44, 0x1B, 0x63, 0x39, 0x05, 0x00, 0xFF};
  feed(Bytes(image.begin(), image.begin() + 5));
  feed(Bytes(image.begin() + 5, image.end()));
  EXPECT_EQ(printer.receivedBytes(), image);
  // No frame is parsed: the log holds at most the burst's own entry.
  for (const auto& e : printer.log()) EXPECT_EQ(e.name, "Capture");
  EXPECT_TRUE(host.wait(1, 50).empty());
  EXPECT_NE(printer.setting(0x3C), 0x05);
  // Switched back, the printer parses and answers again.
  printer.setRawCapture(false);
  EXPECT_EQ(ask({0x1D, 0x49, 0x44}, 8), Text(std::string("V1.02.3") + '\0'));
}

TEST(SimInformationConsole, CaptureAndVersionCommands) {
  SimPrinter printer{2};
  const auto start = std::chrono::steady_clock::now();
  auto run = [&](const char* line) {
    return torva::sim::RunConsoleCommand(printer, torva::sim::ParseConsoleCommand(line), start);
  };
  EXPECT_EQ(run("capture raw"),
            "capture raw: bytes are counted, nothing is parsed or answered (capture report shows them)\n");
  EXPECT_TRUE(printer.rawCapture());
  // Ending a capture shows what it took.
  EXPECT_EQ(run("CAPTURE Commands").rfind("capture commands: frames are parsed and answered; the capture ended:\n"
                                          "capture: ended, 0 bytes in 0 bursts\n",
                                          0),
            0u);
  EXPECT_FALSE(printer.rawCapture());
  EXPECT_EQ(run("capture commands"), "capture commands: frames are parsed and answered\n");
  EXPECT_EQ(run("version V3.00.1"), "firmware version V3.00.1\n");
  EXPECT_EQ(printer.firmwareVersion(), "V3.00.1");
  for (const char* bad : {"capture", "capture all", "capture raw now", "version", "version a b"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(torva::sim::ParseConsoleCommand(bad).kind, torva::sim::ConsoleCommand::Kind::Error);
  }
}

}  // namespace
