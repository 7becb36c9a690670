#include <gtest/gtest.h>

#include <thread>

#include "link/Clock.h"

namespace {

struct ScaleZero {
  ScaleZero() : saved(torva::PrinterDelayScale()) { torva::SetPrinterDelayScale(0); }
  ~ScaleZero() { torva::SetPrinterDelayScale(saved); }
  double saved;
};

TEST(PrinterDelayRecorder, SeesEveryWaitAskedFromAnyThreadInnermostFirst) {
  ScaleZero zero;
  torva::ScopedPrinterDelayRecorder outer;
  torva::PrinterDelay(300);
  {
    torva::ScopedPrinterDelayRecorder inner;
    std::thread t([] { torva::PrinterDelay(200); });
    t.join();
    torva::PrinterDelay(0);  // asked, though it waits nothing
    EXPECT_EQ(inner.waits(), (std::vector<int>{200, 0}));
  }
  torva::PrinterDelay(5000);
  EXPECT_EQ(outer.waits(), (std::vector<int>{300, 5000}));
  outer.clear();
  EXPECT_TRUE(outer.waits().empty());
}

TEST(PrinterDelayRecorder, CallsItsObserverBeforeEachWait) {
  torva::ScopedPrinterDelayRecorder recorder([](int ms) {
    // Called before the wait: at scale 1 a wait of 60 s would still be ahead.
    EXPECT_EQ(ms, 60000);
    torva::SetPrinterDelayScale(0);
  });
  const double saved = torva::PrinterDelayScale();
  torva::SetPrinterDelayScale(1.0);
  const uint64_t start = torva::TickMs();
  torva::PrinterDelay(60000);
  EXPECT_LT(torva::TickMs() - start, 1000u);
  EXPECT_EQ(recorder.waits(), (std::vector<int>{60000}));
  torva::SetPrinterDelayScale(saved);
}

TEST(PrinterDelayRecorder, ScaleZeroReturnsAtOnce) {
  ScaleZero zero;
  const uint64_t start = torva::TickMs();
  torva::PrinterDelay(60000);
  EXPECT_LT(torva::TickMs() - start, 1000u);
}

}  // namespace
