#include "sim/StatusLayouts.h"

namespace torva::sim {

namespace {
uint8_t Bit(bool on, int bit) { return on ? static_cast<uint8_t>(1u << bit) : 0; }
}  // namespace

Bytes MakeVdRecord(const VdStatus& s) {
  Bytes r(4, 0);
  r[0] = Bit(s.paperNearEnd, 0) | Bit(s.headUp, 1) | Bit(s.paperEnd, 2) | Bit(s.tphTooHot, 3) |
         Bit(s.cutterError, 4) | Bit(s.voltageAbnormal, 7);
  r[1] = Bit(s.printerJam, 1) | Bit(s.bundlerJam, 2) | Bit(s.bundlerHeadUp, 7);
  r[2] = static_cast<uint8_t>((s.workingState & 0x07) | Bit(s.stateError, 4));
  r[3] = Bit(s.bundlerFull, 0);
  return r;
}

Bytes MakeRwRecord(const RwStatus& s) {
  Bytes r(4, 0);
  r[0] = Bit(s.headUp, 5) | Bit(s.feeding, 6);
  r[1] = Bit(s.cutterError, 3) | Bit(s.paperBlocking, 5) | Bit(s.tphTooHot, 6);
  r[2] = (s.paperNearEnd ? 0x03 : 0) | (s.paperEnd ? 0x0C : 0) | Bit(s.printing, 6);
  return r;
}

Bytes MakeK305G2VdRecord(const K305G2VdStatus& s) {
  Bytes r(4, 0);
  r[0] = Bit(s.paperNearEnd, 0) | Bit(s.headUp, 1) | Bit(s.paperEnd, 2) | Bit(s.tphTooHot, 3) |
         Bit(s.recyclingJam, 7);
  r[1] = Bit(s.printerJam, 1) | Bit(s.rollPaperSlack, 7);
  r[2] = static_cast<uint8_t>((s.workingState & 0x07) | Bit(s.stateError, 4));
  return r;
}

Bytes MakeK305G2RwRecord(const K305G2RwStatus& s) {
  Bytes r(4, 0);
  r[0] = Bit(s.paperBlocking, 0) | Bit(s.rollPaperSlack, 1) | Bit(s.recyclingJam, 2) | Bit(s.headUp, 5) |
         Bit(s.feeding, 6);
  r[1] = Bit(s.tphTooHot, 6);
  r[2] = (s.paperNearEnd ? 0x03 : 0) | (s.paperEnd ? 0x0C : 0) | Bit(s.printing, 6);
  return r;
}

}  // namespace torva::sim
