// Parallel transports: the plain parallel port written as a file (PortLPT) and
// the nibble-mode library (PortNibbleLPT, see ParReverse.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Descriptor of the most recent parallel open; -1 on failure.
extern std::atomic<int> m_hdev_LPT;

// Opens "LPT1".."LPT4" (see PortNames.h) for reading and writing, exclusive;
// write time-out 2000 ms + 2000 ms a byte. Returns the descriptor or -1.
int OpenLPT(const std::string& Name);
bool CloseLPT(int handle);
// Writes the whole block within the write time-out; true exactly when
// `length` bytes were written. A busy printer (the driver answers EAGAIN and
// cannot be polled) is asked again after short sleeps until the deadline.
// A printer that has taken no byte for 4 s (the constant plus one byte's
// share) fails the write at once: a slow printer that keeps taking bytes
// still gets the whole time-out, a stalled one does not hold the caller.
bool WriteLPT(int handle, const uint8_t* data, int length);

// Opens the nibble library on LPTParameter.Number with the program's folder;
// when that gives 1, hands the two time-outs to SetTimeoutInfo. Returns the
// library's open result (1 means open).
int OpenNibbleLPTPort(int recvTimeout, int sendTimeout);
void CloseNibbleLPTPort();

// Folder of the running program, with a trailing '/'.
std::string ProgramDirectory();
