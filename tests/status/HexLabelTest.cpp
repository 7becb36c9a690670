// The hex labels of a status dialog show the bytes of the record beside them:
// a byte of an earlier run is never shown next to the current record, also
// where the end of a run leaves its labels standing.
#include <QLabel>
#include <functional>

#include "K772Support.h"
#include "status/HardwareStatus.h"
#include "status/HardwareStatusK773.h"
#include "status/StatusDecoder.h"

using namespace statustest;
using torva::sim::Bytes;

namespace {

struct LabelCase {
  const char* name;
  int model;
  std::function<std::unique_ptr<torva::status::StatusDialog>(QWidget*)> make;
  QStringList labels;  // the hex labels of bytes 1, 2, ...
  Bytes firstRun;      // the record of the first run
};

std::vector<LabelCase> Cases() {
  return {
      {"generic", 3,
       [](QWidget* p) {
         auto d = std::make_unique<THardwareStatusForm>(p);
         d->SetupForModel(3);
         return d;
       },
       {"Byte0Label", "Byte1Label", "Byte2Label", "Byte3Label"},
       {0x04, 0x80, 0x01, 0x7F}},
      {"K773 custom stream", 12,
       [](QWidget* p) {
         auto d = std::make_unique<THardwareStatusK773Form>(p);
         d->SetupCaptions();
         return d;
       },
       {"Byte0Label", "Byte1Label", "Byte2Label", "Byte3Label", "Label13", "Label16"},
       {0x5A, 0x11, 0x01, 0x03, 0x08, 0x01}},
  };
}

using HexLabels = StatusTest;

TEST_F(HexLabels, AByteOfAnEarlierRunNeverStandsBesideTheCurrentRecord) {
  for (const LabelCase& c : Cases()) {
    SCOPED_TRACE(c.name);
    sim.setModel(c.model);
    sim.setCustomStatusIntervalMs(15);
    PrinterName = c.model;
    is773Costom = c.model == 12 ? 1 : 0;
    auto d = c.make(main.get());
    d->SetPollOverrides(30, 500);
    d->show();
    // The labels as one line, "04H 80H 01H 7FH".
    auto labelsRead = [&] {
      QStringList texts;
      for (const QString& n : c.labels) texts << d->findChild<QLabel*>(n)->text();
      return texts.join(' ').toStdString();
    };
    auto labelsOf = [&](const Bytes& record) {
      QStringList texts;
      for (uint8_t b : record) texts << QString::fromStdString(torva::status::HexLabelText(b));
      return texts.join(' ').toStdString();
    };

    // First run: the record with bytes that are not zero, then Stop. These
    // dialogs keep their labels standing after a run.
    sim.setStatusRecord(c.firstRun);
    ShownRecords shown(d.get());
    bool ended = false;
    QObject::connect(d.get(), &torva::status::StatusDialog::pollingEnded, d.get(), [&] { ended = true; });
    d->StartClick();
    ASSERT_TRUE(WaitFor([&] { return shown.contains(c.firstRun); }, 3000));
    EXPECT_EQ(labelsRead(), labelsOf(c.firstRun));
    d->StopClick();
    ASSERT_TRUE(WaitFor([&] { return ended; }, 3000));
    EXPECT_EQ(labelsRead(), labelsOf(c.firstRun)) << "the labels stay after Stop";

    // Second run: the printer's record is all zero now. Beside every record
    // shown the labels read that record, from the first one on (an answer
    // of the first run still on its way may come first: it is shown with
    // its own bytes).
    const Bytes zero(c.firstRun.size(), 0);
    sim.setStatusRecord(zero);
    std::vector<std::pair<std::string, std::string>> besideEach;  // labels, record
    bool zeroShown = false;
    QObject::connect(d.get(), &torva::status::StatusDialog::recordShown, d.get(), [&](const QByteArray& r) {
      const Bytes record(r.begin(), r.end());
      besideEach.emplace_back(labelsRead(), labelsOf(record));
      if (record == zero) zeroShown = true;
    });
    d->StartClick();
    ASSERT_TRUE(WaitFor([&] { return zeroShown; }, 3000));
    for (const auto& [labels, record] : besideEach) EXPECT_EQ(labels, record);
    d->ExitClick();
    d.reset();
    sim.clearLog();
  }
}

}  // namespace
