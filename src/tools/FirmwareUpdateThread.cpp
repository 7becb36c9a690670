#include "tools/FirmwareUpdateThread.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <vector>

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

// The file, read block by block; sizes are 64-bit.
class SourceFile {
 public:
  ~SourceFile() { close(); }
  bool open(const std::string& path) {
    // Only a regular file: a FIFO or a device could block the transfer or
    // never end.
    struct stat st {};
    fd_ = torva::gui::OpenRegularFile(QString::fromStdString(path), &st);
    if (fd_ < 0) return false;
    size_ = static_cast<uint64_t>(st.st_size);
    start_ = st;
    return true;
  }
  uint64_t size() const { return size_; }
  // True while the file is the one the transfer began with: the same device
  // and inode, size, modification and change time. A file rewritten, grown
  // or shrunk meanwhile would send half of one version and half of another.
  bool unchanged() const {
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return false;
    return st.st_dev == start_.st_dev && st.st_ino == start_.st_ino && st.st_size == start_.st_size &&
           st.st_mtim.tv_sec == start_.st_mtim.tv_sec && st.st_mtim.tv_nsec == start_.st_mtim.tv_nsec &&
           st.st_ctim.tv_sec == start_.st_ctim.tv_sec && st.st_ctim.tv_nsec == start_.st_ctim.tv_nsec;
  }
  // The next `length` bytes (at most kDownloadBlockSize), valid until the
  // next call; null when the file has fewer left (it shrank), has changed
  // since the start (asked before every read) or a read fails. The file is
  // read ahead in large pieces, so a block costs no system call and, mostly,
  // no copy.
  const uint8_t* next(int length) {
    const size_t want = static_cast<size_t>(length);
    if (filled_ - pos_ >= want) {
      const uint8_t* p = ahead_.data() + pos_;
      pos_ += want;
      return p;
    }
    // A block across two pieces is gathered in the block buffer.
    size_t done = 0;
    while (done < want) {
      if (pos_ == filled_ && !refill()) return nullptr;
      const size_t n = std::min(filled_ - pos_, want - done);
      std::memcpy(block_.data() + done, ahead_.data() + pos_, n);
      pos_ += n;
      done += n;
    }
    return block_.data();
  }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  bool refill() {
    if (!unchanged()) return false;
    for (;;) {
      const ssize_t n = ::read(fd_, ahead_.data(), ahead_.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      pos_ = 0;
      filled_ = static_cast<size_t>(n);
      return true;
    }
  }

  static constexpr size_t kReadAhead = 64 * 1024;
  int fd_ = -1;
  uint64_t size_ = 0;
  struct stat start_ {};
  std::vector<uint8_t> ahead_ = std::vector<uint8_t>(kReadAhead);
  std::array<uint8_t, kDownloadBlockSize> block_{};
  size_t pos_ = 0;
  size_t filled_ = 0;
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
  SourceFile file;
  if (!file.open(path)) return false;
  const std::unique_ptr<KindTransfer> transfer = TransferFor(portType);
  if (!transfer) return false;
  const BlockPlan plan = PlanBlocks(file.size());
  if (!transfer->begin(plan)) return false;

  for (uint64_t k = 0; k < plan.blockCount(); ++k) {
    const int length = plan.blockLength(k);
    const uint8_t* block = (abandon && abandon->load()) ? nullptr : file.next(length);
    if (!block || !transfer->send(block, length)) {
      transfer->fail();
      return false;
    }
    if (progress) progress(plan.positionAfter(k));
  }
  // Success only for a file that stayed as it was from the first read to the last.
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
