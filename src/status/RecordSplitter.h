// Splitting a byte stream into whole status records.
//
// A printer that sends its status by itself (the eight-byte record after
// 1D 61 FF, the VD-K773's custom stream after 1D E0 FF) may leave several
// records in the serial input queue between two polls. Each read is split
// into whole records from its first byte on, and a trailing part shorter than
// a record is ignored: it is never kept as the start of the next record, so a
// stray or surplus byte spoils only the read it came in. The read says so,
// and the poller then clears the input and asks the printer afresh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace torva::status {

using RecordBytes = std::vector<uint8_t>;

// The most bytes one read of the queue takes: 256, rounded down to a whole
// number of records (at least one record), so what stays queued beyond it
// still starts at a record.
size_t QueuedReadCapacity(size_t recordLength);

// Appends the whole records of `bytes` to `records`, oldest first; returns
// how many bytes were left over behind the last whole record (ignored).
size_t SplitRecords(std::span<const uint8_t> bytes, size_t recordLength, std::vector<RecordBytes>& records);

// What one status read found.
enum class RecordRead {
  Failed,     // the port failed: nothing came, the call or the read failed, or the line hung up
  Whole,      // whole records only (on a serial queue none when nothing was queued)
  Disturbed,  // bytes that make no whole record came too: they were ignored
};

// Serial: reads what the driver has queued on `fd`, at most
// QueuedReadCapacity bytes, and appends the whole records to `records`. When
// the count queued is not a whole number of records, a record may still be
// arriving: the read first waits until the line has been quiet for a moment
// (at most `timeoutMs`), then takes what is there.
RecordRead ReadQueuedRecords(int fd, size_t recordLength, std::vector<RecordBytes>& records, int timeoutMs);

// Nibble-mode parallel port: one record of `length` bytes through the reverse
// channel; false unless exactly `length` bytes came.
bool ReadNibbleRecord(uint8_t* buffer, int length);

// USB printer in the VD-K773 custom mode: one status record per transfer.
// With class mode 1 the transfer is the class byte and the record (the class
// byte is dropped); with class mode 0 it is the record alone (the link's
// ReadCustomStatusRecord). A transfer that brought fewer bytes than that is
// no record (Disturbed: a stray byte, say); one that brought nothing, or a
// failed call, is Failed.
RecordRead ReadCustomUsbRecord(int handle, uint8_t* buffer, int length);

}  // namespace torva::status
