// The spooler road against a real, private cupsd: raw queues whose device is
// socket://127.0.0.1:PORT, where a loopback printer records every job's
// bytes. One cupsd serves every test of this suite in a process.
#include <cups/cups.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "CupsTestServer.h"
#include "Facilities.h"
#include "link/DriverUnit.h"
#include "sim/SimPrinter.h"

using torva::test::Bytes;
using torva::test::CupsTestServer;
using torva::test::LoopbackPrinter;

namespace {

constexpr int kJobWaitMs = 10000;

class SpoolerTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    server_ = new CupsTestServer;
    skipReason_ = server_->start();
  }
  static void TearDownTestSuite() {
    delete server_;  // stops cupsd by its process id and removes its folder
    server_ = nullptr;
  }

  void SetUp() override {
    if (!skipReason_.empty()) {
      if (torva::test::FacilitiesRequired()) FAIL() << "no private cupsd (required with TORVA_CI): " << skipReason_;
      GTEST_SKIP() << "no private cupsd: " << skipReason_;
    }
    printer_ = std::make_unique<LoopbackPrinter>();
    ASSERT_GT(printer_->port(), 0);
    queue_ = std::string("torva_") + ::testing::UnitTest::GetInstance()->current_test_info()->name();
    const std::string error =
        server_->addRawQueue(queue_, "socket://127.0.0.1:" + std::to_string(printer_->port()));
    ASSERT_EQ(error, "");
  }

  void TearDown() override {
    if (server_ && server_->running() && !queue_.empty()) server_->removeQueue(queue_);
  }

  // Waits until the queue is idle and the printer has seen `documents`
  // finished connections.
  void WaitForDocuments(size_t documents) {
    EXPECT_TRUE(server_->waitIdle(queue_, kJobWaitMs));
    EXPECT_TRUE(printer_->waitForClosed(documents, kJobWaitMs));
  }

  std::vector<CupsTestServer::Job> Jobs() const { return server_->jobs(queue_); }

  static CupsTestServer* server_;
  static std::string skipReason_;
  std::unique_ptr<LoopbackPrinter> printer_;
  std::string queue_;
};

CupsTestServer* SpoolerTest::server_ = nullptr;
std::string SpoolerTest::skipReason_;

Bytes Pattern(size_t n) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + i / 251) & 0xFF);
  return b;
}

TEST_F(SpoolerTest, ListsTheQueuesAndOpensOnlyKnownOnes) {
  const std::vector<std::string> queues = EnumPrinterQueues();
  EXPECT_NE(std::find(queues.begin(), queues.end(), queue_), queues.end());

  const int handle = OpenPrinterDriver(queue_);
  EXPECT_GT(handle, 0);
  EXPECT_EQ(OpenPrinterDriver("no_such_queue"), -1);
  EXPECT_EQ(OpenPrinterDriver(""), -1);
  EXPECT_TRUE(ClosePrinterDriver(handle));
  EXPECT_TRUE(ClosePrinterDriver(-1));
  EXPECT_TRUE(Jobs().empty());  // opening and closing print nothing
}

TEST_F(SpoolerTest, EachWriteIsOneRawDocumentPassedByteForByte) {
  const std::vector<Bytes> documents = {
      {0x1D, 0x72, 0x01},
      {0x00, 0x0A, 0x1B, 0x40, 0xFF, 0x0D, 0x0A, 0x00},  // zero bytes, line ends and FF stay as they are
      Pattern(100000),
  };
  const int handle = OpenPrinterDriver(queue_);
  ASSERT_GT(handle, 0);
  for (const Bytes& d : documents) {
    EXPECT_EQ(WritePrinterDriver(handle, d.data(), static_cast<int>(d.size())), static_cast<int>(d.size()));
  }
  EXPECT_TRUE(ClosePrinterDriver(handle));

  WaitForDocuments(documents.size());
  const std::vector<Bytes> got = printer_->connections();
  ASSERT_EQ(got.size(), documents.size());
  for (size_t i = 0; i < documents.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(got[i], documents[i]);
  }
  const auto jobs = Jobs();
  ASSERT_EQ(jobs.size(), documents.size());
  for (const auto& j : jobs) {
    EXPECT_EQ(j.state, IPP_JSTATE_COMPLETED);
    EXPECT_EQ(j.title, "VD-N512 Print Document");
  }
}

TEST_F(SpoolerTest, ZeroLengthWriteAnswersZeroAndSendsNothing) {
  // CUPS takes no empty document, so an empty command makes no job at all.
  const int handle = OpenPrinterDriver(queue_);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(WritePrinterDriver(handle, nullptr, 0), 0);
  const Bytes after = {0x0A};
  EXPECT_EQ(WritePrinterDriver(handle, after.data(), 1), 1);  // the handle still works
  EXPECT_TRUE(ClosePrinterDriver(handle));

  WaitForDocuments(1);
  const auto jobs = Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);
  EXPECT_EQ(printer_->connections(), std::vector<Bytes>{after});
}

TEST_F(SpoolerTest, BlockWiseDownloadIsOneDocument) {
  const Bytes firmware = Pattern(5 * 1024 + 300);
  const int handle = OpenPrinterDriver(queue_);
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(StartDocAndPage(handle));
  for (size_t at = 0; at < firmware.size(); at += 1024) {
    const int n = static_cast<int>(std::min<size_t>(1024, firmware.size() - at));
    ASSERT_EQ(FirmwareDownload(handle, firmware.data() + at, n), n);
  }
  EXPECT_EQ(FirmwareDownload(handle, firmware.data(), 0), 0);  // an empty block ends nothing
  ASSERT_TRUE(EndPageAndDoc(handle));
  // The document was ended once; a second end finds none and closes the handle.
  EXPECT_FALSE(EndPageAndDoc(handle));
  EXPECT_EQ(WritePrinterDriver(handle, firmware.data(), 1), -1);
  EXPECT_TRUE(ClosePrinterDriver(handle));

  WaitForDocuments(1);
  ASSERT_EQ(printer_->connections().size(), 1u);
  EXPECT_EQ(printer_->connections()[0], firmware);
  const auto jobs = Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_COMPLETED);
}

TEST_F(SpoolerTest, BrokenOffDownloadIsCancelledNotPrinted) {
  const Bytes block = Pattern(2048);
  const int handle = OpenPrinterDriver(queue_);
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(StartDocAndPage(handle));
  ASSERT_EQ(FirmwareDownload(handle, block.data(), 2048), 2048);
  EXPECT_TRUE(ClosePrinterDriver(handle));  // the download stops without its end
  EXPECT_TRUE(ClosePrinterDriver(handle));  // a second close does nothing

  EXPECT_TRUE(server_->waitIdle(queue_, kJobWaitMs));
  const auto jobs = Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_CANCELED);
  EXPECT_EQ(printer_->accepted(), 0u);
}

TEST_F(SpoolerTest, RefusedBlockCancelsItsJob) {
  // The private cupsd takes requests of up to 1 MiB; a larger download fails
  // part way, and its job is cancelled rather than left half open.
  const Bytes block = Pattern(64 * 1024);
  const int handle = OpenPrinterDriver(queue_);
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(StartDocAndPage(handle));
  int failedAt = -1;
  for (int i = 0; i < 256 && failedAt < 0; ++i) {
    if (FirmwareDownload(handle, block.data(), static_cast<int>(block.size())) < 0) failedAt = i;
  }
  ASSERT_GE(failedAt, 0) << "the spooler took 16 MiB in one request";
  // The job is gone with the failure: no document is open any more.
  EXPECT_EQ(FirmwareDownload(handle, block.data(), 1), -1);
  EXPECT_FALSE(EndPageAndDoc(handle));
  EXPECT_TRUE(ClosePrinterDriver(handle));

  EXPECT_TRUE(server_->waitIdle(queue_, kJobWaitMs));
  const auto jobs = Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_CANCELED);
  EXPECT_EQ(printer_->accepted(), 0u);

  // The handle's connection was replaced: the next command prints.
  const int next = OpenPrinterDriver(queue_);
  ASSERT_GT(next, 0);
  const Bytes data = {0x1B, 0x40};
  EXPECT_EQ(WritePrinterDriver(next, data.data(), 2), 2);
  EXPECT_TRUE(ClosePrinterDriver(next));
  WaitForDocuments(1);
  EXPECT_EQ(printer_->allBytes(), data);
}

TEST_F(SpoolerTest, DocumentCallsOutOfOrderFailAndCloseTheHandle) {
  const Bytes block = {0x41, 0x42};
  // A block without an open document is refused; the handle stays usable.
  int handle = OpenPrinterDriver(queue_);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(FirmwareDownload(handle, block.data(), 2), -1);
  EXPECT_EQ(FirmwareDownload(handle, block.data(), -1), -1);
  // Ending a document that was never started fails and closes the handle.
  EXPECT_FALSE(EndPageAndDoc(handle));
  EXPECT_FALSE(StartDocAndPage(handle));
  EXPECT_TRUE(ClosePrinterDriver(handle));

  // A second start while a document is open fails; the open one is
  // cancelled with the handle, not left behind.
  handle = OpenPrinterDriver(queue_);
  ASSERT_GT(handle, 0);
  ASSERT_TRUE(StartDocAndPage(handle));
  EXPECT_FALSE(StartDocAndPage(handle));
  EXPECT_EQ(FirmwareDownload(handle, block.data(), 2), -1);
  EXPECT_TRUE(ClosePrinterDriver(handle));

  EXPECT_TRUE(server_->waitIdle(queue_, kJobWaitMs));
  const auto jobs = Jobs();
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].state, IPP_JSTATE_CANCELED);
  EXPECT_EQ(printer_->accepted(), 0u);
}

TEST_F(SpoolerTest, FailedDocumentClosesTheHandleOnceAndNeverAnother) {
  const int stale = OpenPrinterDriver(queue_);
  ASSERT_GT(stale, 0);
  // The queue goes away: the document cannot start, and the handle is closed.
  ASSERT_EQ(server_->removeQueue(queue_), "");
  const Bytes data = {0x0A};
  EXPECT_EQ(WritePrinterDriver(stale, data.data(), 1), -1);
  EXPECT_FALSE(StartDocAndPage(stale));

  // A new handle is never the old number, so the caller's late close of the
  // failed handle cannot reach it.
  ASSERT_EQ(server_->addRawQueue(queue_, "socket://127.0.0.1:" + std::to_string(printer_->port())), "");
  const int fresh = OpenPrinterDriver(queue_);
  ASSERT_GT(fresh, 0);
  EXPECT_NE(fresh, stale);
  EXPECT_TRUE(ClosePrinterDriver(stale));
  EXPECT_EQ(WritePrinterDriver(fresh, data.data(), 1), 1);
  EXPECT_TRUE(ClosePrinterDriver(fresh));
  WaitForDocuments(1);
  EXPECT_EQ(printer_->allBytes(), data);
}

TEST_F(SpoolerTest, WriteRefusesBadArgumentsWithoutAJob) {
  const int handle = OpenPrinterDriver(queue_);
  ASSERT_GT(handle, 0);
  const Bytes data = {0x0A};
  EXPECT_EQ(WritePrinterDriver(handle, data.data(), -1), -1);
  EXPECT_EQ(WritePrinterDriver(handle, nullptr, 4), -1);
  EXPECT_EQ(WritePrinterDriver(handle + 1000, data.data(), 1), -1);
  EXPECT_TRUE(ClosePrinterDriver(handle));
  EXPECT_TRUE(Jobs().empty());
}

TEST_F(SpoolerTest, SimulatedPrinterReceivesExactlyTheDocuments) {
  // The same road with the simulated printer behind the queue's device.
  torva::sim::SimPrinter sim(2);
  const int port = sim.startTcp(0);
  ASSERT_GT(port, 0);
  const std::string queue = queue_ + "_sim";
  ASSERT_EQ(server_->addRawQueue(queue, "socket://127.0.0.1:" + std::to_string(port)), "");

  const Bytes feed = {0x0A};
  const Bytes status = {0x1D, 0x72, 0x01};
  const Bytes block = Pattern(3000);
  const int handle = OpenPrinterDriver(queue);
  ASSERT_GT(handle, 0);
  EXPECT_EQ(WritePrinterDriver(handle, feed.data(), 1), 1);
  EXPECT_EQ(WritePrinterDriver(handle, status.data(), 3), 3);
  ASSERT_TRUE(StartDocAndPage(handle));
  EXPECT_EQ(FirmwareDownload(handle, block.data(), 1000), 1000);
  EXPECT_EQ(FirmwareDownload(handle, block.data() + 1000, 2000), 2000);
  ASSERT_TRUE(EndPageAndDoc(handle));
  EXPECT_TRUE(ClosePrinterDriver(handle));

  EXPECT_TRUE(server_->waitIdle(queue, kJobWaitMs));
  Bytes expected = feed;
  expected.insert(expected.end(), status.begin(), status.end());
  expected.insert(expected.end(), block.begin(), block.end());
  for (int i = 0; i < 500 && sim.receivedBytes().size() < expected.size(); ++i) ::usleep(10000);
  EXPECT_EQ(sim.receivedBytes(), expected);
  const auto jobs = server_->jobs(queue);
  ASSERT_EQ(jobs.size(), 3u);
  for (const auto& j : jobs) EXPECT_EQ(j.state, IPP_JSTATE_COMPLETED);
  server_->removeQueue(queue);
  sim.stop();
}

TEST(SpoolerNoServer, NothingOpensWhenTheSpoolerIsUnreachable) {
  const std::string saved = cupsServer();
  const std::string dead = "/tmp/torva-no-cupsd-" + std::to_string(::getpid()) + ".sock";
  cupsSetServer(dead.c_str());
  EXPECT_TRUE(EnumPrinterQueues().empty());
  EXPECT_EQ(OpenPrinterDriver("any_queue"), -1);
  EXPECT_TRUE(ClosePrinterDriver(-1));
  EXPECT_EQ(WritePrinterDriver(-1, nullptr, 0), -1);
  EXPECT_FALSE(StartDocAndPage(-1));
  cupsSetServer(saved.c_str());
}

}  // namespace
