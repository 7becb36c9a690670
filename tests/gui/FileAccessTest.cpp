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
  const auto all = ReadRegularFile(Path("file.pes"), 100);
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
  ASSERT_TRUE(ReadRegularFile(Path("empty.pes"), 100));
  EXPECT_TRUE(ReadRegularFile(Path("empty.pes"), 100)->data.isEmpty());

  const QString fifo = Path("fifo.pes");
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_EQ(::symlink(QFile::encodeName(fifo).constData(), QFile::encodeName(Path("link-to-fifo.pes")).constData()),
            0);
  for (const QString& path : {fifo, Path("link-to-fifo.pes"), QString("/dev/zero"), Path("missing.pes"), dir.path(),
                              QString()}) {
    SCOPED_TRACE(path.toStdString());
    FifoRescue rescue(fifo);
    EXPECT_FALSE(ReadRegularFile(path, 100));
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
  EXPECT_FALSE(ReadRegularFile(path, 100));
  EXPECT_FALSE(rescue.stop()) << "the read waited on the FIFO";
  EXPECT_EQ(hooks, 1);
  EXPECT_EQ(Describe(path), "a FIFO");
}

// A file that grows while it is read, here by 1 MiB just after it was opened
// (as a log another program appends to): the read stops at the limit asked
// for, and says the size the file had when it was opened. With no limit the
// reader once read on for as long as the file grew.
TEST_F(FileAccessTest, ReaderStopsAtTheLimitWhileTheFileGrows) {
  const QString path = Path("growing.prn");
  ASSERT_TRUE(WriteFile(path, QByteArray(10, 'a')));
  const torva::gui::ScopedAfterFileOpen grow([&](const QString&) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::Append));
    ASSERT_EQ(f.write(QByteArray(1 << 20, 'b')), 1 << 20);
  });
  struct Case {
    qint64 limit;
    qint64 read;
  };
  for (const Case& c : {Case{4, 4}, Case{10, 10}, Case{11, 11}, Case{100000, 100000}, Case{0, 0}, Case{-1, 0}}) {
    SCOPED_TRACE(c.limit);
    ASSERT_TRUE(WriteFile(path, QByteArray(10, 'a')));
    const auto file = ReadRegularFile(path, c.limit);
    ASSERT_TRUE(file);
    EXPECT_EQ(file->size, 10);
    EXPECT_EQ(file->data.size(), c.read);
    EXPECT_EQ(file->data.left(10), QByteArray(10, 'a').left(c.read));
    EXPECT_EQ(file->data.count('b'), std::max<qint64>(c.read - 10, 0));
  }
}

// Which links in a sticky, world-writable folder the writer follows: the
// kernel's rule (fs.protected_symlinks), whatever the machine's setting. The
// folder and the links belong to other users here, so it needs root.
TEST_F(FileAccessTest, WriterFollowsALinkInAStickyFolderOnlyWhereTheKernelWould) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root can plant another user's link";
  constexpr uid_t kFolderOwner = 65533, kStranger = 65534;
  const QString target = Path("mine.pes");
  auto make = [&](const char* name, mode_t mode, uid_t folderOwner) {
    const QString folder = Path(name);
    EXPECT_EQ(::mkdir(QFile::encodeName(folder).constData(), 0700), 0);
    EXPECT_EQ(::chmod(QFile::encodeName(folder).constData(), mode), 0);
    EXPECT_EQ(::chown(QFile::encodeName(folder).constData(), folderOwner, folderOwner), 0);
    return folder;
  };
  auto link = [&](const QString& at, const QString& to, uid_t owner) {
    EXPECT_EQ(::symlink(QFile::encodeName(to).constData(), QFile::encodeName(at).constData()), 0);
    EXPECT_EQ(::lchown(QFile::encodeName(at).constData(), owner, owner), 0);
    return at;
  };
  const QString sticky = make("sticky", 01777, kFolderOwner);
  const QString open = make("open", 0777, kFolderOwner);
  const QString closed = make("closed", 01755, kFolderOwner);
  const QString chain = Path("chain.pes");
  link(chain, link(sticky + "/stranger-in-chain.pes", target, kStranger), ::geteuid());
  const QString throughFolder = link(sticky + "/folder", dir.path(), kStranger) + "/mine.pes";
  struct Case {
    const char* name;
    QString path;
    bool refused;
  };
  const Case cases[] = {
      {"a stranger's link in a sticky folder", link(sticky + "/stranger.pes", target, kStranger), true},
      {"our own link there", link(sticky + "/ours.pes", target, ::geteuid()), false},
      {"the folder owner's link there", link(sticky + "/owner.pes", target, kFolderOwner), false},
      {"a stranger's link in a folder that is not sticky", link(open + "/stranger.pes", target, kStranger), false},
      {"a stranger's link in a sticky folder others cannot write", link(closed + "/stranger.pes", target, kStranger),
       false},
      {"our link to a stranger's link in a sticky folder", chain, true},
      {"a file reached through a stranger's link to a folder", throughFolder, true},
      {"a new file beside a stranger's link", sticky + "/new.pes", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(WriteFile(target, kOld));
    EXPECT_EQ(torva::gui::PassesForeignLinkInStickyFolder(c.path), c.refused);
    EXPECT_STREQ(Name(WriteWholeFile(c.path, kNew)), c.refused ? "OpenFailed" : "Written");
    QFile f(c.refused ? target : c.path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), c.refused ? kOld : kNew);
  }
}
