// Status records built field by field, for tests and the simulator program:
// the maker's four-byte layout, the series layout, and the two layouts of the
// RW-K305GII. Fields left out are zero.
#pragma once

#include <cstdint>
#include <vector>

namespace torva::sim {

using Bytes = std::vector<uint8_t>;

// The maker's layout (also the RW-K305GII in VD Mode, see K305G2VdStatus).
struct VdStatus {
  bool paperNearEnd = false;   // byte 1 bit 0
  bool headUp = false;         // byte 1 bit 1
  bool paperEnd = false;       // byte 1 bit 2
  bool tphTooHot = false;      // byte 1 bit 3
  bool cutterError = false;    // byte 1 bit 4
  bool voltageAbnormal = false;  // byte 1 bit 7
  bool printerJam = false;     // byte 2 bit 1
  bool bundlerJam = false;     // byte 2 bit 2
  bool bundlerHeadUp = false;  // byte 2 bit 7
  int workingState = 0;        // byte 3 bits 0-2 (0 idle ... 7 auto feed)
  bool stateError = false;     // byte 3 bit 4
  bool bundlerFull = false;    // byte 4 bit 0
};
Bytes MakeVdRecord(const VdStatus& s);

// The series layout (RW-K201, RW-K305, RW-K305E, RW-K201E, RW-K305W).
struct RwStatus {
  bool headUp = false;         // byte 1 bit 5
  bool feeding = false;        // byte 1 bit 6
  bool cutterError = false;    // byte 2 bit 3
  bool paperBlocking = false;  // byte 2 bit 5
  bool tphTooHot = false;      // byte 2 bit 6
  bool paperNearEnd = false;   // byte 3 bits 0 and 1
  bool paperEnd = false;       // byte 3 bits 2 and 3
  bool printing = false;       // byte 3 bit 6
};
Bytes MakeRwRecord(const RwStatus& s);

// RW-K305GII, VD Mode: the maker's positions with the recycling jam at byte 1
// bit 7 and the roll paper slack at byte 2 bit 7.
struct K305G2VdStatus {
  bool paperNearEnd = false;
  bool headUp = false;
  bool paperEnd = false;
  bool tphTooHot = false;
  bool recyclingJam = false;   // byte 1 bit 7
  bool printerJam = false;     // byte 2 bit 1
  bool rollPaperSlack = false; // byte 2 bit 7
  int workingState = 0;
  bool stateError = false;
};
Bytes MakeK305G2VdRecord(const K305G2VdStatus& s);

// RW-K305GII, RW Mode: the series positions with three bits of byte 1 added.
struct K305G2RwStatus {
  bool paperBlocking = false;  // byte 1 bit 0
  bool rollPaperSlack = false; // byte 1 bit 1
  bool recyclingJam = false;   // byte 1 bit 2
  bool headUp = false;         // byte 1 bit 5
  bool feeding = false;        // byte 1 bit 6
  bool tphTooHot = false;      // byte 2 bit 6
  bool paperNearEnd = false;   // byte 3 bits 0 and 1
  bool paperEnd = false;       // byte 3 bits 2 and 3
  bool printing = false;       // byte 3 bit 6
};
Bytes MakeK305G2RwRecord(const K305G2RwStatus& s);

}  // namespace torva::sim
