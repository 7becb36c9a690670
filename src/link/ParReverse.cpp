// Placeholder until the nibble-mode layer lands.
#include "link/ParReverse.h"

namespace ParReverse {
int DriverOpenEx(uint16_t, int, int, const std::string&) { return 0; }
void DriverClose() {}
int IsPARIdle() { return 0; }
int NibbleModeWrite(const uint8_t*, int, int* status) { if (status) *status = 1; return 0; }
int NibbleModeRead(uint8_t*, int, int* status) { if (status) *status = 1; return 0; }
void SetTimeoutInfo(int, int) {}
}  // namespace ParReverse
