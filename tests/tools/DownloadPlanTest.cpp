// The download's widget-free parts: the block planner, the progress scale,
// the extension and the success message it chooses, and the transfer itself
// reading a file larger than 4 GiB by its whole size.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <climits>

#include "link/LPTUnit.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "tools/FirmwareUpdateThread.h"

using torva::tools::BlockPlan;
using torva::tools::DownloadSuccessText;
using torva::tools::ExtensionOf;
using torva::tools::PlanBlocks;
using torva::tools::ScaleProgress;

namespace {

TEST(DownloadPlan, BlocksOf1024ThenTheRemainder) {
  struct Case {
    uint64_t size;
    std::vector<int> lengths;
    std::vector<uint64_t> positions;
  };
  const Case cases[] = {
      {0, {}, {}},
      {1, {1}, {1}},
      {1023, {1023}, {1023}},
      {1024, {1024}, {1024}},
      {1025, {1024, 1}, {1024, 1025}},
      {3 * 1024 + 5, {1024, 1024, 1024, 5}, {1024, 2048, 3072, 3077}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const BlockPlan p = PlanBlocks(c.size);
    std::vector<int> lengths;
    std::vector<uint64_t> positions;
    for (uint64_t k = 0; k < p.blockCount(); ++k) {
      lengths.push_back(p.blockLength(k));
      positions.push_back(p.positionAfter(k));
    }
    EXPECT_EQ(lengths, c.lengths);
    EXPECT_EQ(positions, c.positions);
  }
  // Sizes past 4 GiB are planned whole, not by their low 32 bits.
  const uint64_t big = (uint64_t{5} << 32) + 7;
  const BlockPlan p = PlanBlocks(big);
  EXPECT_EQ(p.fullBlocks, big / 1024);
  EXPECT_EQ(p.tail, 7u);
  EXPECT_EQ(p.positionAfter(p.blockCount() - 1), big);
}

TEST(DownloadPlan, ProgressScaleFitsTheBar) {
  EXPECT_EQ(ScaleProgress(0).maximum, 1);  // an empty bar, not a busy one
  EXPECT_EQ(ScaleProgress(3077).maximum, 3077);
  EXPECT_EQ(ScaleProgress(3077).value(1024), 1024);
  EXPECT_EQ(ScaleProgress(INT_MAX).maximum, INT_MAX);
  for (uint64_t size : {uint64_t{INT_MAX} + 1, uint64_t{1} << 40, (uint64_t{1} << 62) + 12345}) {
    SCOPED_TRACE(size);
    const auto s = ScaleProgress(size);
    EXPECT_GT(s.maximum, INT_MAX / 2);
    EXPECT_EQ(s.value(size), s.maximum);
    EXPECT_EQ(s.value(0), 0);
    EXPECT_LE(s.value(size / 2), s.maximum / 2 + 1);
  }
}

TEST(DownloadPlan, SuccessTextByExtensionWithoutRegardToCase) {
  struct Case {
    const char* file;
    const char* extension;
    const char* english;
    const char* chinese;
  };
  const char* reopen = "Download Success!Please reopen the port!";
  const char* repower = "Download Success!Please Repower the printer!";
  const Case cases[] = {
      {"/f/firm.jk", ".jk", reopen, "下载成功！请重新打开端口！"},
      {"/f/FIRM.JK", ".JK", reopen, "下载成功！请重新打开端口！"},
      {"/f/set.eep", ".eep", repower, "下载成功！请给打印机重新上电！"},
      {"/f/SET.EEP", ".EEP", repower, "下载成功！请给打印机重新上电！"},
      {"/f/MAIN.DAT", ".DAT", "Download Success!", "下载成功！"},
      {"/f/GB.ZK", ".ZK", "Download Success!", "下载成功！"},
      {"/f/A.FNT", ".FNT", "Download Success!", "下载成功！"},
      {"/f.d/image", "", "Download Success!", "下载成功！"},
      {"/f/firm.jk.bak", ".bak", "Download Success!", "下载成功！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(ExtensionOf(c.file), c.extension);
    EXPECT_EQ(DownloadSuccessText(ExtensionOf(c.file)).english, c.english);
    EXPECT_EQ(DownloadSuccessText(ExtensionOf(c.file)).chinese, c.chinese);
  }
}

// A sparse file of 4 GiB and 5 bytes into a file standing for the parallel
// port: the transfer goes by the whole size (blocks of 1024), not by its low
// 32 bits (5 bytes and done). It is given up after three blocks.
TEST(DownloadFile, ReadsAFileLargerThan4GiBByItsWholeSize) {
  char tmpl[] = "/tmp/torva-download-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::string image = dir + "/big.DAT", port = dir + "/lpt";
  const int fd = ::open(image.c_str(), O_CREAT | O_WRONLY, 0600);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::ftruncate(fd, (off_t{1} << 32) + 5), 0);
  ::close(fd);
  ::close(::open(port.c_str(), O_CREAT | O_WRONLY, 0600));
  ResetPortState();
  setenv("TORVA_LPT1", port.c_str(), 1);
  PortType = PortLPT;
  std::atomic<bool> abandon{false};
  std::vector<uint64_t> positions;
  const bool ok = torva::tools::DownloadFile(image, PortLPT, [&](uint64_t p) {
    positions.push_back(p);
    if (positions.size() == 3) abandon = true;
  }, &abandon);
  EXPECT_FALSE(ok);
  EXPECT_EQ(positions, (std::vector<uint64_t>{1024, 2048, 3072}));
  EXPECT_EQ(LPTParameter.m_hdev, -1);  // a failure closes the port
  unsetenv("TORVA_LPT1");
  ResetPortState();
  QDir(QString::fromStdString(dir)).removeRecursively();
}

}  // namespace

namespace {

// A file that shrinks while it is sent: a failure, not a short block sent as
// if whole. The change is seen at the next read of the file (before a block
// that found too few bytes), so what went out is the file's beginning only.
TEST(DownloadFile, AFileThatShrinksMidwayFails) {
  char tmpl[] = "/tmp/torva-download-XXXXXX";
  ASSERT_NE(mkdtemp(tmpl), nullptr);
  const std::string dir = tmpl;
  const std::string image = dir + "/shrinks.DAT", port = dir + "/lpt";
  std::vector<uint8_t> bytes(100 * 1024);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  FILE* f = std::fopen(image.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  ::close(::open(port.c_str(), O_CREAT | O_WRONLY, 0600));
  ResetPortState();
  setenv("TORVA_LPT1", port.c_str(), 1);
  PortType = PortLPT;
  const off_t shrunk = 70000;
  std::vector<uint64_t> positions;
  const bool ok = torva::tools::DownloadFile(image, PortLPT, [&](uint64_t p) {
    if (positions.empty()) {
      EXPECT_EQ(::truncate(image.c_str(), shrunk), 0);
    }
    positions.push_back(p);
  });
  EXPECT_FALSE(ok);
  // Whole blocks of the file's beginning went out, and nothing after them.
  ASSERT_FALSE(positions.empty());
  EXPECT_LE(positions.back(), static_cast<uint64_t>(shrunk / 1024 * 1024));
  EXPECT_EQ(LPTParameter.m_hdev, -1);
  FILE* sent = std::fopen(port.c_str(), "rb");
  ASSERT_NE(sent, nullptr);
  std::vector<uint8_t> got(bytes.size());
  got.resize(std::fread(got.data(), 1, got.size(), sent));
  std::fclose(sent);
  EXPECT_EQ(got, std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<long>(positions.back())));
  unsetenv("TORVA_LPT1");
  ResetPortState();
  QDir(QString::fromStdString(dir)).removeRecursively();
}

}  // namespace
