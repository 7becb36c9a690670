// Reading and writing the files the console uses: settings files, command
// files, download files, Printer.ini. They go through these two roads, so
// none of them can block a window on a FIFO or a device, and none is left
// truncated behind a success. (The download's thread reads its file through
// a descriptor opened and checked the same way, OpenRegularFile.) No
// widgets: they run on any thread.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

struct stat;

namespace torva::gui {

// What a write of a whole file came to.
enum class FileWrite {
  Written,      // the file holds the bytes, and only them
  OpenFailed,   // refused or not created: something other than a regular
                // file stands at the path, or the folder takes no new file
  WriteFailed,  // a write, the flush or the replacement failed (a full disk)
};

// Writes the bytes as the whole new content of the file, or leaves the file
// exactly as it was. A path where something other than a regular file (or a
// link to one) exists, a FIFO, a device node, a link to a device, a folder,
// is refused before anything is written, and so is a path that leads through
// a link planted by another user in a shared sticky folder (see
// PassesForeignLinkInStickyFolder). Otherwise the bytes go to a temporary
// file beside it that replaces it only once every byte is known to be on the
// disk; on any error the temporary file is removed.
FileWrite WriteWholeFile(const QString& path, const char* data, qint64 size);
FileWrite WriteWholeFile(const QString& path, const QByteArray& data);
FileWrite WriteWholeFile(const QString& path, const std::vector<uint8_t>& data);

// The start of a file (or all of it) and its size.
struct FileContents {
  QByteArray data;  // at most the limit asked for
  qint64 size = 0;  // the file's size when it was opened
};

// Reads a regular file (or what a link names): at most `limit` bytes, none
// for 0 (the size only; a negative limit counts as 0). The limit is the
// caller's bound on what it takes: a file that grows while it is read is read
// up to the limit and no further, so asking for one byte more than a bound
// tells a file that grew past it. The file is opened without waiting and what
// was opened is checked, not the name, so a FIFO or a device put at the path
// at any moment is refused at once instead of blocking or never ending.
// nullopt when the path names nothing readable, or something other than a
// regular file, or a read fails.
std::optional<FileContents> ReadRegularFile(const QString& path, qint64 limit);

// The descriptor of a regular file (or what a link names) opened to read, or
// -1: opened without waiting and checked for what was opened, as above. The
// caller closes it; `st`, when given, receives what fstat said of it.
int OpenRegularFile(const QString& path, struct stat* st = nullptr);

// True when something exists at the path (a dangling link counts).
bool PathExists(const QString& path);
// True when reaching the path follows a symbolic link that sits in a sticky,
// world-writable folder (such as /tmp) and belongs neither to this user nor
// to the folder's owner: a link another user may have planted to make us
// overwrite a file of ours. The kernel refuses to follow such links
// (fs.protected_symlinks); the whole-file replacement resolves links itself,
// so it asks here first. Every link on the way counts, the path's own and
// those of its folders, as the kernel resolves them.
bool PassesForeignLinkInStickyFolder(const QString& path);
// True when something exists at the path and it is not a regular file or a
// link to one: what WriteWholeFile refuses.
bool ExistsAndIsNotRegular(const QString& path);

// A test's hook on the reader, set while its object lives and put back as it
// was when it goes.
class ScopedFileHook {
 public:
  ScopedFileHook(const ScopedFileHook&) = delete;
  ScopedFileHook& operator=(const ScopedFileHook&) = delete;

 protected:
  ScopedFileHook(std::function<void(const QString&)>& slot, std::function<void(const QString& path)> hook);
  ~ScopedFileHook();

 private:
  std::function<void(const QString&)>& slot_;
  std::function<void(const QString&)> saved_;
};

// Tests: while an instance lives, `hook(path)` runs in ReadRegularFile just
// before the file is opened, the moment another process could put something
// else at the path.
class ScopedBeforeFileOpen : ScopedFileHook {
 public:
  explicit ScopedBeforeFileOpen(std::function<void(const QString& path)> hook);
};

// Tests: while an instance lives, `hook(path)` runs in ReadRegularFile once
// the file is open and its size taken, the moment another process could make
// it grow.
class ScopedAfterFileOpen : ScopedFileHook {
 public:
  explicit ScopedAfterFileOpen(std::function<void(const QString& path)> hook);
};

}  // namespace torva::gui
