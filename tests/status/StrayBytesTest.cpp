// Every status dialog against a stray byte and an overlong reply, on each
// port kind it polls: the disturbance may spoil the poll it lands in, and once
// the printer's next record has shown, every record shown is the printer's
// (here: the records it is told to report, one after another).
#include <functional>

#include "K772Support.h"
#include "link/PortSession.h"
#include "status/HardwareStatus.h"
#include "status/HardwareStatusK512.h"
#include "status/HardwareStatusK772.h"
#include "status/HardwareStatusK773.h"
#include "status/StatusRWK305G2VDMode.h"

using namespace statustest;
using torva::sim::Bytes;
using torva::status::StatusDialog;

namespace {

enum class Form { Generic, VDMode, K772, K512, K773 };
enum class Disturbance {
  Stray,     // one unsolicited byte while the dialog polls
  Overlong,  // the printer's first reply one byte too long
};

struct Row {
  const char* name;
  Form form;
  int model;
  size_t length;  // of the record the dialog reads
  Disturbance disturbance;
  // Records not the printer's that may show between the disturbance and the
  // printer's next record: the poll it lands in (a stream brings several
  // records a poll).
  size_t spoilable = 1;
};

// Three records the printer reports in turn; none of them reads as another
// shifted by a byte.
std::vector<Bytes> Records(size_t n) {
  return {RecordOf(n, {{1, 0x04}, {static_cast<int>(n), 0x11}}), RecordOf(n, {{3, 0x01}, {static_cast<int>(n), 0x22}}),
          RecordOf(n, {{1, 0x02}, {static_cast<int>(n), 0x33}})};
}

class StrayBytes : public StatusTest {
 protected:
  template <class Dialog>
  std::unique_ptr<StatusDialog> Captioned() {
    auto d = std::make_unique<Dialog>(main.get());
    d->SetupCaptions();
    return d;
  }

  std::unique_ptr<StatusDialog> Make(const Row& r) {
    PrinterName = r.model;
    std::unique_ptr<StatusDialog> d;
    switch (r.form) {
      case Form::Generic: {
        auto g = std::make_unique<THardwareStatusForm>(main.get());
        g->SetupForModel(r.model);
        d = std::move(g);
        break;
      }
      case Form::VDMode: d = Captioned<TStatusK305G2VDModeForm>(); break;
      case Form::K772: d = Captioned<THardwareStatusK772Form>(); break;
      case Form::K512: d = Captioned<THardwareStatusK512Form>(); break;
      case Form::K773: d = Captioned<THardwareStatusK773Form>(); break;
    }
    // A serial reply may take long on a loaded machine: a slow printer is no
    // failure here.
    d->SetPollOverrides(30, 2000);
    d->show();
    return d;
  }

  // The printer of the row's model, the VD-K512 with receipt paper, the
  // VD-K773's stream quick.
  void Prepare(const Row& r) {
    sim.setModel(r.model);
    if (r.model == 8) sim.setSetting(0x12, 0x0000);
    sim.setCustomStatusIntervalMs(15);
    is773Costom = r.form == Form::K773 ? 1 : 0;
  }

  // Runs the row: the printer reports the first record, the disturbance
  // comes, then the printer reports the other two in turn.
  void Run(const Row& r) {
    const auto recs = Records(r.length);
    sim.clearFault();
    sim.setStatusRecord(recs[0]);
    if (r.disturbance == Disturbance::Overlong) sim.setFault({torva::sim::Fault::LongReply, 1});
    messages.clear();
    plain.texts.clear();
    auto d = Make(r);
    ShownRecords shown(d.get());
    d->StartClick();
    ASSERT_TRUE(WaitFor([&] { return shown.contains(recs[0]); }, 5000))
        << "the first record never came; polling " << d->Polling() << ", "
        << (messages.messages().empty() ? std::string("no message") : messages.messages()[0].text.toStdString());
    size_t from = 0;  // the overlong replies start with the first
    if (r.disturbance == Disturbance::Stray) {
      from = shown.size();
      sim.sendUnsolicited({0x00});
    }
    auto shownAfter = [&](const Bytes& rec, size_t at) {
      for (size_t i = at; i < shown.size(); ++i)
        if (shown.all()[i] == rec) return true;
      return false;
    };
    sim.setStatusRecord(recs[1]);
    ASSERT_TRUE(WaitFor([&] { return shownAfter(recs[1], from); }, 5000))
        << "the printer's record never came back: last shown " << ::testing::PrintToString(shown.last());
    const size_t second = shown.size();
    sim.setStatusRecord(recs[2]);
    ASSERT_TRUE(WaitFor([&] { return shownAfter(recs[2], second); }, 5000))
        << "last shown " << ::testing::PrintToString(shown.last());

    // After the disturbance, at most the records of the poll it spoiled are
    // not the printer's; once the printer's next record has shown, nothing
    // but the printer's.
    auto own = [&](const Bytes& rec) { return rec == recs[0] || rec == recs[1] || rec == recs[2]; };
    size_t spoiled = 0;
    bool back = false;
    for (size_t i = from; i < shown.size(); ++i) {
      const Bytes& rec = shown.all()[i];
      back = back || rec == recs[1];
      if (own(rec)) continue;
      ++spoiled;
      EXPECT_FALSE(back) << "record " << i << " after the printer's came back: " << ::testing::PrintToString(rec);
    }
    EXPECT_LE(spoiled, r.spoilable);
    EXPECT_TRUE(d->Polling());
    EXPECT_TRUE(messages.messages().empty());
    EXPECT_TRUE(plain.texts.isEmpty());
    d->ExitClick();
    sim.clearFault();
  }
};

TEST_F(StrayBytes, SerialEveryDialogShowsThePrintersRecordAfterTheSpoiledPoll) {
  const Row rows[] = {
      {"generic VD-K305", Form::Generic, 3, 4, Disturbance::Stray},
      {"generic VD-K305", Form::Generic, 3, 4, Disturbance::Overlong},
      {"generic VD-N512", Form::Generic, 0, 4, Disturbance::Stray},
      {"generic VD-K773", Form::Generic, 12, 4, Disturbance::Overlong},
      {"series RW-K305", Form::Generic, 6, 4, Disturbance::Stray},
      {"series RW-K305", Form::Generic, 6, 4, Disturbance::Overlong},
      {"RW-K305GII VD Mode", Form::VDMode, 14, 4, Disturbance::Overlong},
      {"VD-K772", Form::K772, 11, 8, Disturbance::Stray},
      {"VD-K772", Form::K772, 11, 8, Disturbance::Overlong},
      {"VD-K9034", Form::K772, 13, 8, Disturbance::Stray},
      {"VD-K512", Form::K512, 8, 8, Disturbance::Stray},
      {"VD-K512", Form::K512, 8, 8, Disturbance::Overlong},
      // A stream: the poll a stray byte lands in may bring several records.
      {"VD-K773 custom stream", Form::K773, 12, 6, Disturbance::Stray, 8},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(std::string(r.name) + (r.disturbance == Disturbance::Stray ? ", stray byte" : ", overlong replies"));
    Prepare(r);
    Run(r);
    if (HasFatalFailure()) return;
  }
}

TEST_F(StrayBytes, UsbEveryDialogShowsThePrintersRecordAfterTheSpoiledPoll) {
  struct UsbRow {
    Row row;
    int kind;
  };
  const UsbRow rows[] = {
      {{"generic VD-K305", Form::Generic, 3, 4, Disturbance::Overlong}, PortUSB},
      {{"generic VD-K305", Form::Generic, 3, 4, Disturbance::Stray}, PortUSBPrinter},
      {{"VD-K9034", Form::K772, 13, 8, Disturbance::Overlong}, PortUSBPrinter},
      {{"VD-K512", Form::K512, 8, 8, Disturbance::Stray}, PortUSB},
      // The custom channel: a stray byte comes as a transfer of its own.
      {{"VD-K773 custom channel", Form::K773, 12, 6, Disturbance::Stray}, PortUSBPrinter},
  };
  for (const UsbRow& u : rows) {
    const Row& r = u.row;
    SCOPED_TRACE(std::string(r.name) + " on kind " + std::to_string(u.kind) +
                 (r.disturbance == Disturbance::Stray ? ", stray byte" : ", overlong replies"));
    sim.stop();
    Prepare(r);  // first: the model names the USB printer
    UseUsb(u.kind);
    if (r.form == Form::K773) {
      sim.setK773Custom(true, 1, 2);
      iUSBClassMode = 1;
      iStatusBytes = 2;
      iPrinterID = 1;
    }
    Run(r);
    if (HasFatalFailure()) return;
  }
}

}  // namespace
