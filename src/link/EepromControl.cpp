// Placeholder until the common routines land.
#include "link/EepromControl.h"

bool POSWritePort(int, int, const uint8_t*, int) { return false; }
bool POSReadPort(int, int, uint8_t*, int, int) { return false; }
bool POSReadPort1(int, int, uint8_t*, int, int) { return false; }
bool ReadComAll(int, uint8_t*, int, int) { return false; }
bool ContainsAutoStatusCommand(const uint8_t*, int) { return false; }
namespace RWK201EEepromSet {
bool POSWritePort(int, int, const uint8_t*, int) { return false; }
}
