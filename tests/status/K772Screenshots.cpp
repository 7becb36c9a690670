// Screenshots of the status dialogs in both languages, each showing a live
// record from the simulated printer. Taken only when TORVA_DOCS_SHOTS names a
// folder.
#include <type_traits>

#include "K772Support.h"
#include "status/HardwareStatus.h"
#include "status/HardwareStatusK512.h"
#include "status/HardwareStatusK772.h"
#include "status/HardwareStatusK773.h"

using namespace statustest;
using torva::sim::Bytes;

namespace {

class K772Screenshots : public StatusTest {
 protected:
  template <typename D>
  void Shot(int model, const Bytes& record, const char* name) {
    const QString folder = qEnvironmentVariable("TORVA_DOCS_SHOTS");
    for (const char* lang : {"English", "Chinese"}) {
      Language = lang;
      sim.setModel(model);
      if (model == 8) sim.setSetting(0x12, 0);
      sim.setCustomStatusIntervalMs(20);
      sim.setStatusRecord(record);
      PrinterName = model;
      D d(main.get());
      if constexpr (std::is_same_v<D, THardwareStatusForm>)
        d.SetupForModel(model);
      else
        d.SetupCaptions();
      d.SetPollOverrides(30, 1000);
      d.show();
      ShownRecords shown(&d);
      d.StartClick();
      ASSERT_TRUE(WaitFor([&] { return shown.contains(record); }, 3000));
      Pause(50);
      const QString file =
          folder + QStringLiteral("/status-%1-%2.png").arg(name, Language == "English" ? "en" : "cn");
      ASSERT_TRUE(d.grab().save(file)) << file.toStdString();
      d.ExitClick();
    }
  }
};

TEST_F(K772Screenshots, ThreeDialogsBothLanguages) {
  if (qEnvironmentVariable("TORVA_DOCS_SHOTS").isEmpty())
    GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  // Printer jam, channel 2 paper end, presenter presenting with an error.
  Shot<THardwareStatusK772Form>(11, {0x20, 0x00, 0x13, 0x00, 0x04, 0x00, 0x00, 0x00}, "k772");
  // Paper end, shutter error, the box captioned "Presenter Paper Present".
  Shot<THardwareStatusK512Form>(8, {0x04, 0x00, 0x06, 0x00, 0x20, 0x00, 0x00, 0x00}, "k512");
  // Weekend paper near end, paper end and the cover open.
  Shot<THardwareStatusK773Form>(12, {0x00, 0x00, 0x41, 0x03, 0x00, 0x00}, "k773");
  // The generic dialog of the VD-K305: paper end.
  Shot<THardwareStatusForm>(3, {0x04, 0x00, 0x00, 0x00}, "generic-paper-end");
}

}  // namespace
