// Descriptor-level helpers shared by the serial and parallel transports and
// the common read and write routines, and the seam below the termios calls.
//
// The serial transport never calls tcgetattr, tcsetattr, tcflush, the
// modem-line ioctls or the output-queue count directly, and the shared write
// routine never calls write(2) directly: they go through SerialTermiosCalls().
// The table points at the real calls; tests replace entries to play a port
// that a pseudo-terminal cannot be (7 data bits, parity, modem lines, a CTS
// line held low so that written bytes never leave, a busy printer) and to see
// the settings asked.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace serialio {
// The real calls behind the table's later entries.
int RealOutQueue(int fd, int* count);
int RealFlush(int fd, int queue);
ssize_t RealWrite(int fd, const void* data, size_t n);
}  // namespace serialio

struct SerialCalls {
  int (*getAttr)(int fd, termios* t);
  int (*setAttr)(int fd, int action, const termios* t);
  // ioctl with an int argument: TIOCMGET, TIOCMBIS, TIOCMBIC.
  int (*modemIoctl)(int fd, unsigned long request, int* bits);
  // Bytes written to a terminal that have not left it yet (TIOCOUTQ); 0 on
  // success, -1 when the descriptor cannot tell.
  int (*outQueue)(int fd, int* count) = &serialio::RealOutQueue;
  // tcflush: discards a queue (TCIFLUSH, TCOFLUSH, TCIOFLUSH).
  int (*flush)(int fd, int queue) = &serialio::RealFlush;
  // write(2), as the shared write routine calls it.
  ssize_t (*write)(int fd, const void* data, size_t n) = &serialio::RealWrite;
};

// The table in use; starts at the real calls.
SerialCalls& SerialTermiosCalls();
// The real calls, for tests that forward to them.
const SerialCalls& RealSerialCalls();

// Installs `calls` for as long as the object lives and restores the previous
// table at its end (tests use it to swap in fakes).
class ScopedSerialCalls {
 public:
  explicit ScopedSerialCalls(const SerialCalls& calls);
  ~ScopedSerialCalls();
  ScopedSerialCalls(const ScopedSerialCalls&) = delete;
  ScopedSerialCalls& operator=(const ScopedSerialCalls&) = delete;

 private:
  SerialCalls saved_;
};

namespace serialio {

// Bytes queued for reading (FIONREAD); -1 when the call fails.
int QueuedInput(int fd);
// Discards the input queue (the table's flush, TCIFLUSH); false when the call
// fails.
bool PurgeInput(int fd);
// Discards both queues; descriptors that are not terminals are left alone.
void PurgeBoth(int fd);

// Writes all `length` bytes before `timeoutMs` has passed, continuing partial
// writes. While the device is full it waits in poll(POLLOUT); a device that
// reports itself ready and still refuses the bytes (a busy /dev/lpN, whose
// driver cannot be polled) is asked again after short sleeps, never in a
// tight loop. On a terminal the write counts only once the bytes have left
// the output queue (TIOCOUTQ reaches 0), asked with short sleeps until the
// same deadline: bytes held back by flow control (CTS low, XOFF) are not
// sent. When a terminal write fails its output queue is discarded, so that
// closing the port never waits for bytes that cannot leave. False when the
// device fails or the deadline passes first (some bytes may have gone out).
// With `stallMs` above 0 the write also fails once the device has taken no
// byte for that long (a printer that stopped taking bytes), however far the
// deadline still is; each byte it takes starts that wait again.
bool WriteAllWithin(int fd, const uint8_t* data, int length, int timeoutMs, int stallMs = 0);

// The stall bound of every printer write on the serial and the parallel port:
// a printer that has taken no byte for this long (a full buffer that never
// empties, XOFF or a CTS line held low) fails the write, whatever time-out
// the write still has. A printer that keeps taking bytes, however slowly,
// gets the whole time-out.
inline constexpr int kPrinterStallMs = 4000;

// Discards what a terminal still holds for output when it holds anything;
// descriptors that are not terminals are left alone. Called before a serial
// port is closed, so the close never waits for the kernel's closing wait.
void DiscardPendingOutput(int fd);

// Waits in poll(POLLIN) for input until the steady-clock millisecond tick
// `deadline`. Returns 1 when input is there, 0 at the deadline, -1 when the
// descriptor failed or hung up with nothing to read.
int WaitInput(int fd, uint64_t deadline);

// Waits in ppoll(POLLIN) at most `micros` microseconds for input to come.
// Returns 1 when input is queued, 0 when none came, -1 when the descriptor
// failed or hung up with nothing to read.
int WaitInputMicros(int fd, int micros);

// The time one character takes on a serial line of `baud` with these data
// bits, parity ("None", "Odd", "Even") and stop bits: start bit, data bits,
// parity bit, stop bits; in microseconds, rounded up.
int CharacterMicros(int baud, int dataBits, const std::string& parity, int stopBits);

// Once input has begun to arrive, waits until `wanted` bytes are queued, the
// line has been quiet for `quietMs`, or the deadline is reached; returns the
// count queued then (-1 on failure).
int WaitForBurst(int fd, int wanted, int quietMs, uint64_t deadline);

// Reads up to `length` bytes that are queued now; the count read, 0 when
// nothing was there, -1 on failure.
int ReadQueued(int fd, uint8_t* buffer, int length);

// Sleeps ms milliseconds without scaling (polling intervals, not printer waits).
void PauseMs(int ms);

}  // namespace serialio
