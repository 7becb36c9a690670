// Port names of the user interface ("COM1", "LPT2") and the devices behind them.
//
//   "COMn"  -> $TORVA_COMn, else /dev/ttyS(n-1)      (n = 1..8)
//   "LPTn"  -> $TORVA_LPTn, else /dev/lp(n-1)        plain parallel writes
//   nibble  -> $TORVA_PARPORTn, else /dev/parport(n-1) (reverse-mode reads)
// Any other name is used as a device path as it stands (an absolute path, for
// example), so tests and users can name a device directly.
#pragma once

#include <string>

std::string SerialDeviceForPort(const std::string& name);
std::string ParallelDeviceForPort(const std::string& name);
std::string NibbleDeviceForPort(int number);
