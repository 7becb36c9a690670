// Nibble-mode (reverse channel) parallel port library on Linux ppdev.
// One port is open at a time; the library keeps its own descriptor.
#pragma once

#include <cstdint>
#include <string>

namespace ParReverse {

// Opens the parallel port `port` (1..4, see NibbleDeviceForPort) and claims it.
// `mode` and `flags` are kept for the callers' sake (1 and 0). Returns 1 on
// success, 0 on failure.
int DriverOpenEx(uint16_t port, int mode, int flags, const std::string& folder);
void DriverClose();
// Non-zero when the port is open and the printer is not busy.
int IsPARIdle();
// Writes the block in compatibility mode; returns 1 on success and sets
// *status to 0, else 0 with *status non-zero.
int NibbleModeWrite(const uint8_t* data, int length, int* status);
// Reads up to `length` bytes through the reverse channel in nibble mode;
// returns the count read, 0 when nothing came.
int NibbleModeRead(uint8_t* buffer, int length, int* status);
// Receive and send time-outs in ms.
void SetTimeoutInfo(int recvTimeout, int sendTimeout);

}  // namespace ParReverse
