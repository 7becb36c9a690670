// Fixture of the console tests: a fresh port state, a private program folder
// (where the file dialogs start), the simulated printer (pseudo-terminal, USB
// socket or TCP), the message recorder and a file-dialog stand-in, and the
// real console dialog on the offscreen platform.
#pragma once

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>
#include <memory>
#include <string>

#include "SimPrinterFixture.h"
#include "gui/FileDialogs.h"
#include "tools/GetBufThread.h"
#include "tools/PrintTest.h"

namespace consoletest {

using toolfixture::Bytes;
using toolfixture::WaitFor;

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

class ConsoleTest : public toolfixture::SimPrinterTest {
 protected:
  ConsoleTest() : SimPrinterTest(0, "/tmp/torva-console-XXXXXX") {}

  void SetUp() override {
    SimPrinterTest::SetUp();
    torva::tools::bDisplay = false;
    torva::tools::Include1DE0 = false;
  }

  void TearDown() override {
    console.reset();
    SimPrinterTest::TearDown();
    torva::tools::bDisplay = false;
    torva::tools::Include1DE0 = false;
  }

  // The printer behind "COM1", a pseudo-terminal.
  void UseSerial() { StartSerial(); }

  // The printer on the USB socket: a USB device at position 0 and a USB printer.
  void UseUsb(int portKind) { StartUsb(portKind); }

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

  std::unique_ptr<TPrintTestForm> console;
};

}  // namespace consoletest
