// Fixture of the shell tests: a fresh port state, a private program folder
// and configuration folder for Printer.ini and the help files, the message
// recorder, and the real main window on the offscreen platform.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>

#include "EventWait.h"
#include "link/Clock.h"
#include "link/PortState.h"
#include "shell/MainForm.h"
#include "gui/Messages.h"
#include "shell/PrinterIni.h"

namespace shelltest {

inline QString MakeTempDir() {
  char tmpl[] = "/tmp/torva-shell-XXXXXX";
  const char* made = mkdtemp(tmpl);
  return made ? QString::fromLocal8Bit(made) : QString();
}

inline void WriteFile(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
  f.write(bytes);
}

inline QByteArray ReadFile(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return f.readAll();
}

// Runs the event loop until `done` holds or timeoutMs passed.
inline bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  return torva::testing::WaitFor(done, timeoutMs, 20);
}

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root = MakeTempDir();
    ASSERT_FALSE(root.isEmpty());
    programDir = root + "/program";
    configDir = root + "/config";
    QDir().mkpath(programDir);
    SetProgramFolderForTests(programDir);
    SetPrinterIniConfigFolderForTests(configDir);
    ResetPortState();
    torva::SetPrinterDelayScale(0);
    TMainForm::trayAvailableOverride.reset();
  }

  void TearDown() override {
    form.reset();
    ApplyToolkitLanguage("English");  // a Chinese start loaded the toolkit's translation
    ResetPortState();
    SetProgramFolderForTests({});
    SetPrinterIniConfigFolderForTests({});
    TMainForm::trayAvailableOverride.reset();
    if (!root.isEmpty()) QDir(root).removeRecursively();
  }

  // Printer.ini beside the program with the given language.
  void StoreLanguage(const char* value) {
    WriteFile(programDir + "/Printer.ini", QByteArray("[Printer]\nLanguage=") + value + "\n");
  }

  TMainForm& Open() {
    form = std::make_unique<TMainForm>();
    return *form;
  }

  QString root, programDir, configDir;
  MessageRecorder recorder;
  std::unique_ptr<TMainForm> form;
};

}  // namespace shelltest
