// The console's one file writer and one file reader, on their own: every
// target a user can choose, written for real (a full disk through a child
// process's file-size limit), and reads that never wait on a FIFO, even one
// put at the path just before the open.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QTemporaryDir>

#include "ChildProcess.h"
#include "FileTargets.h"
#include "gui/FileAccess.h"

using torva::gui::FileWrite;
using torva::gui::ReadRegularFile;
using torva::gui::WriteWholeFile;
using torva::test::Describe;
using torva::test::Entries;
using torva::test::FifoRescue;
using torva::test::RunInChild;
using torva::test::WriteEnd;
using torva::test::WriteTarget;
using torva::test::WriteToEveryTarget;

namespace {

const QByteArray kOld("1b735c31e708 old settings", 25);
const QByteArray kNew(180, '\x5A');

const char* Name(FileWrite w) {
  switch (w) {
    case FileWrite::Written: return "Written";
    case FileWrite::OpenFailed: return "OpenFailed";
    case FileWrite::WriteFailed: return "WriteFailed";
  }
  return "?";
}

const char* Expected(WriteEnd end) {
  switch (end) {
    case WriteEnd::Written: return "Written";
    case WriteEnd::Refused: return "OpenFailed";
    case WriteEnd::WriteFailed: return "WriteFailed";
  }
  return "?";
}

class FileAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }
  QString Path(const char* name) const { return dir.filePath(name); }
  QTemporaryDir dir;
};

bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

}  // namespace

// Every target but the plain file ends without a file written, and what
// stood there stands there still, byte for byte, with no temporary file left
// beside it.
TEST_F(FileAccessTest, WriterOnEveryTarget) {
  const torva::test::WriteTargets targets(dir.path(), kOld);
  WriteToEveryTarget(
      targets, [](const WriteTarget& t) { return std::string(Name(WriteWholeFile(t.path, kNew))); },
      [](const WriteTarget& t) { return QString(Expected(t.end)); }, kNew);
}

// The write that fails on a full disk fails in the same way for a file
// larger than the toolkit's buffer, which is written past it at once.
TEST_F(FileAccessTest, FullDiskWithALargeFile) {
  const QString path = Path("large.prn");
  ASSERT_TRUE(WriteFile(path, kOld));
  const QByteArray large(1 << 20, 'x');
  const auto run = RunInChild([&] { return std::string(Name(WriteWholeFile(path, large))); }, {.noFileSpace = true});
  ASSERT_TRUE(run.ended) << run.answer;
  EXPECT_EQ(run.answer, "WriteFailed");
  EXPECT_EQ(Describe(path), "a file of 25 bytes: " + kOld.toHex(' ').toStdString());
  EXPECT_EQ(Entries(dir.path()), QStringList{"large.prn"});
}

// A link to a regular file is written through: the file changes, the link
// stays.
TEST_F(FileAccessTest, WriterFollowsALinkToAFile) {
  ASSERT_TRUE(WriteFile(Path("real.pes"), kOld));
  ASSERT_EQ(::symlink(QFile::encodeName(Path("real.pes")).constData(), QFile::encodeName(Path("link.pes")).constData()),
            0);
  EXPECT_EQ(WriteWholeFile(Path("link.pes"), kNew), FileWrite::Written);
  EXPECT_EQ(Describe(Path("link.pes")), "a link to " + Path("real.pes").toStdString() + ", a file of 180 bytes: " +
                                            kNew.toHex(' ').toStdString());
}

// What the reader gives back, and where it gives nothing: none of these
// waits, neither the FIFO without a writer nor the device without an end.
TEST_F(FileAccessTest, ReaderTakesOnlyRegularFiles) {
  ASSERT_TRUE(WriteFile(Path("file.pes"), "abcdef"));
  const auto all = ReadRegularFile(Path("file.pes"));
  ASSERT_TRUE(all);
  EXPECT_EQ(all->data, "abcdef");
  EXPECT_EQ(all->size, 6);
  const auto start = ReadRegularFile(Path("file.pes"), 4);
  ASSERT_TRUE(start);
  EXPECT_EQ(start->data, "abcd");
  EXPECT_EQ(start->size, 6);
  const auto sizeOnly = ReadRegularFile(Path("file.pes"), 0);
  ASSERT_TRUE(sizeOnly);
  EXPECT_TRUE(sizeOnly->data.isEmpty());
  EXPECT_EQ(sizeOnly->size, 6);
  ASSERT_TRUE(WriteFile(Path("empty.pes"), ""));
  ASSERT_TRUE(ReadRegularFile(Path("empty.pes")));
  EXPECT_TRUE(ReadRegularFile(Path("empty.pes"))->data.isEmpty());

  const QString fifo = Path("fifo.pes");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_EQ(::symlink(QFile::encodeName(fifo).constData(), QFile::encodeName(Path("link-to-fifo.pes")).constData()),
            0);
  for (const QString& path : {fifo, Path("link-to-fifo.pes"), QString("/dev/zero"), Path("missing.pes"), dir.path(),
                              QString()}) {
    SCOPED_TRACE(path.toStdString());
    FifoRescue rescue(fifo);
    EXPECT_FALSE(ReadRegularFile(path));
    EXPECT_FALSE(rescue.stop()) << "the read waited on the FIFO";
  }
}

// The race that checking the name first leaves open: the name is a regular
// file until just before the open, when a FIFO is renamed over it. What was
// opened is refused, at once.
TEST_F(FileAccessTest, ReaderRefusesAFifoRenamedOverThePathBeforeTheOpen) {
  const QString path = Path("settings.pes");
  const QString fifo = Path("waiting.fifo");
  ASSERT_TRUE(WriteFile(path, "abc"));
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  int hooks = 0;
  const torva::gui::ScopedBeforeFileOpen swap([&](const QString& opened) {
    ++hooks;
    EXPECT_EQ(opened, path);
    EXPECT_EQ(::rename(QFile::encodeName(fifo).constData(), QFile::encodeName(path).constData()), 0);
  });
  FifoRescue rescue(path);
  EXPECT_FALSE(ReadRegularFile(path));
  EXPECT_FALSE(rescue.stop()) << "the read waited on the FIFO";
  EXPECT_EQ(hooks, 1);
  EXPECT_EQ(Describe(path), "a FIFO");
}
