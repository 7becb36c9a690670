// Common write and read routines by port kind.
//
// Serial reads wait in poll() until a steady-clock deadline instead of
// polling the driver in a loop; the results are those of a polling read:
//   - the exact read delivers `length` bytes once that many have arrived
//     (bytes after them stay queued), else fails at the deadline;
//   - the any-count read delivers what arrived first, up to `length` bytes,
//     once the line has been quiet for 10 ms;
//   - every timed-out serial read discards the input queue, so a late reply
//     is not taken for the answer to the next command.
//
// USB-printer replies that carry leading bytes are read through a scratch
// buffer of kUsbScratchSize bytes; a framed request that would not fit is
// refused without a read. In the VD-K773 custom mode with class mode 1 every
// reply begins with one class byte, and a reply to a command adds
// iStatusBytes status bytes before the payload.
#include "link/EepromControl.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/LPTUnit.h"
#include "link/NetUnit.h"
#include "link/ParReverse.h"
#include "link/PortState.h"
#include "link/SerialIo.h"
#include "link/USBUnit.h"

namespace {

constexpr int kQuietGapMs = 10;       // a burst has ended after this much silence
constexpr int kUsbReadPauseMs = 30;   // the printer needs this before an exact USB read
constexpr int kNibbleIdleWaitMs = 2000;
constexpr int kNibbleIdlePollMs = 50;

const PortLibraryCalls kRealCalls{
    UsbDevice::uWrite,
    UsbDevice::uRead,
    UsbPrinter::WriteUSBPrinter,
    UsbPrinter::ReadUSBPrinter,
    UsbPrinter::GetPrnStatus,
    UsbPrinter::WriteQfUSBPrinter,
    UsbPrinter::ReadQfUSBPrinter,
    ParReverse::IsPARIdle,
    ParReverse::NibbleModeWrite,
    ParReverse::NibbleModeRead,
    ReadNetPort,
    UsbDevice::GetSpecStatus,
    UsbDevice::SendSpecCommand,
    UsbDevice::SetUSBTimeouts,
    UsbPrinter::SetTimeout,
    UsbPrinter::SetPortTimeout,
    UsbDevice::uReadWaiting,
    UsbPrinter::ReadUSBPrinterWaiting,
    UsbPrinter::ReadQfUSBPrinterWaiting,
};
PortLibraryCalls g_calls = kRealCalls;

uint64_t DeadlineAfter(int timeoutMs) { return torva::TickMs() + static_cast<uint64_t>(std::max(timeoutMs, 0)); }

// The port's write time-out bounds the whole write; a printer that takes no
// byte for the stall bound (XOFF, CTS held low) fails it sooner.
bool SerialWrite(int handle, const uint8_t* data, int length) {
  if (handle <= 0) return false;
  return serialio::WriteAllWithin(handle, data, length, SerialWriteTimeoutMs(handle, length),
                                  serialio::kPrinterStallMs);
}

// Exact serial read: `length` bytes within the timeout, else false with the
// input queue emptied. Bytes that came before the deadline but too few are
// collected aside and dropped with the queue; the caller's buffer is written
// only on success.
bool ComReadExact(int fd, uint8_t* buffer, int length, int timeoutMs) {
  const uint64_t deadline = DeadlineAfter(timeoutMs);
  std::vector<uint8_t> got(static_cast<size_t>(length));
  int have = 0;
  while (serialio::WaitInput(fd, deadline) > 0) {
    const int n = serialio::ReadQueued(fd, got.data() + have, length - have);
    if (n < 0) break;
    have += n;
    if (have == length) {
      std::memcpy(buffer, got.data(), static_cast<size_t>(length));
      return true;
    }
    // A queue count that the read does not bear out must not keep the loop
    // going past the deadline.
    if (n == 0 && torva::TickMs() >= deadline) break;
  }
  serialio::PurgeInput(fd);
  return false;
}

// The first burst that arrives within the timeout, at most `capacity` bytes,
// read once the line has been quiet for kQuietGapMs (or the buffer is full).
// With `whole`, true only when every byte of the burst that fits was read;
// otherwise true when at least one byte was. A time-out empties the queue.
// Serves the any-count read and the queued read.
bool ComReadBurst(int fd, uint8_t* buffer, int capacity, int timeoutMs, bool whole) {
  const uint64_t deadline = DeadlineAfter(timeoutMs);
  if (serialio::WaitInput(fd, deadline) > 0) {
    const int queued = serialio::WaitForBurst(fd, capacity, kQuietGapMs, deadline);
    if (queued > 0) {
      const int want = std::min(queued, capacity);
      const int n = serialio::ReadQueued(fd, buffer, want);
      return whole ? n == want : n > 0;
    }
  }
  serialio::PurgeInput(fd);
  return false;
}

// Custom mode with class mode 1: the leading bytes of a reply to a command,
// the class byte and the status bytes.
int CustomReplyPrefix() { return 1 + std::max(iStatusBytes.load(), 0); }

bool UsbPrinterReadExact(int handle, uint8_t* buffer, int length) {
  if (!IsK773CustomMode()) {
    int read = 0;
    g_calls.ReadUSBPrinter(handle, buffer, length, &read);
    return read == length;
  }
  if (iUSBClassMode.load() != 1 || iReadType.load() == 0) return ReadCustomUsbReply(buffer, length);

  // A status record: the class byte is dropped, the caller's last byte is
  // left as it was.
  uint8_t scratch[kUsbScratchSize];
  if (length > kUsbScratchSize) return false;
  if (g_calls.ReadQfUSBPrinter(scratch, length) != length) return false;
  std::memcpy(buffer, scratch + 1, static_cast<size_t>(length - 1));
  return true;
}

bool UsbPrinterReadAny(int handle, uint8_t* buffer, int length) {
  uint8_t scratch[kUsbScratchSize];
  if (!IsK773CustomMode()) {
    if (iReadType.load() == 0) {
      if (length > kUsbScratchSize) return false;
      int read = 0;
      g_calls.ReadUSBPrinter(handle, scratch, length, &read);
      if (read <= 0) return false;
      std::memcpy(buffer, scratch, static_cast<size_t>(std::min(read, length)));
      return true;
    }
    // The status request is asked for one byte more than the caller takes;
    // only the bytes it reports are fresh.
    if (length + 1 > kUsbScratchSize) return false;
    int got = 0;
    g_calls.GetPrnStatus(handle, scratch, length + 1, &got);
    if (got <= 0) return false;
    std::memcpy(buffer, scratch, static_cast<size_t>(std::min(got, length)));
    return true;
  }
  if (iUSBClassMode.load() != 1) return g_calls.ReadQfUSBPrinter(buffer, length) > 0;

  if (iReadType.load() != 0) {
    if (length > kUsbScratchSize) return false;
    const int n = g_calls.ReadQfUSBPrinter(scratch, length);
    if (n <= 0) return false;
    std::memcpy(buffer, scratch, static_cast<size_t>(std::min(n, length)));
    return true;
  }
  const int prefix = CustomReplyPrefix();
  const int payload = isADPress.load() == 1 ? 7 : length;  // the A/D record has 7 bytes
  if (payload > kUsbScratchSize - prefix) return false;
  const int n = g_calls.ReadQfUSBPrinter(scratch, prefix + payload);
  if (n <= 0) return false;
  const int fresh = std::min(std::min(n, prefix + payload) - prefix, length);
  if (fresh > 0) std::memcpy(buffer, scratch + prefix, static_cast<size_t>(fresh));
  return true;
}

// The USB writes both write routines make: the whole block, counted done only
// when every byte went out.
bool UsbDeviceWrite(int handle, const uint8_t* data, int length) {
  return g_calls.uWrite(handle, 0, data, length) == length;
}

bool UsbPrinterClassWrite(int handle, const uint8_t* data, int length) {
  int written = 0;
  return g_calls.WriteUSBPrinter(handle, data, length, &written) != 0 && written == length;
}

bool NibbleWrite(const uint8_t* data, int length) {
  const uint64_t deadline = DeadlineAfter(kNibbleIdleWaitMs);
  for (;;) {
    if (g_calls.IsPARIdle()) {
      int status = -1;
      return g_calls.NibbleModeWrite(data, length, &status) == 1 && status == 0;
    }
    if (torva::TickMs() >= deadline) return false;
    serialio::PauseMs(kNibbleIdlePollMs);
  }
}

}  // namespace

const PortLibraryCalls& RealPortLibraryCalls() { return kRealCalls; }
PortLibraryCalls& CurrentPortLibraryCalls() { return g_calls; }
ScopedPortLibraryCalls::ScopedPortLibraryCalls(const PortLibraryCalls& calls) : saved_(g_calls) { g_calls = calls; }
ScopedPortLibraryCalls::~ScopedPortLibraryCalls() { g_calls = saved_; }

bool ContainsAutoStatusCommand(const uint8_t* data, int length) {
  if (data == nullptr || length <= 0) return false;
  const uint8_t* end = std::find(data, data + length, uint8_t{0});
  static const uint8_t kCommand[] = {0x1D, 0x61};
  static const char kTyped[] = "#$1d#$61";
  if (std::search(data, end, kCommand, kCommand + 2) != end) return true;
  return std::search(data, end, kTyped, kTyped + 8) != end;
}

bool ReadCustomUsbReply(uint8_t* buffer, int length) {
  if (buffer == nullptr || length <= 0) return false;
  if (iUSBClassMode.load() != 1) return g_calls.ReadQfUSBPrinter(buffer, length) == length;
  const int prefix = CustomReplyPrefix();
  if (length > kUsbScratchSize - prefix) return false;
  uint8_t scratch[kUsbScratchSize];
  const int framed = prefix + length;
  if (g_calls.ReadQfUSBPrinter(scratch, framed) != framed) return false;
  std::memcpy(buffer, scratch + prefix, static_cast<size_t>(length));
  return true;
}

bool CustomReadAnswersReport(uint8_t address) {
  return address == kCustomModeAddress || (address == kCustomFlagAddress && iUSBClassMode.load() != 1);
}

bool ReadCustomUsbReport(uint8_t* report) {
  if (report == nullptr) return false;
  uint8_t scratch[kCustomReportLength];
  if (g_calls.ReadQfUSBPrinter(scratch, kCustomReportLength) != kCustomReportLength) return false;
  std::memcpy(report, scratch, sizeof scratch);
  return true;
}

bool POSWritePort(int portType, int handle, const uint8_t* data, int length) {
  if (length < 0 || (length > 0 && data == nullptr)) return false;
  switch (portType) {
    case PortCOM:
      return SerialWrite(handle, data, length);
    case PortLPT:
      return handle > 0 && WriteLPT(handle, data, length);
    case PortUSB:
      if (handle <= 0) return false;
      Include1D61 = ContainsAutoStatusCommand(data, length);
      return UsbDeviceWrite(handle, data, length);
    case PortUSBPrinter: {
      if (handle <= 0) return false;
      Include1D61 = ContainsAutoStatusCommand(data, length);
      if (IsK773CustomMode()) {
        const int n = g_calls.WriteQfUSBPrinter(data, length);
        return n != 0 && n == length;
      }
      return UsbPrinterClassWrite(handle, data, length);
    }
    case PortNibbleLPT:
      return NibbleWrite(data, length);
    default:  // PortNone, PortDriver, PortNet: they have their own writes
      return false;
  }
}

bool POSReadPort(int portType, int handle, uint8_t* buffer, int length, int timeoutMs) {
  if (buffer == nullptr || length <= 0) return false;
  switch (portType) {
    case PortCOM:
      return handle > 0 && ComReadExact(handle, buffer, length, timeoutMs);
    case PortNibbleLPT: {
      int status = 0;
      return g_calls.NibbleModeRead(buffer, length, &status) == length;
    }
    case PortUSB:
      if (handle <= 0) return false;
      torva::PrinterDelay(kUsbReadPauseMs);
      return g_calls.uRead(handle, 1, buffer, length) == length;
    case PortUSBPrinter:
      if (handle <= 0) return false;
      torva::PrinterDelay(kUsbReadPauseMs);
      return UsbPrinterReadExact(handle, buffer, length);
    case PortNet:
      return g_calls.ReadNetPort(buffer, length);
    default:  // PortNone, PortLPT, PortDriver
      return false;
  }
}

bool POSReadPort1(int portType, int handle, uint8_t* buffer, int length, int timeoutMs) {
  if (buffer == nullptr || length <= 0) return false;
  switch (portType) {
    case PortCOM:
      return handle > 0 && ComReadBurst(handle, buffer, length, timeoutMs, false);
    case PortNibbleLPT: {
      int status = 0;
      return g_calls.NibbleModeRead(buffer, length, &status) > 0;
    }
    case PortUSB:
      return handle > 0 && g_calls.uRead(handle, 1, buffer, length) > 0;
    case PortUSBPrinter:
      return handle > 0 && UsbPrinterReadAny(handle, buffer, length);
    default:  // PortNone, PortLPT, PortDriver, PortNet
      return false;
  }
}

bool ReadComAll(int handle, uint8_t* buffer, int capacity, int timeoutMs) {
  if (handle <= 0 || buffer == nullptr || capacity <= 0) return false;
  serialio::PurgeInput(handle);  // only what arrives from now on counts
  return ComReadBurst(handle, buffer, capacity, timeoutMs, true);
}

int ReadUsbPrinterReply(int handle, uint8_t* buffer, int capacity) {
  if (handle <= 0 || buffer == nullptr || capacity <= 0) return -1;
  if (!IsK773CustomMode()) {
    int read = 0;
    if (g_calls.ReadUSBPrinter(handle, buffer, capacity, &read) == 0 || read <= 0) return -1;
    return std::min(read, capacity);
  }
  const int prefix = iUSBClassMode.load() == 1 ? CustomReplyPrefix() : 0;
  if (capacity > INT_MAX - prefix) return -1;
  std::vector<uint8_t> transfer(static_cast<size_t>(prefix + capacity));
  const int n = g_calls.ReadQfUSBPrinter(transfer.data(), prefix + capacity);
  if (n <= 0) return -1;
  const int count = std::min(n, prefix + capacity) - prefix;
  if (count <= 0) return 0;
  std::memcpy(buffer, transfer.data() + prefix, static_cast<size_t>(count));
  return count;
}

bool ReadCustomStatusRecord(int handle, uint8_t* buffer, int length, int* transferred) {
  if (transferred) *transferred = 0;
  if (buffer == nullptr || length <= 0 || length >= kUsbScratchSize) return false;
  const bool custom = IsK773CustomMode();
  const bool classMode = iUSBClassMode.load() == 1;
  const int transfer = classMode ? length + 1 : length;
  std::vector<uint8_t> buf(static_cast<size_t>(transfer), 0);
  if (!custom) {
    // Outside the custom mode this is the plain exact read.
    if (!POSReadPort(PortUSBPrinter, handle, buf.data(), transfer, 2)) return false;
    std::memcpy(buffer, buf.data(), static_cast<size_t>(length));
    return true;
  }
  if (handle <= 0) return false;
  // The exact read's status-record framing (iReadType 1): the pause, then
  // one transfer of the custom channel, whose count is told to the caller
  // (a transfer too short to be a record is not a dead channel).
  const int readType = iReadType.exchange(1);
  torva::PrinterDelay(kUsbReadPauseMs);
  const int got = g_calls.ReadQfUSBPrinter(buf.data(), transfer);
  iReadType = readType;
  if (transferred) *transferred = std::max(got, 0);
  if (got != transfer) return false;
  // With the class byte dropped the record fills the first `length` places.
  std::memcpy(buffer, buf.data() + (classMode ? 1 : 0), static_cast<size_t>(length));
  return true;
}

namespace RWK201EEepromSet {

bool POSWritePort(int portType, int handle, const uint8_t* data, int length) {
  if (handle <= 0 || length < 0 || (length > 0 && data == nullptr)) return false;
  switch (portType) {
    case PortCOM:
      return SerialWrite(handle, data, length);
    case PortUSB:
      return UsbDeviceWrite(handle, data, length);
    case PortUSBPrinter:
      return UsbPrinterClassWrite(handle, data, length);
    default:
      return false;
  }
}

}  // namespace RWK201EEepromSet
