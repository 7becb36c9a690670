// One-shot sends on a spooler queue: each command goes out as one RAW
// document, byte for byte, through a private cupsd whose queue's device is
// the simulated printer's TCP port.
#include <chrono>
#include <thread>

#include "Facilities.h"
#include "ShellFixture.h"
#include "sim/SimPrinter.h"

// The private cupsd of the link tests, shared rather than copied.
#include "../link/CupsTestServer.cpp"  // NOLINT(bugprone-suspicious-include)

using shelltest::ShellTest;

TEST_F(ShellTest, SpoolerQueueGetsEachCommandAsOneRawDocument) {
  torva::test::CupsTestServer cups;
  const std::string why = cups.start();
  TORVA_REQUIRE_FACILITY(why.empty() ? why : "no private cupsd here: " + why);
  torva::sim::SimPrinter printer;
  const int port = printer.startTcp(0);
  ASSERT_GT(port, 0);
  ASSERT_EQ(cups.addRawQueue("torva", "socket://127.0.0.1:" + std::to_string(port)), "");

  TMainForm& form = Open();
  DriverParameter.DriverName = "torva";
  PortType = PortDriver;
  form.CutMenuClick();
  form.FeedPaperMenuClick();
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(DriverParameter.hPrinter, -1);  // closed after each send
  ASSERT_TRUE(cups.waitIdle("torva", 20000));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (printer.receivedBytes().size() < 5 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(printer.receivedBytes(), torva::sim::Bytes({0x1D, 0x56, 0x42, 0x10, 0x0A}));
  EXPECT_EQ(cups.jobs("torva").size(), 2u);

  // A queue that does not exist cannot be opened.
  DriverParameter.DriverName = "missing";
  form.FeedPaperMenuClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "打开端口失败！");
  EXPECT_EQ(DriverParameter.hPrinter, -1);
}
