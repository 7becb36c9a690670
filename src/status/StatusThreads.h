// The polling threads of the status dialogs, each a plan for the one polling
// engine (StatusPoller): when the status-back command goes out, how long a
// serial record may take, the pause between polls, what is closed at the end.
#pragma once

#include "status/StatusPoller.h"

namespace torva::status {

// The maker's four-byte record in the generic dialog: the command at every
// poll, 3000 ms for a serial record, 300 ms between polls; a serial port stays
// open after a stop.
PollPlan TInquireStatusThreadPlan();
// The series record in the generic dialog: the command once before the first
// poll (on a serial port again at every poll), 6000 ms for a serial record,
// 300 ms between polls; every polled port is closed at the end.
PollPlan TInquireStatusThreadForRWPlan();
// RW-K305GII in VD Mode: as the generic thread, 500 ms between polls.
PollPlan TStatusThreadForVDModePlan();
// RW-K305GII in RW Mode: as the generic thread, 400 ms between polls.
PollPlan TStatusThreadForRWModePlan();

// Model codes whose generic dialog polls the series record (RW-K201,
// RW-K305, RW-K305E, RW-K201E, RW-K305W).
bool IsSeriesStatusModel(int modelCode);

}  // namespace torva::status
