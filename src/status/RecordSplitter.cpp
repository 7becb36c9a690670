#include "status/RecordSplitter.h"

#include <poll.h>

#include <algorithm>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "link/SerialIo.h"

namespace torva::status {

namespace {
constexpr size_t kQueuedReadBytes = 256;
// A record still arriving has ended after this much silence on the line.
constexpr int kRecordQuietMs = 10;
}  // namespace

size_t QueuedReadCapacity(size_t recordLength) {
  const size_t len = std::max<size_t>(recordLength, 1);
  return std::max<size_t>(kQueuedReadBytes / len, 1) * len;
}

size_t SplitRecords(std::span<const uint8_t> bytes, size_t recordLength, std::vector<RecordBytes>& records) {
  const size_t len = std::max<size_t>(recordLength, 1);
  size_t pos = 0;
  for (; bytes.size() - pos >= len; pos += len)
    records.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                         bytes.begin() + static_cast<std::ptrdiff_t>(pos + len));
  return bytes.size() - pos;
}

RecordRead ReadQueuedRecords(int fd, size_t recordLength, std::vector<RecordBytes>& records, int timeoutMs) {
  if (fd <= 0) return RecordRead::Failed;
  const size_t len = std::max<size_t>(recordLength, 1);
  int queued = serialio::QueuedInput(fd);
  if (queued < 0) return RecordRead::Failed;
  if (queued == 0) {
    // Nothing waiting is no error, unless the line itself has gone.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return RecordRead::Failed;
    return RecordRead::Whole;
  }
  const size_t capacity = QueuedReadCapacity(len);
  if (static_cast<size_t>(queued) < capacity && queued % len != 0) {
    // Part of a record: the rest of it may be on its way.
    const int wanted = static_cast<int>(std::min(capacity, (queued / len + 1) * len));
    queued = serialio::WaitForBurst(fd, wanted, kRecordQuietMs, torva::TickMs() + std::max(timeoutMs, 0));
    if (queued < 0) return RecordRead::Failed;
  }
  const int n = static_cast<int>(std::min(static_cast<size_t>(queued), capacity));
  RecordBytes buf(static_cast<size_t>(n));
  if (!POSReadPort(PortCOM, fd, buf.data(), n, timeoutMs)) return RecordRead::Failed;
  return SplitRecords(buf, len, records) == 0 ? RecordRead::Whole : RecordRead::Disturbed;
}

bool ReadNibbleRecord(uint8_t* buffer, int length) {
  return POSReadPort(PortNibbleLPT, 0, buffer, length, 0);
}

RecordRead ReadCustomUsbRecord(int handle, uint8_t* buffer, int length) {
  int transferred = 0;
  if (ReadCustomStatusRecord(handle, buffer, length, &transferred)) return RecordRead::Whole;
  return transferred > 0 ? RecordRead::Disturbed : RecordRead::Failed;
}

}  // namespace torva::status
