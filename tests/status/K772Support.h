// Helpers of the eight-byte and six-byte dialog tests: the records a dialog
// has shown, records built from their set bytes, and a pause that keeps the
// event loop running.
#pragma once

#include <QByteArray>
#include <QObject>
#include <initializer_list>
#include <utility>
#include <vector>

#include "StatusFixture.h"

namespace statustest {

// Collects every record the dialog shows (its recordShown signal), oldest first.
class ShownRecords {
 public:
  explicit ShownRecords(torva::status::StatusDialog* d) {
    QObject::connect(d, &torva::status::StatusDialog::recordShown, d, [this](const QByteArray& b) {
      records_.emplace_back(b.begin(), b.end());
    });
  }
  const std::vector<std::vector<uint8_t>>& all() const { return records_; }
  size_t size() const { return records_.size(); }
  bool empty() const { return records_.empty(); }
  std::vector<uint8_t> last() const { return records_.empty() ? std::vector<uint8_t>{} : records_.back(); }
  bool contains(const std::vector<uint8_t>& r) const {
    for (const auto& s : records_)
      if (s == r) return true;
    return false;
  }

 private:
  std::vector<std::vector<uint8_t>> records_;
};

// A status record of n bytes, zero but for the given (position from 1, value)
// pairs.
inline std::vector<uint8_t> RecordOf(size_t n, std::initializer_list<std::pair<int, uint8_t>> bytes) {
  std::vector<uint8_t> r(n, 0);
  for (auto [i, v] : bytes) r[i - 1] = v;
  return r;
}
inline std::vector<uint8_t> Rec8(std::initializer_list<std::pair<int, uint8_t>> bytes) { return RecordOf(8, bytes); }
inline std::vector<uint8_t> Rec6(std::initializer_list<std::pair<int, uint8_t>> bytes) { return RecordOf(6, bytes); }

// Runs the event loop for ms.
inline void Pause(int ms) { WaitFor([] { return false; }, ms); }

}  // namespace statustest
