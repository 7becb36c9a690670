#include "shell/SingleInstance.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <cstdio>
#include <cstring>

#include "link/Clock.h"

namespace {
constexpr char kName[] = "TORVAConsole";
constexpr char kRequest[] = "raise\n";
}  // namespace

SingleInstance::SingleInstance(const QString& folder, QObject* parent) : QObject(parent), folder_(folder) {
  if (folder_.isEmpty()) folder_ = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
  if (folder_.isEmpty()) folder_ = QDir::tempPath();
}

SingleInstance::~SingleInstance() {
  if (server_) server_->close();
  if (lock_) lock_->unlock();
}

QString SingleInstance::LockPath() const { return folder_ + "/" + kName + ".lock"; }
QString SingleInstance::SocketPath() const { return folder_ + "/" + kName; }

bool SingleInstance::TryBecomeFirst() {
  QDir().mkpath(folder_);
  lock_ = std::make_unique<QLockFile>(LockPath());
  // A lock is stale only when its process is gone, however long it was held.
  lock_->setStaleLockTime(0);
  if (lock_->tryLock(0)) return true;
  const QLockFile::LockError error = lock_->error();
  lock_.reset();
  // Only a lock that another process holds means another console. A lock
  // file that cannot be made (a full disk, a folder that takes no file)
  // says nothing about other consoles: this one starts, without the guard,
  // and without the socket a later start would look for.
  if (error == QLockFile::LockFailedError) return false;
  std::fprintf(stderr, "TORVAConsole: the single-instance lock %s could not be taken (%s); starting without it\n",
               QFile::encodeName(LockPath()).constData(),
               error == QLockFile::PermissionError ? "no permission" : "the file cannot be written");
  return true;
}

bool SingleInstance::TakeOverLeftLock() {
  // The owner of a lock holds the lock file's flock(2) as long as it runs
  // (QLockFile takes it on creation, before it writes its name in). The
  // toolkit removes a lock file only once it has that flock itself, so this
  // never removes a lock that a running process holds, however its file
  // reads; it only clears what a crash or another machine left.
  lock_ = std::make_unique<QLockFile>(LockPath());
  lock_->setStaleLockTime(0);
  if (lock_->removeStaleLockFile() && lock_->tryLock(0)) {
    std::fprintf(stderr, "TORVAConsole: took over the single-instance lock %s, which no running process held\n",
                 QFile::encodeName(LockPath()).constData());
    return true;
  }
  lock_.reset();
  return false;
}

bool SingleInstance::BecomeFirstUnlessAnotherAnswers(int timeoutMs) {
  if (TryBecomeFirst()) return true;
  // The lock file stands, and the lock did not call it stale: its owner runs
  // here, or its file says nothing the lock can check (empty after a crash
  // between its creation and its write, or naming another host). A left
  // lock is taken over at once; a running owner is asked to come forward.
  if (TakeOverLeftLock()) return true;
  if (AskFirstToComeForward(timeoutMs)) return false;
  // Its owner did not answer: it may have ended meanwhile, or it hangs.
  if (TakeOverLeftLock()) return true;
  std::fprintf(stderr,
               "TORVAConsole: the single-instance lock %s is held by a process that does not answer; "
               "starting without it\n",
               QFile::encodeName(LockPath()).constData());
  return true;
}

bool SingleInstance::StartListening() {
  if (!lock_ || server_) return false;
  // We hold the lock, so a socket file left there belongs to a process that
  // has ended.
  QLocalServer::removeServer(SocketPath());
  server_ = new QLocalServer(this);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  connect(server_, &QLocalServer::newConnection, this, [this] {
    while (QLocalSocket* peer = server_->nextPendingConnection()) {
      connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
      connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
        if (peer->readAll().contains("raise")) emit raiseRequested();
        peer->disconnectFromServer();
      });
    }
  });
  return server_->listen(SocketPath());
}

// Plain POSIX here: the second instance ends before any application object
// exists, so it needs no display and no event loop.
bool SingleInstance::AskFirstToComeForward(int timeoutMs) const {
  const QByteArray path = QFile::encodeName(SocketPath());
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (static_cast<size_t>(path.size()) >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, path.constData(), static_cast<size_t>(path.size()));

  const uint64_t deadline = torva::TickMs() + static_cast<uint64_t>(timeoutMs);
  for (;;) {
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) {
      const ssize_t n = send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL);
      close(fd);
      return n == static_cast<ssize_t>(sizeof kRequest - 1);
    }
    close(fd);
    if (torva::TickMs() >= deadline) return false;
    usleep(50 * 1000);  // the first instance may not listen yet
  }
}
