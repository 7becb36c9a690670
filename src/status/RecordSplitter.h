// Splitting a byte stream into whole status records.
//
// A printer that sends its status by itself (the eight-byte record after
// 1D 61 FF, the VD-K773's custom stream after 1D E0 FF) may leave several
// records, or part of one, in the serial input queue between two polls. The
// splitter takes what was read, hands out every whole record in the order it
// arrived and keeps the bytes of a partial record for the next read, so a
// record split across two reads never shifts the records after it. It holds
// at most a whole number of records; a read asks for no more than room().
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace torva::status {

using RecordBytes = std::vector<uint8_t>;

class RecordSplitter {
 public:
  // `capacity` is rounded down to a whole number of records, and is at least
  // one record.
  explicit RecordSplitter(size_t recordLength, size_t capacity = 256);

  size_t recordLength() const { return length_; }
  size_t capacity() const { return capacity_; }
  // Bytes of a partial record held for the next read.
  size_t pending() const { return partial_.size(); }
  // The most bytes the next read may take.
  size_t room() const { return capacity_ - partial_.size(); }

  // Takes at most room() of the bytes (the count taken is returned through
  // `taken` when given) and returns the whole records they complete, oldest
  // first.
  std::vector<RecordBytes> feed(std::span<const uint8_t> bytes, size_t* taken = nullptr);
  // Drops a partial record (a new polling run, a flushed port).
  void clear() { partial_.clear(); }

 private:
  size_t length_;
  size_t capacity_;
  RecordBytes partial_;
};

// Serial: reads what the driver has queued on `fd`, at most splitter.room()
// bytes, and appends the whole records to `records`. With nothing queued the
// read succeeds with no records. False when the queue cannot be asked, the
// read fails, or the line has hung up with nothing queued.
bool ReadQueuedRecords(int fd, RecordSplitter& splitter, std::vector<RecordBytes>& records, int timeoutMs);

// Nibble-mode parallel port: one record of `length` bytes through the reverse
// channel; false unless exactly `length` bytes came.
bool ReadNibbleRecord(uint8_t* buffer, int length);

// USB printer in the VD-K773 custom mode: one status record per transfer.
// With class mode 1 the transfer is the class byte and the record (the class
// byte is dropped); with class mode 0 it is the record alone. The common read
// routine is switched to its status-record framing (iReadType 1) for the
// read and back afterwards (the link's ReadCustomStatusRecord). False unless
// the whole transfer came.
bool ReadCustomUsbRecord(int handle, uint8_t* buffer, int length);

}  // namespace torva::status
