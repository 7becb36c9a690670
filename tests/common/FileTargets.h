// The places a user can ask the console to write a file that must never end
// as a file written (a full disk, a FIFO, a device node, a link to a device,
// a read-only folder), next to a plain file that must; what stands at a path,
// to compare before and after; a write to each of them checked in the same
// way; and a rescue for a read that would wait on a FIFO for ever.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"

namespace torva::test {

// What stands at a path: its kind, and a regular file's bytes, a link's
// target and what stands there, a device's numbers.
inline std::string Describe(const QString& path) {
  const QByteArray name = QFile::encodeName(path);
  struct stat st {};
  if (::lstat(name.constData(), &st) != 0) return "nothing";
  if (S_ISLNK(st.st_mode)) {
    char target[4096];
    const ssize_t n = ::readlink(name.constData(), target, sizeof target - 1);
    if (n < 0) return "a link";
    target[n] = 0;
    return std::string("a link to ") + target + ", " + Describe(QFile::decodeName(target));
  }
  if (S_ISREG(st.st_mode)) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return "an unreadable file";
    return "a file of " + std::to_string(st.st_size) + " bytes: " + f.readAll().toHex(' ').toStdString();
  }
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (S_ISCHR(st.st_mode))
    return "character device " + std::to_string(major(st.st_rdev)) + "," + std::to_string(minor(st.st_rdev));
  if (S_ISDIR(st.st_mode)) return "a folder";
  return "something else";
}

// The names in a folder, sorted: a temporary file left behind shows here.
inline QStringList Entries(const QString& folder) {
  return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

// How a write to a target must end.
enum class WriteEnd {
  Written,      // the file holds the new bytes
  Refused,      // refused or not created: the dialog's open-failure text
  WriteFailed,  // the bytes did not reach the disk: the write-failure text
};

struct WriteTarget {
  std::string name;
  QString path;     // what the save dialog answers
  QString folder;   // whose names must not change (empty: not checked)
  ChildLimits limits;
  WriteEnd end;
};

// A user id of nobody on this machine: the owner of a link "another user"
// planted.
constexpr uid_t kOtherUser = 65534;

// The table, made in `dir`, one folder a target; a regular file at a target
// holds `old`. The read-only folder is made writable again when the table
// goes, so the test's folder can be removed.
class WriteTargets {
 public:
  WriteTargets(const QString& dir, const QByteArray& old) {
    auto folder = [&](const char* name) {
      const QString f = dir + "/" + name;
      QDir().mkpath(f);
      return f;
    };
    auto file = [&](const QString& path) {
      QFile f(path);
      if (f.open(QIODevice::WriteOnly)) f.write(old);
    };
    const QString regular = folder("regular");
    file(regular + "/settings.pes");
    rows_.push_back({"a regular file", regular + "/settings.pes", regular, {}, WriteEnd::Written});

    const QString full = folder("full");
    file(full + "/settings.pes");
    rows_.push_back({"a full disk", full + "/settings.pes", full, {.noFileSpace = true}, WriteEnd::WriteFailed});

    const QString fifo = folder("fifo");
    ::mkfifo(QFile::encodeName(fifo + "/settings.pes").constData(), 0600);
    rows_.push_back({"a FIFO", fifo + "/settings.pes", fifo, {}, WriteEnd::Refused});

    // Device nodes of our own where we may make them (the numbers of
    // /dev/null and /dev/full), so that nothing of the machine's is ever at
    // stake; elsewhere the machine's own, which a user cannot replace.
    const QString device = folder("device");
    QString null = device + "/null.pes";
    if (::mknod(QFile::encodeName(null).constData(), S_IFCHR | 0666, makedev(1, 3)) != 0) null = "/dev/null";
    rows_.push_back({"a device node", null, null.startsWith(dir) ? device : QString(), {}, WriteEnd::Refused});

    const QString link = folder("link");
    QString fullNode = link + "/full";
    if (::mknod(QFile::encodeName(fullNode).constData(), S_IFCHR | 0666, makedev(1, 7)) != 0) fullNode = "/dev/full";
    ::symlink(QFile::encodeName(fullNode).constData(), QFile::encodeName(link + "/settings.pes").constData());
    rows_.push_back({"a link to a device", link + "/settings.pes", link, {}, WriteEnd::Refused});

    // A shared sticky folder (as /tmp) with a link in it to a file of ours
    // elsewhere: another user's link is refused, as the kernel refuses to
    // follow it; our own is written through. Another user's link can only be
    // planted by root (lchown): elsewhere that row is left out.
    const QString sticky = folder("sticky");
    ::chmod(QFile::encodeName(sticky).constData(), 01777);
    const QString victims = folder("victims");
    auto linkTo = [&](const char* target, const char* name) {
      file(victims + "/" + target);
      const QString link = sticky + "/" + name;
      ::symlink(QFile::encodeName(victims + "/" + target).constData(), QFile::encodeName(link).constData());
      return link;
    };
    const QString foreign = linkTo("theirs-target.pes", "theirs.pes");
    if (::lchown(QFile::encodeName(foreign).constData(), kOtherUser, kOtherUser) == 0) {
      rows_.push_back({"another user's link in a sticky folder", foreign, sticky, {}, WriteEnd::Refused});
    }
    rows_.push_back({"our own link in a sticky folder", linkTo("ours-target.pes", "ours.pes"), sticky, {},
                     WriteEnd::Written});

    readOnly_ = folder("readonly");
    file(readOnly_ + "/settings.pes");
    ::chmod(QFile::encodeName(readOnly_).constData(), 0555);
    rows_.push_back({"a read-only folder", readOnly_ + "/settings.pes", readOnly_, {.permissionsBindRoot = true},
                     WriteEnd::Refused});
  }
  ~WriteTargets() { ::chmod(QFile::encodeName(readOnly_).constData(), 0755); }
  WriteTargets(const WriteTargets&) = delete;
  WriteTargets& operator=(const WriteTargets&) = delete;

  const std::vector<WriteTarget>& rows() const { return rows_; }

 private:
  std::vector<WriteTarget> rows_;
  QString readOnly_;
};

// Writes to every target in turn and checks how each write ended. `write`
// runs in a child process under the target's limits and answers what the user
// was shown, which must be `shown` for the target; a target written holds
// `written`, any other stands as it was; and no name comes or goes in the
// target's folder (a temporary file left behind). A child that does not end
// is a fatal failure.
inline void WriteToEveryTarget(const WriteTargets& targets,
                               const std::function<std::string(const WriteTarget&)>& write,
                               const std::function<QString(const WriteTarget&)>& shown, const QByteArray& written) {
  for (const auto& t : targets.rows()) {
    SCOPED_TRACE(t.name);
    const std::string before = Describe(t.path);
    const QStringList names = Entries(t.folder);
    const auto run = RunInChild([&] { return write(t); }, t.limits);
    ASSERT_TRUE(run.ended) << run.answer;
    EXPECT_EQ(QString::fromStdString(run.answer), shown(t));
    if (t.end == WriteEnd::Written) {
      QFile f(t.path);
      EXPECT_EQ(f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(), written);
    } else {
      EXPECT_EQ(Describe(t.path), before);
    }
    if (!t.folder.isEmpty()) {
      EXPECT_EQ(Entries(t.folder), names);
    }
  }
}

// Should a read wait in a FIFO's open or read, a writer comes after
// `afterMs` and ends the wait, so the test fails instead of hanging.
// stop() says whether it had to.
class FifoRescue {
 public:
  explicit FifoRescue(const QString& fifo, int afterMs = 5000)
      : fifo_(QFile::encodeName(fifo)), thread_([this, afterMs] {
          std::unique_lock<std::mutex> lock(mu_);
          if (cv_.wait_for(lock, std::chrono::milliseconds(afterMs), [this] { return stopped_; })) return;
          rescued_ = true;
          lock.unlock();
          const int fd = ::open(fifo_.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
          if (fd >= 0) ::close(fd);
        }) {}
  ~FifoRescue() { stop(); }
  FifoRescue(const FifoRescue&) = delete;
  FifoRescue& operator=(const FifoRescue&) = delete;

  // True when the wait had to be ended from here.
  bool stop() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      stopped_ = true;
    }
    cv_.notify_all();
    if (thread_.joinable()) thread_.join();
    std::lock_guard<std::mutex> lock(mu_);
    return rescued_;
  }

 private:
  QByteArray fifo_;
  std::mutex mu_;
  std::condition_variable cv_;
  bool stopped_ = false;
  bool rescued_ = false;
  std::thread thread_;
};

}  // namespace torva::test
