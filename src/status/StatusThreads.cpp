#include "status/StatusThreads.h"

namespace torva::status {

PollPlan TInquireStatusThreadPlan() {
  PollPlan p;
  p.timing = CommandTiming::EveryPoll;
  p.serialTimeoutMs = 3000;
  p.intervalMs = 300;
  return p;
}

PollPlan TInquireStatusThreadForRWPlan() {
  PollPlan p;
  p.timing = CommandTiming::OnceThenEverySerialPoll;
  p.serialTimeoutMs = 6000;
  p.intervalMs = 300;
  p.closeSerialAtEnd = true;
  return p;
}

PollPlan TStatusThreadForVDModePlan() {
  PollPlan p = TInquireStatusThreadPlan();
  p.intervalMs = 500;
  return p;
}

PollPlan TStatusThreadForRWModePlan() {
  PollPlan p = TInquireStatusThreadPlan();
  p.intervalMs = 400;
  return p;
}

bool IsSeriesStatusModel(int m) { return m == 4 || m == 6 || m == 9 || m == 10 || m == 15; }

}  // namespace torva::status
