// Serial transport (PortCOM): open, configure and close a serial port.
// Returns raw descriptors; writing and reading by port kind is EepromControl's.
#pragma once

#include <atomic>
#include <string>

// Descriptor of the most recent serial open; -1 before and after a failed one.
extern std::atomic<int> m_hdev_Com;

// Opens Name (see PortNames.h) exclusively, sets speed, data bits, stop bits
// (1 or 2, anything else keeps the port's), flow control ("XON/XOFF" exactly
// gives software flow control, anything else RTS/CTS), parity ("None", "Odd",
// "Even", anything else keeps the port's); reads return at once with what is
// queued; writes time out after 3000 ms. Both queues are flushed. Returns the
// descriptor, or -1 with nothing left open. The descriptor is non-blocking;
// exclusive means O_NOCTTY + TIOCEXCL + flock(LOCK_EX|LOCK_NB). The settings
// are read back after they are applied: a port that keeps another byte size,
// parity, stop bits or speed than asked (a pseudo-terminal asked for 7 data
// bits) has refused them. Termios and modem-line calls go through the seam
// of SerialIo.h. DTR is lowered; RTS is raised with hardware flow control and
// lowered with software flow control.
int OpenCOM(const std::string& Name, int Baudrate, int Databits, int Stopbits, const std::string& Handshake,
            const std::string& Parity);
// As OpenCOM, but only the input queue is discarded: what an earlier open of
// the port wrote and the far end has not taken yet still goes out. The
// download reopens the port before every block, and a line whose output queue
// cannot be asked (a pseudo-terminal answers 0 at once) may still hold the
// previous block then.
int OpenCOMKeepingOutput(const std::string& Name, int Baudrate, int Databits, int Stopbits,
                         const std::string& Handshake, const std::string& Parity);
// As OpenCOM, with the connection test's write time-out (2000 ms + 2000 ms a
// byte); a printer that takes no byte for 4 s still fails the write then.
int OpenCOM1(const std::string& Name, int Baudrate, int Databits, int Stopbits, const std::string& Handshake,
             const std::string& Parity);
// Opens Name, asks the modem lines, closes: true when CTS is on.
bool CheckComConnect(const std::string& Name);
// Closes the descriptor (giving up the exclusive mode first and discarding
// output that has not left); true when the close succeeded; a handle of 0 or less is never closed. The caller stores -1;
// m_hdev_Com is set to -1 when it holds this handle.
bool CloseCOM(int handle);

// Sets the write time-out of a descriptor opened by OpenCOM/OpenCOM1 to
// constantMs + perByteMs a byte, for as long as it stays open (the command
// console's hex Send asks 30000 ms). False for a descriptor this unit did not
// open, or a negative time.
bool SetComWriteTimeout(int handle, int constantMs, int perByteMs = 0);

// Write time-out of a serial descriptor opened by OpenCOM/OpenCOM1, in ms for
// a write of `length` bytes (the driver has no write time-out of its own here);
// 3000 for a descriptor this unit did not open. A write succeeds only when its
// bytes have left the port's output queue within this time; one that sees the
// printer take no byte for serialio::kPrinterStallMs (4 s) fails sooner.
int SerialWriteTimeoutMs(int handle, int length);
