#include "gui/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <deque>
#include <string>

namespace torva::gui {

namespace {
std::function<void(const QString&)> g_beforeOpen;
std::function<void(const QString&)> g_afterOpen;

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

namespace {

// The names of a path, in order; empty names and "." left out.
std::deque<std::string> PathNames(const std::string& path) {
  std::deque<std::string> names;
  size_t at = 0;
  while (at <= path.size()) {
    const size_t slash = std::min(path.find('/', at), path.size());
    std::string name = path.substr(at, slash - at);
    if (!name.empty() && name != ".") names.push_back(std::move(name));
    at = slash + 1;
  }
  return names;
}

// The kernel's rule for a link in a sticky, world-writable folder: it is
// followed only by its owner, or when it belongs to the folder's owner.
bool ForeignLinkInStickyFolder(const struct stat& folder, const struct stat& link) {
  const bool shared = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
  return shared && link.st_uid != ::geteuid() && link.st_uid != folder.st_uid;
}

}  // namespace

bool PassesForeignLinkInStickyFolder(const QString& path) {
  if (path.isEmpty()) return false;
  // Resolved name by name, as the kernel does: `reached` never holds a link,
  // so ".." climbs from where a link led, and a link's names are walked in
  // place of the link's own.
  std::deque<std::string> names = PathNames(QFile::encodeName(QDir::current().absoluteFilePath(path)).toStdString());
  std::string reached;  // "" is the root
  int links = 0;
  while (!names.empty()) {
    const std::string name = std::move(names.front());
    names.pop_front();
    if (name == "..") {
      reached.resize(reached.rfind('/') == std::string::npos ? 0 : reached.rfind('/'));
      continue;
    }
    const std::string next = reached + "/" + name;
    struct stat st {};
    // What does not exist leads through no link: the rest is made, not
    // followed.
    if (::lstat(next.c_str(), &st) != 0) return false;
    if (!S_ISLNK(st.st_mode)) {
      reached = next;
      continue;
    }
    struct stat folder {};
    if (::stat(reached.empty() ? "/" : reached.c_str(), &folder) == 0 && ForeignLinkInStickyFolder(folder, st))
      return true;
    // A loop of links ends the walk: the write itself then fails.
    if (++links > 40) return false;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(next.c_str(), target, sizeof target);
    if (n <= 0 || n == static_cast<ssize_t>(sizeof target)) return false;
    const std::string to(target, static_cast<size_t>(n));
    if (to.front() == '/') reached.clear();
    const std::deque<std::string> more = PathNames(to);
    names.insert(names.begin(), more.begin(), more.end());
  }
  return false;
}

FileWrite WriteWholeFile(const QString& path, const char* data, qint64 size) {
  // A FIFO or a device would be replaced by a regular file (the temporary
  // file is renamed over it), or, for a link to a device, its node would.
  if (path.isEmpty() || ExistsAndIsNotRegular(path)) return FileWrite::OpenFailed;
  // The replacement below resolves links itself, where the kernel would
  // refuse another user's link in /tmp: such a path is refused here.
  if (PassesForeignLinkInStickyFolder(path)) return FileWrite::OpenFailed;
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
  if (g_afterOpen) g_afterOpen(path);
  return fd;
}

std::optional<FileContents> ReadRegularFile(const QString& path, qint64 limit) {
  struct stat st {};
  const Descriptor fd(OpenRegularFile(path, &st));
  if (fd.get() < 0) return std::nullopt;

  FileContents out;
  out.size = static_cast<qint64>(st.st_size);
  const qint64 want = std::max<qint64>(limit, 0);
  out.data.resize(std::min(want, out.size));
  qint64 got = 0;
  // Up to the limit, whatever the file's size: one that grows while it is
  // read is read past its first size, but never past what was asked.
  while (got < want) {
    if (got == out.data.size()) out.data.resize(std::min(want, got + 64 * 1024));
    const ssize_t n = ::read(fd.get(), out.data.data() + got, static_cast<size_t>(out.data.size() - got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    got += n;
  }
  out.data.resize(got);
  return out;
}

ScopedFileHook::ScopedFileHook(std::function<void(const QString&)>& slot, std::function<void(const QString& path)> hook)
    : slot_(slot), saved_(std::move(slot)) {
  slot_ = std::move(hook);
}

ScopedFileHook::~ScopedFileHook() { slot_ = std::move(saved_); }

ScopedBeforeFileOpen::ScopedBeforeFileOpen(std::function<void(const QString& path)> hook)
    : ScopedFileHook(g_beforeOpen, std::move(hook)) {}

ScopedAfterFileOpen::ScopedAfterFileOpen(std::function<void(const QString& path)> hook)
    : ScopedFileHook(g_afterOpen, std::move(hook)) {}

}  // namespace torva::gui
