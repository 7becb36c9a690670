#include "tools/FirmwareUpdateThread.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>

#include "gui/FileAccess.h"
#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/DriverUnit.h"
#include "link/EepromControl.h"
#include "link/LPTUnit.h"
#include "link/NetUnit.h"
#include "link/PortState.h"

namespace torva::tools {

std::string ExtendName;

using torva::link::CloseConfiguredPort;
using torva::link::OpenConfiguredPort;
using torva::link::PortOpen;

BlockPlan PlanBlocks(uint64_t size) {
  BlockPlan p;
  p.size = size;
  p.fullBlocks = size / kDownloadBlockSize;
  p.tail = static_cast<uint32_t>(size % kDownloadBlockSize);
  return p;
}

ProgressScale ScaleProgress(uint64_t size) {
  ProgressScale s;
  while ((size >> s.shift) > static_cast<uint64_t>(INT_MAX)) ++s.shift;
  s.maximum = std::max(1, static_cast<int>(size >> s.shift));
  return s;
}

std::string ExtensionOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

LinePair DownloadSuccessText(const std::string& extendName) {
  std::string lower = extendName;
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == ".jk") return {"Download Success!Please reopen the port!", "下载成功！请重新打开端口！"};
  if (lower == ".eep") return {"Download Success!Please Repower the printer!", "下载成功！请给打印机重新上电！"};
  return {"Download Success!", "下载成功！"};
}

namespace {

// Tests: runs before each read of the file (see ScopedBeforeDownloadRead).
std::function<void(const DownloadRead&)> g_beforeRead;

// The file as it was when the transfer began, read whole into memory before
// the first block: nothing done to the file afterwards reaches the printer,
// whether a rewrite in place or a write through a shared mapping (which
// changes no time stamp). It is read twice, the second time only to compare,
// and its device, inode, size, modification and change time must be the same
// at the open, after the first read and after the second: a file that
// changes while it is read is refused before anything is sent.
class FileSnapshot {
 public:
  ~FileSnapshot() { close(); }
  bool take(const std::string& path) {
    // Only a regular file: a FIFO or a device could block the transfer or
    // never end.
    fd_ = torva::gui::OpenRegularFile(QString::fromStdString(path), &start_);
    if (fd_ < 0) return false;
    size_ = static_cast<uint64_t>(start_.st_size);
    if (size_ > kDownloadMaxBytes) return false;
    // Not zeroed first: every byte is read into it.
    data_ = std::make_unique_for_overwrite<uint8_t[]>(static_cast<size_t>(std::max<uint64_t>(size_, 1)));
    if (!readAt(0, data_.get(), size_, false) || !unchanged()) return false;
    // The second read, piece by piece against what the first one got.
    const auto piece = std::make_unique_for_overwrite<uint8_t[]>(kPiece);
    for (uint64_t at = 0; at < size_; at += kPiece) {
      const size_t n = static_cast<size_t>(std::min<uint64_t>(kPiece, size_ - at));
      if (!readAt(at, piece.get(), n, true) || std::memcmp(piece.get(), data_.get() + at, n) != 0)
        return false;
    }
    return unchanged();
  }
  uint64_t size() const { return size_; }
  const uint8_t* data() const { return data_.get(); }
  // True while the file is the one the transfer began with: the same device
  // and inode, size, modification and change time.
  bool unchanged() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
    return st.st_dev == start_.st_dev && st.st_ino == start_.st_ino && st.st_size == start_.st_size &&
           st.st_mtim.tv_sec == start_.st_mtim.tv_sec && st.st_mtim.tv_nsec == start_.st_mtim.tv_nsec &&
           st.st_ctim.tv_sec == start_.st_ctim.tv_sec && st.st_ctim.tv_nsec == start_.st_ctim.tv_nsec;
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  // Exactly n bytes from offset `at`, in pieces; false when the file has
  // fewer (it shrank) or a read fails.
  bool readAt(uint64_t at, uint8_t* to, uint64_t n, bool comparing) {
    while (n > 0) {
      if (g_beforeRead) g_beforeRead({at, comparing});
      const size_t want = static_cast<size_t>(std::min<uint64_t>(n, kPiece));
      const ssize_t got = ::pread(fd_, to, want, static_cast<off_t>(at));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) return false;
      at += static_cast<uint64_t>(got);
      to += got;
      n -= static_cast<uint64_t>(got);
    }
    return true;
  }

  static constexpr uint64_t kPiece = 64 * 1024;
  int fd_ = -1;
  uint64_t size_ = 0;
  struct stat start_ {};
  std::unique_ptr<uint8_t[]> data_;
};

// One kind's steps around the blocks. begin() releases what it opened when
// it fails; fail() releases the port after a failure once begin() succeeded.
class KindTransfer {
 public:
  explicit KindTransfer(int kind) : kind_(kind) {}
  virtual ~KindTransfer() = default;
  virtual bool begin(const BlockPlan& plan) = 0;
  virtual bool send(const uint8_t* data, int length) = 0;
  // After the last block, with the file closed.
  virtual bool finish() = 0;
  virtual void fail() = 0;

 protected:
  bool open() {
    const PortOpen port = OpenConfiguredPort(kDownloadPortPlan);
    handle_ = port.handle;
    return port.opened();
  }
  void close() { CloseConfiguredPort(kDownloadPortPlan, kind_); }
  const PortLibraryCalls& calls() const { return CurrentPortLibraryCalls(); }

  int kind_;
  int handle_ = -1;
};

class SerialTransfer : public KindTransfer {
 public:
  using KindTransfer::KindTransfer;
  bool begin(const BlockPlan&) override { return open(); }
  bool send(const uint8_t* data, int length) override {
    // The line is probed before every block: closed, CTS asked, reopened.
    close();
    if (!CheckComConnect(ComParameter.Name)) return false;
    if (!open()) return false;
    // Returns once the bytes have left the port as far as the line can tell;
    // the next reopen discards only input, so nothing of this block is lost
    // where it cannot (a pseudo-terminal).
    return POSWritePort(PortCOM, handle_, data, length);
  }
  bool finish() override { return true; }
  void fail() override { close(); }
};

class ParallelTransfer : public KindTransfer {
 public:
  using KindTransfer::KindTransfer;
  bool begin(const BlockPlan&) override { return open(); }
  bool send(const uint8_t* data, int length) override { return WriteLPT(handle_, data, length); }
  bool finish() override { return true; }
  void fail() override { close(); }
};

class UsbDeviceTransfer : public KindTransfer {
 public:
  using KindTransfer::KindTransfer;
  bool begin(const BlockPlan&) override { return open(); }  // with time-outs 20/90
  bool send(const uint8_t* data, int length) override { return calls().uWrite(handle_, 0, data, length) == length; }
  bool finish() override {
    calls().SetUSBTimeouts(handle_, kUsbDeviceAfterFirst, kUsbDeviceAfterSecond);
    torva::PrinterDelay(kUsbDeviceSettleMs);
    return true;
  }
  void fail() override {
    calls().SetUSBTimeouts(handle_, kUsbDeviceAfterFirst, kUsbDeviceAfterSecond);
    close();
  }
};

class SpoolerTransfer : public KindTransfer {
 public:
  using KindTransfer::KindTransfer;
  bool begin(const BlockPlan& plan) override {
    if (!open()) return false;
    // The spooler takes no empty document; an empty file sends nothing.
    document_ = plan.size > 0;
    if (document_ && !StartDocAndPage(handle_)) {
      close();  // the layer has closed the handle; this forgets it
      return false;
    }
    return true;
  }
  bool send(const uint8_t* data, int length) override { return FirmwareDownload(handle_, data, length) == length; }
  bool finish() override {
    if (document_ && !EndPageAndDoc(handle_)) return false;
    close();
    return true;
  }
  // A document still open is cancelled by the close.
  void fail() override { close(); }

 private:
  bool document_ = false;
};

class NibbleTransfer : public KindTransfer {
 public:
  using KindTransfer::KindTransfer;
  bool begin(const BlockPlan&) override { return open(); }  // with time-outs 2000/60000
  bool send(const uint8_t* data, int length) override {
    int status = -1;
    return calls().NibbleModeWrite(data, length, &status) == 1 && status == 0;
  }
  bool finish() override {
    close();
    return true;
  }
  void fail() override { close(); }
};

class NetTransfer : public KindTransfer {
 public:
  using KindTransfer::KindTransfer;
  // The connection the port dialog opened; the download opens none.
  bool begin(const BlockPlan&) override { return PNET.handle.load() != -1; }
  bool send(const uint8_t* data, int length) override { return WriteNetPort(data, length); }
  bool finish() override { return true; }
  void fail() override {}
};

class UsbPrinterTransfer : public KindTransfer {
 public:
  using KindTransfer::KindTransfer;
  // By name with the printer-class call, time-outs 9000/2000.
  bool begin(const BlockPlan&) override { return open(); }
  bool send(const uint8_t* data, int length) override {
    int written = 0;
    return calls().WriteUSBPrinter(handle_, data, length, &written) != 0 && written == length;
  }
  bool finish() override {
    calls().SetTimeout(kUsbPrinterAfterReadMs, kUsbPrinterAfterWriteMs);
    return true;
  }
  // Closed with the printer-class call that opened it, in custom mode too.
  void fail() override {
    calls().SetTimeout(kUsbPrinterAfterReadMs, kUsbPrinterAfterWriteMs);
    close();
  }
};

std::unique_ptr<KindTransfer> TransferFor(int kind) {
  switch (kind) {
    case PortCOM: return std::make_unique<SerialTransfer>(kind);
    case PortLPT: return std::make_unique<ParallelTransfer>(kind);
    case PortUSB: return std::make_unique<UsbDeviceTransfer>(kind);
    case PortDriver: return std::make_unique<SpoolerTransfer>(kind);
    case PortNibbleLPT: return std::make_unique<NibbleTransfer>(kind);
    case PortNet: return std::make_unique<NetTransfer>(kind);
    case PortUSBPrinter: return std::make_unique<UsbPrinterTransfer>(kind);
    default: return nullptr;
  }
}

}  // namespace

bool DownloadFile(const std::string& path, int portType, const DownloadProgress& progress,
                  const std::atomic<bool>* abandon) {
  FileSnapshot file;
  if (!file.take(path)) return false;
  const std::unique_ptr<KindTransfer> transfer = TransferFor(portType);
  if (!transfer) return false;
  const BlockPlan plan = PlanBlocks(file.size());
  if (!transfer->begin(plan)) return false;

  const uint8_t* block = file.data();
  for (uint64_t k = 0; k < plan.blockCount(); ++k) {
    const int length = plan.blockLength(k);
    if ((abandon && abandon->load(std::memory_order_relaxed)) || !transfer->send(block, length)) {
      transfer->fail();
      return false;
    }
    block += length;
    if (progress) progress(plan.positionAfter(k));
  }
  // What went out is the version read at the start, whole. A file changed
  // since (rewritten, grown, shrunk, renamed) still fails the download, as
  // the printer no longer holds what the file does.
  if (!file.unchanged()) {
    transfer->fail();
    return false;
  }
  file.close();
  if (!transfer->finish()) {
    transfer->fail();
    return false;
  }
  return true;
}

ScopedBeforeDownloadRead::ScopedBeforeDownloadRead(std::function<void(const DownloadRead&)> hook)
    : saved_(std::move(g_beforeRead)) {
  g_beforeRead = std::move(hook);
}

ScopedBeforeDownloadRead::~ScopedBeforeDownloadRead() { g_beforeRead = std::move(saved_); }

TFirmwareUpdateThread::~TFirmwareUpdateThread() {
  abandon();
  join();
}

void TFirmwareUpdateThread::start(std::string path, int portType, DownloadProgress progress, Finished finished) {
  join();
  abandon_ = false;
  running_ = true;
  thread_ = std::thread([this, path = std::move(path), portType, progress = std::move(progress),
                         finished = std::move(finished)] {
    const bool ok = DownloadFile(path, portType, progress, &abandon_);
    running_ = false;
    if (finished) finished(ok);
  });
}

void TFirmwareUpdateThread::join() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace torva::tools
