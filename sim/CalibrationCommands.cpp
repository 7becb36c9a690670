// The black-mark calibration commands and the A/D converter query.
#include <algorithm>

#include "sim/SimInternal.h"

namespace torva::sim {

namespace {

// The setting address the console reads the mark threshold from.
int ThresholdAddress(int model) {
  switch (model) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 8: case 12:
      return 0x39;
    default:
      return 0x20;
  }
}

void StoreThreshold(FrameContext& c) {
  c.printer.memory[0][static_cast<size_t>(ThresholdAddress(c.printer.model))] = c.printer.calibratedThreshold;
}

}  // namespace

Bytes DefaultADSamples() { return {0xFF, 0x80, 0x00, 0x66, 0xB3, 0x19, 0x4C}; }

void AddCalibrationRows(std::vector<CommandRow>& t) {
  // 10 04 30: one sample byte per sensor.
  t.push_back({"InquireADValue", {0x10, 0x04, 0x30}, 3, [](FrameContext& c) {
                 c.replies.push_back({c.printer.adSamples, -1});
               }});
  // 1D 99 5C 31 E7 08 51 01 c v: the threshold of sensor c. No reply.
  t.push_back({"SensorThreshold", {0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x51, 0x01}, 10, [](FrameContext& c) {
                 c.printer.sensorThresholds[c.frame[8]] = c.frame[9];
               }});
  // GS ( A with m 1 n 4 (short calibration) and m 2 n 4 (calibration):
  // the threshold found is stored. No reply.
  t.push_back({"MarkCalibration", {0x1D, 0x28, 0x41, 0x02, 0x00, 0x01, 0x04}, 7, StoreThreshold});
  t.push_back({"MarkCalibration", {0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x04}, 7, StoreThreshold});
  // GS ( A with m 2 n 7: the sensor log of the last calibration.
  t.push_back({"MarkLog", {0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x07}, 7, [](FrameContext& c) {
                 Reply r;
                 r.bytes = c.printer.markLog.empty() ? SimPrinter::MarkLogFor(c.printer.model) : c.printer.markLog;
                 r.extraDelayMs = c.printer.markLogDelayMs;
                 r.bytesPerSecond = c.printer.markLogBytesPerSecond;
                 c.replies.push_back(std::move(r));
               }});
}

Bytes SimPrinter::MarkLogFor(int model) {
  const size_t size = (model == 1 || model == 5 || model == 8) ? 8000 : 5000;
  Bytes log(size, 0);
  for (size_t pos = 1; pos < size; ++pos) {
    const size_t window = (pos - 1) / 8;
    const size_t within = (pos - 1) % 8;
    // Paper around 0.7-0.9 V, the mark around 4.1-4.2 V.
    const bool mark = window >= 10 && window < 16;
    log[pos] = static_cast<uint8_t>((mark ? 0xD0 : 0x28) + (within * 3 + window) % 8);
  }
  return log;
}

void SimPrinter::setADSamples(const Bytes& samples) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->adSamples = samples;
}

Bytes SimPrinter::adSamples() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->adSamples;
}

void SimPrinter::setCalibratedThreshold(uint8_t value) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->calibratedThreshold = value;
}

uint8_t SimPrinter::calibratedThreshold() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->calibratedThreshold;
}

void SimPrinter::setMarkLog(const Bytes& log) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->markLog = log;
}

Bytes SimPrinter::markLog() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->markLog.empty() ? MarkLogFor(impl_->model) : impl_->markLog;
}

void SimPrinter::setMarkLogTiming(int delayMs, int bytesPerSecond) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->markLogDelayMs = std::max(0, delayMs);
  impl_->markLogBytesPerSecond = std::max(0, bytesPerSecond);
}

int SimPrinter::sensorThreshold(int c) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  auto it = impl_->sensorThresholds.find(c);
  return it == impl_->sensorThresholds.end() ? -1 : it->second;
}

}  // namespace torva::sim
