#include "gui/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>

namespace torva::gui {

namespace {
std::function<void(const QString&)> g_beforeOpen;

// Closes the descriptor when the read ends, however it ends.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};
}  // namespace

bool PathExists(const QString& path) {
  struct stat st {};
  return !path.isEmpty() && ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

bool ExistsAndIsNotRegular(const QString& path) {
  if (!PathExists(path)) return false;
  // stat follows a link to what it names.
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISREG(st.st_mode);
}

FileWrite WriteWholeFile(const QString& path, const char* data, qint64 size) {
  // A FIFO or a device would be replaced by a regular file (the temporary
  // file is renamed over it), or, for a link to a device, its node would.
  if (path.isEmpty() || ExistsAndIsNotRegular(path)) return FileWrite::OpenFailed;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return FileWrite::OpenFailed;
  // The toolkit's commit() flushes its buffer and renames the temporary file
  // over the old one even when that flush failed: on a full disk an empty
  // file replaced the user's, and commit() answered true. So every step is
  // checked here, down to the disk, and the write is cancelled at the first
  // error; the temporary file then goes and the old file stays.
  const bool complete = file.write(data, size) == size && file.flush() && file.error() == QFileDevice::NoError &&
                        ::fsync(file.handle()) == 0;
  if (!complete) {
    file.cancelWriting();
    return FileWrite::WriteFailed;
  }
  return file.commit() ? FileWrite::Written : FileWrite::WriteFailed;
}

FileWrite WriteWholeFile(const QString& path, const QByteArray& data) {
  return WriteWholeFile(path, data.constData(), data.size());
}

FileWrite WriteWholeFile(const QString& path, const std::vector<uint8_t>& data) {
  return WriteWholeFile(path, reinterpret_cast<const char*>(data.data()), static_cast<qint64>(data.size()));
}

int OpenRegularFile(const QString& path, struct stat* st) {
  if (path.isEmpty()) return -1;
  if (g_beforeOpen) g_beforeOpen(path);
  // Opened without waiting: a FIFO's open would wait for a writer. What was
  // opened is then asked what it is; asking the name first and opening it
  // after leaves a moment in which a FIFO can be renamed over the path.
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat own {};
  struct stat* const info = st ? st : &own;
  if (::fstat(fd, info) != 0 || !S_ISREG(info->st_mode)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

std::optional<FileContents> ReadRegularFile(const QString& path, qint64 limit) {
  struct stat st {};
  const Descriptor fd(OpenRegularFile(path, &st));
  if (fd.get() < 0) return std::nullopt;

  FileContents out;
  out.size = static_cast<qint64>(st.st_size);
  const qint64 want = limit < 0 ? out.size : std::min(limit, out.size);
  out.data.resize(want);
  qint64 got = 0;
  // A file that grows while it is read is read to its end when all of it
  // was asked for.
  for (;;) {
    if (got == out.data.size()) {
      if (limit >= 0 && got >= limit) break;
      out.data.resize(got + 64 * 1024);
    }
    qint64 room = out.data.size() - got;
    if (limit >= 0) room = std::min(room, limit - got);
    const ssize_t n = ::read(fd.get(), out.data.data() + got, static_cast<size_t>(room));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += n;
  }
  out.data.resize(got);
  return out;
}

ScopedBeforeFileOpen::ScopedBeforeFileOpen(std::function<void(const QString& path)> hook)
    : saved_(std::move(g_beforeOpen)) {
  g_beforeOpen = std::move(hook);
}

ScopedBeforeFileOpen::~ScopedBeforeFileOpen() { g_beforeOpen = std::move(saved_); }

}  // namespace torva::gui
