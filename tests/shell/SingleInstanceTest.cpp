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
  QString root;
  QProcessEnvironment env;
  QProcess first, second;
};

}  // namespace

TEST_F(SingleInstanceTest, SecondStartEndsAtOnceAndRaisesTheFirst) {
  if (!QFileInfo(QString(TORVA_BINARY_DIR) + "/TORVAConsole").isExecutable()) GTEST_SKIP() << "not built";
  Start(first);
  // The first instance listens once it is up.
  QElapsedTimer up;
  up.start();
  while (!QFileInfo::exists(root + "/TORVAConsole") && up.elapsed() < 15000) {
    ASSERT_EQ(first.state(), QProcess::Running) << first.readAllStandardError().toStdString();
    first.waitForReadyRead(50);
  }
  ASSERT_TRUE(QFileInfo::exists(root + "/TORVAConsole"));

  QElapsedTimer t;
  t.start();
  Start(second);
  ASSERT_TRUE(second.waitForFinished(5000)) << second.readAllStandardError().toStdString();
  EXPECT_LT(t.elapsed(), 5000);
  EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(second.exitCode(), 0);

  QByteArray out;
  QElapsedTimer w;
  w.start();
  while (!out.contains("raised") && w.elapsed() < 5000) {
    first.waitForReadyRead(100);
    out += first.readAllStandardOutput();
  }
  EXPECT_TRUE(out.contains("raised")) << out.toStdString();
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
