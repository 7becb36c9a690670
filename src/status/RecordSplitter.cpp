#include "status/RecordSplitter.h"

#include <poll.h>
#include <sys/ioctl.h>

#include <algorithm>

#include "link/EepromControl.h"
#include "link/PortState.h"

namespace torva::status {

RecordSplitter::RecordSplitter(size_t recordLength, size_t capacity) : length_(std::max<size_t>(recordLength, 1)) {
  capacity_ = std::max<size_t>(capacity / length_, 1) * length_;
  partial_.reserve(capacity_);
}

std::vector<RecordBytes> RecordSplitter::feed(std::span<const uint8_t> bytes, size_t* taken) {
  const size_t n = std::min(bytes.size(), room());
  if (taken) *taken = n;
  std::vector<RecordBytes> out;
  size_t pos = 0;
  // Complete the partial record first, then whole records straight from the
  // input; what is left over starts the next partial record.
  if (!partial_.empty()) {
    const size_t need = std::min(length_ - partial_.size(), n);
    partial_.insert(partial_.end(), bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(need));
    pos = need;
    if (partial_.size() < length_) return out;
    out.push_back(partial_);
    partial_.clear();
  }
  while (n - pos >= length_) {
    out.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(pos),
                     bytes.begin() + static_cast<std::ptrdiff_t>(pos + length_));
    pos += length_;
  }
  partial_.assign(bytes.begin() + static_cast<std::ptrdiff_t>(pos), bytes.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

bool ReadQueuedRecords(int fd, RecordSplitter& splitter, std::vector<RecordBytes>& records, int timeoutMs) {
  if (fd <= 0) return false;
  int queued = 0;
  if (::ioctl(fd, FIONREAD, &queued) != 0 || queued < 0) return false;
  if (queued == 0) {
    // Nothing waiting is no error, unless the line itself has gone.
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL))) return false;
    return true;
  }
  const int n = static_cast<int>(std::min<size_t>(static_cast<size_t>(queued), splitter.room()));
  RecordBytes buf(static_cast<size_t>(n));
  if (!POSReadPort(PortCOM, fd, buf.data(), n, timeoutMs)) return false;
  for (auto& r : splitter.feed(buf)) records.push_back(std::move(r));
  return true;
}

bool ReadNibbleRecord(uint8_t* buffer, int length) {
  return POSReadPort(PortNibbleLPT, 0, buffer, length, 0);
}

bool ReadCustomUsbRecord(int handle, uint8_t* buffer, int length) {
  return ReadCustomStatusRecord(handle, buffer, length);
}

}  // namespace torva::status
