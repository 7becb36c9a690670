// The status button's choice of dialog for every model code and every reply
// of the two mode queries, with the real dialogs against the simulator.
#include <QTimer>

#include "StatusFixture.h"
#include "shell/StatusDispatch.h"

using namespace statustest;
using torva::status::StatusDialog;

namespace {

class DispatchTable : public StatusTest {
 protected:
  // Runs the status button; the dialog it opens is noted (class and title)
  // and closed at once. Empty when nothing opened.
  QString Run() {
    QString opened;
    QTimer probe;
    probe.setInterval(5);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* d = qobject_cast<StatusDialog*>(w);
        if (d && d->isVisible() && !d->ClosePressed()) {
          opened = QString::fromLatin1(d->metaObject()->className()) + " / " + d->windowTitle();
          d->ExitClick();
        }
      }
    });
    probe.start();
    OpenStatusMonitor(*main);
    WaitFor([] { return false; }, 20);
    return opened;
  }
};

TEST_F(DispatchTable, EveryModelCodeAndModeReply) {
  constexpr int kNoQuery = -1;
  struct Case {
    int model;
    int custom;       // is773Costom
    int modeSetting;  // the value the mode query reads (C3 or 12), or kNoQuery
    const char* opened;  // "class / title", or nullptr
    const char* error;   // the message instead, or nullptr
  };
  const char* generic = "THardwareStatusForm / Printer Status";
  const Case cases[] = {
      {0, 0, kNoQuery, generic, nullptr},
      {1, 0, kNoQuery, generic, nullptr},
      {2, 0, kNoQuery, generic, nullptr},
      {3, 0, kNoQuery, generic, nullptr},
      {4, 0, kNoQuery, generic, nullptr},
      {5, 0, kNoQuery, generic, nullptr},
      {6, 0, kNoQuery, generic, nullptr},
      {7, 0, kNoQuery, generic, nullptr},
      {8, 0, 0x0000, "THardwareStatusK512Form / Printer Status", nullptr},
      {8, 0, 0x0001, generic, nullptr},
      {8, 0, 0x0002, nullptr, "Read the port error!"},
      {8, 0, 0xFFFF, nullptr, "Read the port error!"},
      {9, 0, kNoQuery, generic, nullptr},
      {10, 0, kNoQuery, generic, nullptr},
      {11, 0, kNoQuery, "THardwareStatusK772Form / Printer Status", nullptr},
      {12, 0, kNoQuery, generic, nullptr},
      {12, 1, kNoQuery, "THardwareStatusK773Form / Printer Status", nullptr},
      {13, 0, kNoQuery, "THardwareStatusK772Form / Printer Status", nullptr},
      {14, 0, 0x0000, "TStatusK305G2VDModeForm / Printer Status(VD Mode)", nullptr},
      {14, 0, 0x0001, "TStatusK305G2RWModeForm / Printer Status(RW Mode)", nullptr},
      {14, 0, 0x0002, nullptr, "EEPROM setting error!"},
      {15, 0, kNoQuery, generic, nullptr},
      {16, 0, kNoQuery, generic, nullptr},
      {17, 0, kNoQuery, generic, nullptr},
      {18, 0, kNoQuery, generic, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "model " << c.model << " custom " << c.custom << " setting " << c.modeSetting);
    messages.clear();
    plain.texts.clear();
    sim.setModel(c.model);
    sim.clearLog();
    PrinterName = c.model;
    is773Costom = c.custom;
    const int address = c.model == 14 ? 0xC3 : 0x12;
    if (c.modeSetting != kNoQuery) sim.setSetting(address, static_cast<uint16_t>(c.modeSetting));
    const QString opened = Run();
    const auto queries = sim.log("ReadSetting");
    if (c.modeSetting != kNoQuery) {
      ASSERT_EQ(queries.size(), 1u);
      EXPECT_EQ(queries[0].frame, (torva::sim::Bytes{0x1B, 0x6A, static_cast<uint8_t>(address)}));
    } else {
      EXPECT_TRUE(queries.empty());
    }
    EXPECT_EQ(opened, c.opened ? QString::fromUtf8(c.opened) : QString());
    if (c.error) {
      ASSERT_EQ(messages.messages().size(), 1u);
      EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
      EXPECT_EQ(messages.messages()[0].text, c.error);
    } else {
      EXPECT_TRUE(messages.messages().empty());
    }
  }
  is773Costom = 0;
}

}  // namespace
