// The download's transfer: one file sent to the printer byte for byte as it
// is stored, in blocks of 1024 bytes and then the remainder, over the
// configured port kind, with no framing and no reply awaited.
//
// Each kind opens its port through the port session (kDownloadPortPlan) and
// has its own steps around the blocks:
//   serial      every block, the remainder too, is preceded by a close, a
//               CTS probe of the line (CheckComConnect) and a reopen, and is
//               written through the common write, which returns once the
//               bytes have left the port; the reopen discards the input
//               queue only, so a line that cannot tell its output queue (a
//               pseudo-terminal) still delivers the previous block whole;
//   parallel    WriteLPT;
//   USB device  time-outs 20/90 for the transfer, 20/30 after it, and a
//               1000 ms pause (PrinterDelay) before success is reported;
//   spooler     one RAW document for the whole file (none for an empty one);
//   nibble      the library opened with 2000/60000 ms time-outs;
//   Ethernet    the connection the port dialog opened; none open: a failure;
//   USB printer opened by name with the printer-class call in every mode,
//               time-outs 9000/2000 for the transfer and 3000/2000 after it.
// A successful transfer leaves the serial, parallel, USB device and USB
// printer ports open (the next action reopens them); the spooler and nibble
// ports are closed. A failure releases the port (closing it with the call
// that opened it) and is reported as one outcome, whatever went wrong.
//
// The printer gets one version of the file, whole: the file is read into
// memory before the port is opened (at most kDownloadMaxBytes) and the blocks
// are sent from there, so nothing done to the file during the transfer, a
// write through a shared mapping included, reaches the printer. The file is
// read twice and both reads must agree, and its device, inode, size,
// modification and change time must not change meanwhile: a file that changes
// while it is read fails before anything is sent. Success also needs the
// file unchanged at the end (not rewritten, grown, shrunk or renamed), so
// that the printer holds what the file still holds.
//
// No widget here: TFirmwareUpdateThread runs the transfer on a thread of its
// own and reports progress and the end through callbacks on that thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "link/PortSession.h"
#include "tools/ConsoleCommands.h"

namespace torva::tools {

inline constexpr int kDownloadBlockSize = 1024;
// The largest file a download takes: the whole file is held in memory while
// it is sent. Firmware, settings images and fonts are far smaller.
inline constexpr uint64_t kDownloadMaxBytes = uint64_t{64} << 20;

// The chosen file's extension with its dot, as its name has it (".JK"); empty
// for a name without one. Chooses the success message.
extern std::string ExtendName;

// The blocks a file of `size` bytes is sent in.
struct BlockPlan {
  uint64_t size = 0;
  uint64_t fullBlocks = 0;  // size div 1024
  uint32_t tail = 0;        // size mod 1024, sent last when not 0
  uint64_t blockCount() const { return fullBlocks + (tail > 0 ? 1 : 0); }
  // Length of block k (k < blockCount()).
  int blockLength(uint64_t k) const { return k < fullBlocks ? kDownloadBlockSize : static_cast<int>(tail); }
  // The progress position once block k has gone: (k+1) x 1024, and the size
  // after the remainder.
  uint64_t positionAfter(uint64_t k) const {
    return k < fullBlocks ? (k + 1) * static_cast<uint64_t>(kDownloadBlockSize) : size;
  }
};
BlockPlan PlanBlocks(uint64_t size);

// A progress bar counts in int: positions of a file larger than the bar's
// range are shifted down until the size fits.
struct ProgressScale {
  int maximum = 1;  // the bar's maximum (at least 1, so an empty file shows an empty bar)
  int shift = 0;
  int value(uint64_t position) const { return static_cast<int>(position >> shift); }
};
ProgressScale ScaleProgress(uint64_t size);

// ".JK" of "/a/b/FIRM.JK"; empty when the name has no dot.
std::string ExtensionOf(const std::string& path);
// The success message for the extension, compared without regard to case:
// ".jk" asks to reopen the port, ".eep" to switch the printer off and on.
LinePair DownloadSuccessText(const std::string& extendName);

// How the download opens each kind (see above). Ethernet opens nothing; the
// close the download asks for itself.
inline constexpr torva::link::PortSessionPlan kDownloadPortPlan{
    .kinds = torva::link::kAllPortKinds,
    .keepOpen = torva::link::KindBit(PortNet),
    .usbPrinter = torva::link::UsbPrinterOpen::Plain,
    .serialDataBits = 0,
    .serialKeepsOutput = true,
    .netUsesStandingConnection = true,
    .openSpoolerQueue = true,
    .nibbleReceiveTimeoutMs = 2000,
    .nibbleSendTimeoutMs = 60000,
    .usbPrinterReadTimeoutMs = 9000,
    .usbPrinterWriteTimeoutMs = 2000,
    .usbDeviceFirstTimeout = 20,
    .usbDeviceSecondTimeout = 90,
};
// The time-outs the USB kinds are given back after the transfer.
inline constexpr int kUsbDeviceAfterFirst = 20;
inline constexpr int kUsbDeviceAfterSecond = 30;
inline constexpr int kUsbPrinterAfterReadMs = 3000;
inline constexpr int kUsbPrinterAfterWriteMs = 2000;
// The pause after the last block on the USB device.
inline constexpr int kUsbDeviceSettleMs = 1000;

// Runs the whole transfer of the file at `path` on the port of `portType`,
// on the calling thread; `progress` gets the position after every block.
// True on success; false too for a file larger than kDownloadMaxBytes, which
// is refused before the port is opened. `abandon`, when set between blocks,
// ends the transfer as a failure (the dialog is going away).
using DownloadProgress = std::function<void(uint64_t position)>;
bool DownloadFile(const std::string& path, int portType, const DownloadProgress& progress,
                  const std::atomic<bool>* abandon = nullptr);

// Tests: while an instance lives, `hook` runs on the transfer's thread just
// before each read of the file (in pieces of 64 KiB, the comparing second
// read too), the moment another process could change it.
struct DownloadRead {
  uint64_t offset = 0;
  bool comparing = false;  // the second read, which only compares
};
class ScopedBeforeDownloadRead {
 public:
  explicit ScopedBeforeDownloadRead(std::function<void(const DownloadRead&)> hook);
  ~ScopedBeforeDownloadRead();
  ScopedBeforeDownloadRead(const ScopedBeforeDownloadRead&) = delete;
  ScopedBeforeDownloadRead& operator=(const ScopedBeforeDownloadRead&) = delete;

 private:
  std::function<void(const DownloadRead&)> saved_;
};

// One transfer on a thread of its own.
class TFirmwareUpdateThread {
 public:
  using Finished = std::function<void(bool success)>;

  TFirmwareUpdateThread() = default;
  ~TFirmwareUpdateThread();  // abandons a transfer in progress and joins it
  TFirmwareUpdateThread(const TFirmwareUpdateThread&) = delete;
  TFirmwareUpdateThread& operator=(const TFirmwareUpdateThread&) = delete;

  // Starts the transfer (a finished one is joined first). Both callbacks run
  // on the transfer's thread; `finished` is its last act.
  void start(std::string path, int portType, DownloadProgress progress, Finished finished);
  bool running() const { return running_.load(); }
  // Waits for the thread to end.
  void join();
  // Ends the transfer before its next block, as a failure.
  void abandon() { abandon_ = true; }

 private:
  std::thread thread_;
  std::atomic<bool> running_{false};
  std::atomic<bool> abandon_{false};
};

}  // namespace torva::tools
