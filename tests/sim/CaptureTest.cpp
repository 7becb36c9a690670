// The raw capture of a download: its report (count, checksums, first and
// last bytes), its file, its one log entry per burst, and the bounds on what
// the printer keeps of the host's bytes and of its log.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "Facilities.h"
#include "SimHelpers.h"
#include "sim/Checksums.h"
#include "sim/ConsoleCommands.h"
#include "sim/SimPrinter.h"

using simtest::Bytes;
using simtest::Collector;
using torva::sim::CaptureReport;
using torva::sim::ParseConsoleCommand;
using torva::sim::RunConsoleCommand;
using torva::sim::SimPrinter;

namespace {

// Bytes that hold commands by chance (1B 6A 06 reads a setting), as a
// firmware image does.
Bytes Image(size_t n) {
  Bytes b(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    b[i] = static_cast<uint8_t>(x >> 16);
  }
  if (n > 8) {
    b[3] = 0x1B;
    b[4] = 0x6A;
    b[5] = 0x06;
  }
  return b;
}

std::string Sha(const Bytes& b) {
  torva::sim::Sha256 s;
  s.update(b.data(), b.size());
  return s.hex();
}

TEST(SimChecksums, KnownDigests) {
  struct Case {
    std::string text;
    uint32_t crc;
    const char* sha;
  } const cases[] = {
      {"", 0x00000000u, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", 0x352441C2u, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"123456789", 0xCBF43926u, "15e2b0d3c33891ebb0f1ef609ec419420c20e320ce94c65fbc8c3312448eb225"},
      {std::string(1000, 'a'), 0x9A38DA03u, "41edece42d63e8d9bf515a9ba6932e1c20cbc9f5a5d134645adb5db1b9737ea3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.size());
    const auto* p = reinterpret_cast<const uint8_t*>(c.text.data());
    torva::sim::Crc32 crc;
    crc.update(p, c.text.size());
    EXPECT_EQ(crc.value(), c.crc);
    torva::sim::Sha256 whole;
    whole.update(p, c.text.size());
    EXPECT_EQ(whole.hex(), c.sha);
    // Piece by piece (pieces across the 64-byte blocks) gives the same.
    torva::sim::Sha256 pieces;
    for (size_t at = 0; at < c.text.size(); at += 7) pieces.update(p + at, std::min<size_t>(7, c.text.size() - at));
    EXPECT_EQ(pieces.hex(), c.sha);
  }
}

struct SimCapture : ::testing::Test {
  SimPrinter printer{2};
  Collector host;
  std::shared_ptr<torva::sim::Session> session;
  const std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  simtest::TempDir dir;
  void SetUp() override {
    printer.setReplyDelayMs(0);
    session = printer.openSession("usb", host.sink(), false);
  }
  void TearDown() override { printer.closeSession(session); }
  std::string run(const std::string& line) { return RunConsoleCommand(printer, ParseConsoleCommand(line), start); }
  void feed(const Bytes& b, size_t piece = 1024) {
    for (size_t at = 0; at < b.size(); at += piece)
      session->hostBytes(b.data() + at, std::min(piece, b.size() - at));
  }
};

TEST_F(SimCapture, ReportShowsTheExactSizeAndChecksumsOfADownload) {
  const Bytes image = Image(1 << 20);
  EXPECT_EQ(run("capture raw").rfind("capture raw:", 0), 0u);
  feed(image);
  const CaptureReport r = printer.captureReport();
  EXPECT_TRUE(r.on);
  EXPECT_EQ(r.count, image.size());
  torva::sim::Crc32 crc;
  crc.update(image.data(), image.size());
  EXPECT_EQ(r.crc32, crc.value());
  EXPECT_EQ(r.sha256, Sha(image));
  EXPECT_EQ(r.first, Bytes(image.begin(), image.begin() + 16));
  EXPECT_EQ(r.last, Bytes(image.end() - 16, image.end()));
  EXPECT_TRUE(host.take().empty()) << "nothing is answered, the setting read inside the image neither";

  const std::string text = run("capture report");
  // (How many bursts depends on how quickly the pieces came.)
  EXPECT_EQ(text.rfind("capture: on, 1048576 bytes in ", 0), 0u) << text;
  EXPECT_NE(text.find("SHA-256 " + Sha(image) + "\n"), std::string::npos) << text;
  char crcText[16];
  std::snprintf(crcText, sizeof crcText, "%08X", crc.value());
  EXPECT_NE(text.find(std::string("CRC-32  ") + crcText + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("first   " + torva::sim::FormatHex(r.first) + "\n"), std::string::npos) << text;
  EXPECT_NE(text.find("last    " + torva::sim::FormatHex(r.last) + "\n"), std::string::npos) << text;

  // Back to commands: the capture ends and its report stays; the next
  // capture counts from zero.
  const std::string back = run("capture commands");
  EXPECT_NE(back.find("capture: ended, 1048576 bytes"), std::string::npos) << back;
  run("capture raw");
  feed({1, 2, 3});
  EXPECT_EQ(printer.captureReport().count, 3u);
  EXPECT_EQ(printer.captureReport().first, (Bytes{1, 2, 3}));
}

TEST_F(SimCapture, SaveWritesEveryByteToTheFile) {
  const std::string path = dir.path + "/got.bin";
  const Bytes image = Image(300000);
  const std::string said = run("capture save " + path);
  EXPECT_EQ(said.rfind("capture save: every byte taken goes to " + path, 0), 0u) << said;
  EXPECT_TRUE(printer.rawCapture());
  feed(image, 4096);
  EXPECT_NE(run("capture report").find("saved to " + path + "\n"), std::string::npos);
  {
    // The report flushed the file: it holds the download so far.
    std::ifstream in(path, std::ios::binary);
    const Bytes onDisk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(onDisk, image);
  }
  feed({0xAA});
  run("capture commands");  // closes the file
  std::ifstream in(path, std::ios::binary);
  const Bytes onDisk((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(onDisk.size(), image.size() + 1);
  EXPECT_EQ(onDisk.back(), 0xAA);

  // A file that cannot be made is said so, and the printer goes on as it was.
  EXPECT_EQ(run("capture save " + dir.path + "/no/such/dir/x.bin").rfind("capture save: cannot write", 0), 0u);
  EXPECT_FALSE(printer.rawCapture());
}

TEST_F(SimCapture, AFileThatTakesNoByteIsReported) {
  // /dev/full opens and takes every write into the stdio buffer, then fails
  // each flush with ENOSPC: a few bytes fail only when the report flushes
  // them, a larger piece already as it is written.
  TORVA_REQUIRE_FACILITY(access("/dev/full", W_OK) != 0 ? "no writable /dev/full" : "");
  for (const size_t size : {size_t{3}, size_t{300000}}) {
    SCOPED_TRACE(size);
    EXPECT_EQ(run("capture save /dev/full").rfind("capture save: every byte taken goes to /dev/full", 0), 0u);
    feed(Image(size), 4096);
    const std::string failed = "saved to /dev/full (writing it failed: " + std::string(std::strerror(ENOSPC)) + ")\n";
    EXPECT_NE(run("capture report").find(failed), std::string::npos) << run("capture report");
    EXPECT_EQ(printer.captureReport().count, size) << "the count and checksums go on without the file";
    // Still said when the capture ends.
    EXPECT_NE(run("capture commands").find(failed), std::string::npos);
  }
}

TEST_F(SimCapture, EachBurstIsOneLogLine) {
  std::vector<std::string> lines;
  std::mutex mu;
  std::condition_variable cv;
  printer.setFrameObserver([&](const torva::sim::LogEntry& e) {
    std::lock_guard<std::mutex> lock(mu);
    lines.push_back(torva::sim::FormatLogEntry(e, start, 64));
    cv.notify_all();
  });
  run("capture raw");
  const Bytes image = Image(50000);
  feed(image, image.size());  // one piece: one burst, however slow the machine
  // The burst's line comes when the bytes have paused.
  {
    std::unique_lock<std::mutex> lock(mu);
    ASSERT_TRUE(cv.wait_for(lock, std::chrono::seconds(10), [&] { return !lines.empty(); }));
  }
  feed({0x1B, 0x40});
  run("capture commands");  // ends the second burst at once
  printer.setFrameObserver({});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("usb    <- Capture          50000 bytes: " +
                          torva::sim::FormatHex(Bytes(image.begin(), image.begin() + 16)) + " ..."),
            std::string::npos)
      << lines[0];
  EXPECT_NE(lines[0].find("(capture so far 50000 bytes, CRC-32 "), std::string::npos) << lines[0];
  EXPECT_NE(lines[1].find("Capture          2 bytes: 1B 40 (capture so far 50002 bytes"), std::string::npos)
      << lines[1];
  EXPECT_EQ(printer.log("Capture").size(), 2u);
  EXPECT_EQ(printer.captureReport().bursts, 2);
  // The console's log shows them too.
  EXPECT_NE(run("log 2").find("Capture          50000 bytes"), std::string::npos);
}

TEST_F(SimCapture, WhatThePrinterKeepsIsBounded) {
  // 6 MiB as print data (parsed and logged) and 6 MiB raw: the count and the
  // capture see every byte; what is kept of them stays within the bounds.
  const Bytes data = Image(6 << 20);
  feed(data, 4096);
  EXPECT_EQ(printer.receivedCount(), data.size());
  const Bytes kept = printer.receivedBytes();
  EXPECT_EQ(kept.size() >= SimPrinter::kReceivedKept && kept.size() < 2 * SimPrinter::kReceivedKept, true)
      << kept.size();
  EXPECT_TRUE(std::equal(kept.begin(), kept.end(), data.end() - static_cast<std::ptrdiff_t>(kept.size())))
      << "the last bytes are the ones kept";
  const auto log = printer.log();
  size_t frameBytes = 0;
  for (const auto& e : log) frameBytes += e.frame.size();
  EXPECT_LE(log.size(), SimPrinter::kLogEntriesKept);
  EXPECT_LE(frameBytes, SimPrinter::kLogBytesKept);
  EXPECT_GT(printer.logForgotten(), 0u);
  EXPECT_NE(run("log 100000").find("earlier frames forgotten)"), std::string::npos);

  run("capture raw");
  feed(data, 1024);
  EXPECT_EQ(printer.captureReport().count, data.size());
  EXPECT_EQ(printer.captureReport().sha256, Sha(data));
  EXPECT_EQ(printer.receivedCount(), 2 * data.size());
  EXPECT_LT(printer.receivedBytes().size(), 2 * SimPrinter::kReceivedKept);
  EXPECT_LE(printer.log().size(), SimPrinter::kLogEntriesKept);
  printer.clearLog();
  EXPECT_EQ(printer.receivedCount(), 0u);
  EXPECT_EQ(printer.logForgotten(), 0u);
}

}  // namespace
