// Single instance with two real processes of the built program.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>

#include "ShellFixture.h"
#include "shell/SingleInstance.h"

namespace {

class SingleInstanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = shelltest::MakeTempDir();
    ASSERT_FALSE(root.isEmpty());
    chmod(root.toLocal8Bit().constData(), 0700);  // a runtime folder must be private
    env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", root);
    env.insert("XDG_CONFIG_HOME", root + "/config");
    env.insert("TORVA_REPORT_RAISE", "1");
    env.insert("ASAN_OPTIONS", "detect_leaks=0");
  }
  void TearDown() override {
    for (QProcess* p : {&first, &second}) {
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
    }
    QDir(root).removeRecursively();
  }
  void Start(QProcess& p) {
    p.setProcessEnvironment(env);
    p.setProgram(QString(TORVA_BINARY_DIR) + "/TORVAConsole");
    p.start();
    ASSERT_TRUE(p.waitForStarted(5000));
  }
  // Waits, on the process's own output, until it has printed `word`; false
  // when it ended or went quiet for timeoutMs first. What it printed is
  // kept in `said`.
  bool WaitToSay(QProcess& p, const QByteArray& word, QByteArray& said, int timeoutMs = 30000) {
    QElapsedTimer t;
    t.start();
    while (!said.contains(word)) {
      const qint64 left = timeoutMs - t.elapsed();
      if (left <= 0 || !p.waitForReadyRead(static_cast<int>(left))) break;
      said += p.readAllStandardOutput();
    }
    said += p.readAllStandardOutput();
    return said.contains(word);
  }
  void WriteLock(const QByteArray& content) { shelltest::WriteFile(root + "/TORVAConsole.lock", content); }
  QString root;
  QProcessEnvironment env;
  QProcess first, second;
};

}  // namespace

TEST_F(SingleInstanceTest, SecondStartEndsAtOnceAndRaisesTheFirst) {
  if (!QFileInfo(QString(TORVA_BINARY_DIR) + "/TORVAConsole").isExecutable()) GTEST_SKIP() << "not built";
  Start(first);
  // The first instance says when it listens.
  QByteArray out;
  ASSERT_TRUE(WaitToSay(first, "listening", out)) << first.readAllStandardError().toStdString();
  ASSERT_TRUE(QFileInfo::exists(root + "/TORVAConsole"));

  QElapsedTimer t;
  t.start();
  Start(second);
  ASSERT_TRUE(second.waitForFinished(5000)) << second.readAllStandardError().toStdString();
  EXPECT_LT(t.elapsed(), 5000);
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);

  EXPECT_TRUE(WaitToSay(first, "raised", out, 5000)) << out.toStdString();
  EXPECT_EQ(first.state(), QProcess::Running);

  // Once the first one has ended, a new start is a first instance again.
  first.terminate();
  ASSERT_TRUE(first.waitForFinished(10000));
  QProcess third;
  third.setProcessEnvironment(env);
  third.setProgram(QString(TORVA_BINARY_DIR) + "/TORVAConsole");
  third.start();
  ASSERT_TRUE(third.waitForStarted(5000));
  EXPECT_FALSE(third.waitForFinished(1500));  // stays up: it is the only one
  third.kill();
  third.waitForFinished(5000);
}

TEST(SingleInstanceGuard, LockIsTakenOnceAndTheSecondAsksTheFirst) {
  const QString dir = shelltest::MakeTempDir();
  ASSERT_FALSE(dir.isEmpty());
  {
    SingleInstance firstGuard(dir);
    ASSERT_TRUE(firstGuard.TryBecomeFirst());
    SingleInstance secondGuard(dir);
    EXPECT_FALSE(secondGuard.TryBecomeFirst());
    // Not listening yet: the request cannot be delivered.
    EXPECT_FALSE(secondGuard.AskFirstToComeForward(100));

    ASSERT_TRUE(firstGuard.StartListening());
    int raised = 0;
    QObject::connect(&firstGuard, &SingleInstance::raiseRequested, [&raised] { ++raised; });
    EXPECT_TRUE(secondGuard.AskFirstToComeForward(1000));
    EXPECT_TRUE(shelltest::WaitFor([&] { return raised == 1; }, 2000));
  }
  // Released with the first guard.
  SingleInstance later(dir);
  EXPECT_TRUE(later.TryBecomeFirst());
  QDir(dir).removeRecursively();
}

// Only a lock that another process holds means another console. A lock file
// that cannot be made (here its folder is a file) starts this one as the
// first, without the guard, with a line on standard error; it once took
// itself for a second console and ended without a window.
TEST(SingleInstanceGuard, ALockThatCannotBeWrittenStartsAsTheFirst) {
  const QString dir = shelltest::MakeTempDir();
  ASSERT_FALSE(dir.isEmpty());
  const QString notAFolder = dir + "/file";
  shelltest::WriteFile(notAFolder, "not a folder");
  SingleInstance guard(notAFolder);
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(guard.TryBecomeFirst());
  const std::string said = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(said.find("TORVAConsole: the single-instance lock " + guard.LockPath().toStdString() +
                      " could not be taken"),
            std::string::npos)
      << said;
  // No guard: nothing listens, so no other console's socket is touched.
  EXPECT_FALSE(guard.StartListening());
  QDir(dir).removeRecursively();
}

// The program itself with no room for file data (a file-size limit of 0, as
// on a full disk): it comes up with its window, which it shows by saving a
// picture of it to its standard output, a pipe.
TEST_F(SingleInstanceTest, NoRoomForTheLockFileStillStartsTheConsole) {
  if (!QFileInfo(QString(TORVA_BINARY_DIR) + "/TORVAConsole").isExecutable()) GTEST_SKIP() << "not built";
  env.insert("TORVA_SCREENSHOT", "/dev/stdout");
  first.setProcessEnvironment(env);
  // SIGXFSZ ignored survives the exec, so a write past the limit fails
  // with EFBIG instead of ending the program.
  first.setProgram("/bin/sh");
  first.setArguments({"-c", "trap '' XFSZ; ulimit -f 0; exec \"$0\"", QString(TORVA_BINARY_DIR) + "/TORVAConsole"});
  first.start();
  ASSERT_TRUE(first.waitForStarted(5000));
  ASSERT_TRUE(first.waitForFinished(30000));
  EXPECT_EQ(first.exitCode(), 0);
  EXPECT_TRUE(first.readAllStandardOutput().startsWith("\x89PNG")) << "no window was shown";
  EXPECT_TRUE(first.readAllStandardError().contains("could not be taken"));
}

// Lock files that no running console holds but the lock cannot judge stale:
// an empty one (a crash between its creation and its write) and one naming
// another host (a home folder shared between machines). Every start once
// took them for another console, asked it in vain for 2 s and ended with
// status 0 and no window. Now the start takes the lock over: it shows its
// window, and it is the first instance that a later start brings forward.
TEST_F(SingleInstanceTest, ALockNoRunningConsoleHoldsIsTakenOver) {
  if (!QFileInfo(QString(TORVA_BINARY_DIR) + "/TORVAConsole").isExecutable()) GTEST_SKIP() << "not built";
  struct Case {
    const char* name;
    QByteArray lock;
  };
  const Case cases[] = {
      {"an empty lock file", ""},
      {"a lock naming another host", "4242\nTORVAConsole\nanother-host.example\n"},
      {"a lock that is no lock", QByteArray("\0\xff garbage", 10)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // The window is shown: a picture of it comes on standard output.
    WriteLock(c.lock);
    QProcess shown;
    QProcessEnvironment shot = env;
    shot.remove("TORVA_REPORT_RAISE");
    shot.insert("TORVA_SCREENSHOT", "/dev/stdout");
    shown.setProcessEnvironment(shot);
    shown.setProgram(QString(TORVA_BINARY_DIR) + "/TORVAConsole");
    shown.start();
    ASSERT_TRUE(shown.waitForFinished(60000));
    EXPECT_EQ(shown.exitCode(), 0);
    EXPECT_TRUE(shown.readAllStandardOutput().startsWith("\x89PNG")) << "no window was shown";
    EXPECT_TRUE(shown.readAllStandardError().contains("took over the single-instance lock"));

    // It is the first instance: a later start ends at once and raises it.
    WriteLock(c.lock);
    Start(first);
    QByteArray out;
    ASSERT_TRUE(WaitToSay(first, "listening", out)) << first.readAllStandardError().toStdString();
    Start(second);
    ASSERT_TRUE(second.waitForFinished(10000)) << second.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(WaitToSay(first, "raised", out, 10000)) << out.toStdString();
    first.terminate();
    ASSERT_TRUE(first.waitForFinished(10000));
  }
}

// A lock that a running process holds is never taken over, however long it
// keeps silent: the later start runs without the guard and says so (it
// never ends without a window when nobody came forward). Once the holder
// listens, a start is brought to it again.
TEST(SingleInstanceGuard, AHolderThatDoesNotAnswerKeepsItsLock) {
  const QString dir = shelltest::MakeTempDir();
  ASSERT_FALSE(dir.isEmpty());
  {
    SingleInstance holder(dir);
    ASSERT_TRUE(holder.TryBecomeFirst());
    const QByteArray lock = shelltest::ReadFile(holder.LockPath());
    ASSERT_FALSE(lock.isEmpty());

    SingleInstance later(dir);
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(later.BecomeFirstUnlessAnotherAnswers(100));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("is held by a process that does not answer; starting without it"), std::string::npos)
        << said;
    EXPECT_FALSE(later.StartListening());  // no guard, no socket
    EXPECT_EQ(shelltest::ReadFile(holder.LockPath()), lock);

    ASSERT_TRUE(holder.StartListening());
    int raised = 0;
    QObject::connect(&holder, &SingleInstance::raiseRequested, [&raised] { ++raised; });
    SingleInstance third(dir);
    EXPECT_FALSE(third.BecomeFirstUnlessAnotherAnswers(2000));
    EXPECT_TRUE(shelltest::WaitFor([&] { return raised == 1; }, 5000));
    EXPECT_EQ(shelltest::ReadFile(holder.LockPath()), lock);
  }
  QDir(dir).removeRecursively();
}
