// The download's widget-free parts: the block planner, the progress scale,
// the extension and the success message it chooses, and the transfer itself:
// the largest file it takes, by the file's whole size, and a file that
// changes while it is read.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
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

// A folder with a file standing for the parallel port (LPT1), the port
// state reset around it.
class DownloadFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torva-download-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    port = dir + "/lpt";
    ::close(::open(port.c_str(), O_CREAT | O_WRONLY, 0600));
    ResetPortState();
    setenv("TORVA_LPT1", port.c_str(), 1);
    PortType = PortLPT;
  }
  void TearDown() override {
    unsetenv("TORVA_LPT1");
    ResetPortState();
    QDir(QString::fromStdString(dir)).removeRecursively();
  }
  // What the port received.
  off_t PortSize() const {
    struct stat st {};
    return ::stat(port.c_str(), &st) == 0 ? st.st_size : -1;
  }

  std::string dir, port;
};

// A file larger than the download takes is refused before the port is
// opened, by its whole size: 4 GiB and 5 bytes is not taken for its low 32
// bits (5 bytes). One of exactly the largest size is sent whole. The files
// are sparse.
TEST_F(DownloadFileTest, AFileLargerThanTheDownloadTakesIsRefusedBeforeThePortOpens) {
  const uint64_t max = torva::tools::kDownloadMaxBytes;
  struct Case {
    uint64_t size;
    bool sent;
  } cases[] = {{max + 1, false}, {(uint64_t{1} << 32) + 5, false}, {max, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    const std::string image = dir + "/big.DAT";
    ::close(::open(image.c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0600));
    ASSERT_EQ(::truncate(image.c_str(), static_cast<off_t>(c.size)), 0);
    ASSERT_EQ(::truncate(port.c_str(), 0), 0);
    uint64_t blocks = 0, last = 0;
    const bool ok = torva::tools::DownloadFile(image, PortLPT, [&](uint64_t p) {
      ++blocks;
      last = p;
    });
    EXPECT_EQ(ok, c.sent);
    EXPECT_EQ(blocks, c.sent ? c.size / 1024 : 0);
    EXPECT_EQ(last, c.sent ? c.size : 0);
    EXPECT_EQ(PortSize(), c.sent ? static_cast<off_t>(c.size) : 0);
    if (!c.sent) {
      EXPECT_EQ(LPTParameter.m_hdev, -1);  // never opened
    }
    torva::link::CloseEveryOpenPort();
  }
}

// A file that shrinks while it is read, before anything is sent: the read
// comes up short, and the download fails with the port never opened.
TEST_F(DownloadFileTest, AFileThatShrinksWhileItIsReadFailsBeforeThePortOpens) {
  const std::string image = dir + "/shrinks.DAT";
  std::vector<uint8_t> bytes(200 * 1024);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
  FILE* f = std::fopen(image.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
  int reads = 0;
  torva::tools::ScopedBeforeDownloadRead seam([&](const torva::tools::DownloadRead& read) {
    if (reads++ == 1) {
      EXPECT_EQ(read.offset, 64u * 1024);
      EXPECT_FALSE(read.comparing);
      EXPECT_EQ(::truncate(image.c_str(), 100000), 0);
    }
  });
  int progress = 0;
  EXPECT_FALSE(torva::tools::DownloadFile(image, PortLPT, [&](uint64_t) { ++progress; }));
  EXPECT_EQ(reads, 3);  // at 0, at 64 KiB, and at 100000, where the file now ends
  EXPECT_EQ(progress, 0);
  EXPECT_EQ(PortSize(), 0);
  EXPECT_EQ(LPTParameter.m_hdev, -1);
}

}  // namespace
