// The road from the status monitor to the settings editor on one serial
// printer: a status dialog switches the printer's automatic status on, polls,
// and is closed; then the VD-M512II editor reads every setting while the
// printer would send status records by itself in the middle of the reads.
// The dialog switches the automatic status off again before it closes the
// port, so the editor reads the printer's values, and a Save writes back
// what the printer holds.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <atomic>
#include <functional>
#include <map>
#include <thread>

#include "EventWait.h"
#include "gui/Messages.h"
#include "link/Clock.h"
#include "link/PortState.h"
#include "settings/M512IIEepromSet.h"
#include "sim/SimPrinter.h"
#include "status/HardwareStatus.h"
#include "status/HardwareStatusK773.h"

using torva::settings::EditorState;
using torva::sim::Bytes;

// Readable failures.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
QT_END_NAMESPACE
namespace torva::settings {
inline void PrintTo(const EditorState& s, std::ostream* os) {
  *os << "baud " << s.baud << ", data bits " << s.dataBits << ", stop bits " << s.stopBits << ", parity " << s.parity
      << ", flow " << s.flow << ", speed " << s.speed << ", darkness " << s.darkness << ", paper " << s.paperType
      << ", presenter " << s.presenter << ", beeper " << s.beeper << ", cutter " << s.autoCutter << ", CR " << s.cr
      << ", stop on near end " << s.stopOnNearEnd << ", alarm " << s.alarmOnNearEnd << ", paper out "
      << s.paperOutMode << ", feed " << s.feedLine << ", wait " << s.waitTime << ", auto time " << s.autoTime
      << ", auto speed " << s.autoSpeed;
}
}  // namespace torva::settings

namespace {

using torva::testing::WaitFor;

// The nineteen settings of the printer, none at its default.
const std::map<int, uint16_t> kPrinterSettings = {
    {0x16, 1},   {0x41, 0},   {0x17, 8},  {0x19, 2},  {0x1B, 1},   {0x06, 120}, {0x02, 90},
    {0x12, 1},   {0x43, 1},   {0x54, 0},  {0x30, 0},  {0x14, 1},   {0x59, 1},   {0x3E, 0},
    {0x60, 1},   {0x2B, 300}, {0x3C, 15}, {0x78, 500}, {0x52, 100},
};

// What the editor shows for them.
EditorState ExpectedState() {
  EditorState s;
  s.baud = 2;      // "19200"
  s.dataBits = 0;  // "8"
  s.stopBits = 1;  // "2"
  s.parity = 1;    // "Odd"
  s.flow = 0;      // "DTR/DSR"
  s.speed = "120";
  s.darkness = "90";
  s.paperType = 1;   // "Mark/Label"
  s.presenter = 1;   // "Disable"
  s.beeper = 0;      // "On"
  s.autoCutter = 1;  // "Off"
  s.cr = 0;          // "Enable"
  s.stopOnNearEnd = true;
  s.alarmOnNearEnd = false;
  s.paperOutMode = 1;  // "Paper Forward"
  s.feedLine = "300";
  s.waitTime = "15";
  s.autoTime = "500";
  s.autoSpeed = "100";
  return s;
}

class AutoStatusRoad : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torva-e2e-XXXXXX";
    const char* made = mkdtemp(tmpl);
    ASSERT_TRUE(made);
    dir_ = made;
    SetProgramFolderForTests(QString::fromStdString(dir_));
    torva::SetPrinterDelayScale(0);
    torva::status::StatusDialog::trayAvailableOverride = false;
    ResetPortState();
    Language = "English";
    PortType = PortCOM;
    ComParameter.Name = sim_.startSerial(dir_ + "/com1");
    ComParameter.Baudrate = 38400;
  }
  void TearDown() override {
    stopWatcher();
    sim_.stop();
    ResetPortState();
    SetProgramFolderForTests({});
    torva::SetPrinterDelayScale(1.0);
    torva::status::StatusDialog::trayAvailableOverride.reset();
    QDir(QString::fromStdString(dir_)).removeRecursively();
  }

  void LoadSettings() {
    for (const auto& [address, value] : kPrinterSettings) sim_.setSetting(address, value);
  }

  // Polls with the dialog until it has shown a record, then closes it.
  void PollThenClose(torva::status::StatusDialog& d) {
    int shown = 0;
    QObject::connect(&d, &torva::status::StatusDialog::recordShown, &d, [&] { ++shown; });
    d.SetPollOverrides(30, 500);
    d.show();
    d.StartClick();
    ASSERT_TRUE(WaitFor([&] { return shown >= 2; }, 3000));
    d.ExitClick();
    ASSERT_FALSE(d.Polling());
    ASSERT_EQ(ComParameter.m_hdev.load(), -1);
  }

  // True once the last frame of that command the printer got is `frame`.
  bool WaitForLastFrame(const std::string& command, const Bytes& frame) {
    const bool got = WaitFor(
        [&] {
          const auto entries = sim_.log(command);
          return !entries.empty() && entries.back().frame == frame;
        },
        2000);
    if (!got) ADD_FAILURE() << "the printer never got the switch-off; its last " << command << " frames: "
                            << sim_.log(command).size();
    return got;
  }

  // A printer whose status changes while each setting is read: shortly after
  // every read command the record changes, which a printer with automatic
  // status on sends at once, ahead of the delayed reply.
  void ChangeStatusDuringEveryRead(const Bytes& a, const Bytes& b) {
    sim_.setReplyDelayMs(40);
    watching_ = true;
    watcher_ = std::thread([this, a, b] {
      size_t seen = sim_.log("ReadSetting").size();
      bool flip = false;
      while (watching_) {
        if (sim_.log("ReadSetting").size() == seen) {
          sim_.waitForLog(sim_.log().size() + 1, 20);
          continue;
        }
        seen = sim_.log("ReadSetting").size();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        sim_.setStatusRecord(flip ? a : b);
        flip = !flip;
      }
    });
  }
  void stopWatcher() {
    watching_ = false;
    if (watcher_.joinable()) watcher_.join();
  }

  // Get, then Save, in the VD-M512II editor: the printer's values are read
  // and written back unchanged.
  void GetAndSaveReadThePrintersValues() {
    MessageRecorder messages;
    TM512IIEepromSetForm editor;
    editor.btnGetSettingsFromPrinterClick();
    EXPECT_EQ(editor.resultText(), "Get settings from printer successfully.");
    EXPECT_EQ(editor.state(), ExpectedState());
    ASSERT_TRUE(editor.saveEnabled());
    editor.btnSaveSettingsToPrinterClick();
    stopWatcher();
    EXPECT_EQ(editor.resultText(), "Save settings to printer successfully.");
    for (const auto& [address, value] : kPrinterSettings) {
      EXPECT_EQ(sim_.setting(address), value) << "setting " << std::hex << address;
    }
  }

  std::string dir_;
  torva::sim::SimPrinter sim_{2};
  std::atomic<bool> watching_{false};
  std::thread watcher_;
};

TEST_F(AutoStatusRoad, GenericDialogSwitchesItsStatusOffBeforeTheEditorReads) {
  sim_.setModel(2);
  LoadSettings();
  PrinterName = 2;
  {
    THardwareStatusForm status;
    status.SetupForModel(2);
    PollThenClose(status);
  }
  // The printer is told to stop sending (it reads the command on its own
  // thread, so it is waited for).
  ASSERT_TRUE(WaitForLastFrame("AutoStatusBack", {0x1D, 0x61, 0x00}));

  ChangeStatusDuringEveryRead({0x04, 0x00, 0x01, 0x00}, {0x01, 0x80, 0x00, 0x00});
  GetAndSaveReadThePrintersValues();
}

TEST_F(AutoStatusRoad, K773CustomStreamIsSwitchedOffBeforeTheEditorReads) {
  sim_.setModel(12);
  LoadSettings();
  PrinterName = 12;
  is773Costom = 1;
  // A printer that streams its record every 10 ms while the stream is on;
  // each read waits 20 ms for its reply.
  sim_.setCustomStatusIntervalMs(10);
  sim_.setStatusRecord({0x5A, 0x11, 0x01, 0x03, 0x08, 0x01});
  {
    THardwareStatusK773Form status;
    status.SetupCaptions();
    PollThenClose(status);
  }
  ASSERT_TRUE(WaitForLastFrame("CustomStatusBack", {0x1D, 0xE0, 0x00}));
  EXPECT_EQ(sim_.log("CustomStatusBack").front().frame, (Bytes{0x1D, 0xE0, 0xFF}));
  EXPECT_EQ(sim_.customStatusSessions(), 0);

  sim_.setReplyDelayMs(20);
  GetAndSaveReadThePrintersValues();
}

}  // namespace
