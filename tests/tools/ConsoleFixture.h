// Fixture of the console tests: a fresh port state, a private program folder
// (where the file dialogs start), the simulated printer (pseudo-terminal, USB
// socket or TCP), the message recorder and a file-dialog stand-in, and the
// real console dialog on the offscreen platform.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>

#include "gui/FileDialogs.h"
#include "gui/Messages.h"
#include "link/Clock.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"
#include "tools/GetBufThread.h"
#include "tools/PrintTest.h"

namespace consoletest {

using Bytes = std::vector<uint8_t>;

// Runs the event loop until `done` holds or timeoutMs passed.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  QElapsedTimer t;
  t.start();
  while (!done()) {
    if (t.elapsed() > timeoutMs) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

inline QByteArray ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

inline QByteArray ToBytes(const Bytes& b) {
  return QByteArray(reinterpret_cast<const char*>(b.data()), static_cast<qsizetype>(b.size()));
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torva-console-XXXXXX";
    const char* made = mkdtemp(tmpl);
    ASSERT_TRUE(made);
    dir = made;
    SetProgramFolderForTests(QString::fromStdString(dir));
    setenv("TORVA_USB_SIM", (dir + "/no-usb.sock").c_str(), 1);
    torva::SetPrinterDelayScale(0);
    ResetPortState();
    Language = "English";
    torva::tools::bDisplay = false;
    torva::tools::Include1DE0 = false;
  }

  void TearDown() override {
    console.reset();
    sim.stop();
    ResetPortState();
    torva::tools::bDisplay = false;
    torva::tools::Include1DE0 = false;
    SetProgramFolderForTests({});
    torva::SetPrinterDelayScale(1.0);
    QDir(QString::fromStdString(dir)).removeRecursively();
  }

  // The printer behind "COM1", a pseudo-terminal.
  void UseSerial() {
    const std::string path = sim.startSerial(dir + "/com1");
    ASSERT_FALSE(path.empty());
    ComParameter.Name = dir + "/com1";
    PortType = PortCOM;
  }

  // The printer on the USB socket: a USB device at position 0 and a USB printer.
  void UseUsb(int portKind) {
    const std::string path = dir + "/usb.sock";
    ASSERT_TRUE(torva::sim::StartUsbSocket(sim, path, {}));
    setenv("TORVA_USB_SIM", path.c_str(), 1);
    PortType = portKind;
    USBParameter.X = 0;
    USBParameter.Name = "QFUSB-0";
    USBPrinterParameter.Name = sim.printerName();
    iPrinterID = 1;
  }

  TPrintTestForm& Open() {
    console = std::make_unique<TPrintTestForm>();
    return *console;
  }

  // The console's controls by name.
  QPushButton* Button(const char* name) const { return console->findChild<QPushButton*>(name); }
  QCheckBox* Box(const char* name) const { return console->findChild<QCheckBox*>(name); }
  QPlainTextEdit* Memo(const char* name) const { return console->findChild<QPlainTextEdit*>(name); }

  // Types `text` into the Input in the given mode and presses Send.
  void Send(const QString& text, bool hex = true) {
    Box("HexFormatCheckBox")->setChecked(hex);
    console->setInputText(text);
    console->ExcuteCommandButtonClick();
  }

  // Waits until the reader has ended and what it read is shown.
  bool ReaderDone(int ms = 5000) {
    return WaitFor([&] { return console->readerIdle(); }, ms);
  }

  // The printer received exactly `want` (waiting up to ms for it).
  bool Received(const Bytes& want, int ms = 3000) {
    return WaitFor([&] { return sim.receivedBytes().size() >= want.size(); }, ms) && sim.receivedBytes() == want;
  }

  QStringList Notice() const { return console->noticeLines(); }

  std::string dir;
  torva::sim::SimPrinter sim{0};
  MessageRecorder messages;
  std::unique_ptr<TPrintTestForm> console;
};

}  // namespace consoletest
