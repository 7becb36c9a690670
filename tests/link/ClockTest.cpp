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

TEST(PrinterDelayRecorder, ScaleZeroReturnsAtOnce) {
  ScaleZero zero;
  const uint64_t start = torva::TickMs();
  torva::PrinterDelay(60000);
  EXPECT_LT(torva::TickMs() - start, 1000u);
}

}  // namespace
