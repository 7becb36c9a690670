// The program's lifetime in the application's own event loop: a status
// dialog hidden behind its tray icon whose printer stops answering brings
// the main window back with its failure box, and closing that box ends
// nothing; closing the main window or File > Exit ends the program.
//
// These tests run QApplication::exec() as the program does, with real
// message boxes that a timer answers, so no recorder stands in for the box.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "link/Clock.h"
#include "link/PortState.h"
#include "shell/MainForm.h"
#include "shell/PrinterIni.h"
#include "sim/SimPrinter.h"
#include "status/HardwareStatus.h"
#include "status/StatusDialog.h"
#include "ui_MainForm.h"

namespace {

// Runs the application's event loop with a driver called every 20 ms until
// it ends the loop; after timeoutMs the loop is ended with 99.
int RunApplication(const std::function<void()>& driver, int timeoutMs) {
  QTimer tick;
  tick.setInterval(20);
  QObject::connect(&tick, &QTimer::timeout, driver);
  tick.start();
  QTimer::singleShot(timeoutMs, [] { QApplication::exit(99); });
  return QApplication::exec();
}

template <class W>
W* VisibleTopLevel() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* t = qobject_cast<W*>(w); t && t->isVisible()) return t;
  return nullptr;
}

class ProgramLifetime : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/torva-life-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    SetProgramFolderForTests(QString::fromStdString(dir_));
    SetPrinterIniConfigFolderForTests(QString::fromStdString(dir_ + "/config"));
    torva::SetPrinterDelayScale(0);
    TMainForm::trayAvailableOverride = true;
    torva::status::StatusDialog::trayAvailableOverride = true;
    main_ = std::make_unique<TMainForm>();
    ResetPortState();
    Language = "English";
  }
  void TearDown() override {
    main_.reset();
    sim_.stop();
    ResetPortState();
    bMinimize = false;
    SetProgramFolderForTests({});
    SetPrinterIniConfigFolderForTests({});
    TMainForm::trayAvailableOverride.reset();
    torva::status::StatusDialog::trayAvailableOverride.reset();
    QDir(QString::fromStdString(dir_)).removeRecursively();
  }

  std::string dir_;
  torva::sim::SimPrinter sim_{3};
  std::unique_ptr<TMainForm> main_;
};

TEST_F(ProgramLifetime, FailureOfADialogInTheTrayBringsTheWindowsBackAndEndsNothing) {
  ComParameter.Name = sim_.startSerial(dir_ + "/com1");
  PortType = PortCOM;
  PrinterName = 3;
  main_->show();

  enum class Step { Open, Polling, InTray, BoxShown, BoxClosed, Done } step = Step::Open;
  QPointer<THardwareStatusForm> dialog;
  bool mainVisibleWithBox = false, dialogVisibleWithBox = false;
  QString boxText;
  int ticksAfterBox = 0;
  bool mainVisibleAfter = false, dialogVisibleAfter = false;

  // The status button runs the dialog modally, as the user's click does.
  QTimer::singleShot(0, main_.get(), [this] { main_->SpeedButton_MonitotClick(); });
  const int result = RunApplication(
      [&] {
        switch (step) {
          case Step::Open:
            dialog = VisibleTopLevel<THardwareStatusForm>();
            if (!dialog) return;
            dialog->SetPollOverrides(30, 300);
            dialog->StartClick();
            step = Step::Polling;
            return;
          case Step::Polling:
            if (!dialog || dialog->ImageGlyph("PaperendImage") != torva::status::Glyph::OK) return;
            dialog->MinimizeToTray();
            step = Step::InTray;
            // Nothing is visible now; the printer stops answering.
            if (main_->isVisible() || dialog->isVisible()) ADD_FAILURE() << "a window stayed visible";
            sim_.setFault({torva::sim::Fault::NoReply, -1});
            return;
          case Step::InTray:
            if (auto* box = VisibleTopLevel<QMessageBox>()) {
              mainVisibleWithBox = main_->isVisible();
              dialogVisibleWithBox = dialog && dialog->isVisible();
              boxText = box->text();
              step = Step::BoxShown;
              box->accept();  // the user closes the box
            }
            return;
          case Step::BoxShown:
            step = Step::BoxClosed;
            return;
          case Step::BoxClosed:
            // The program is still running a while later.
            if (++ticksAfterBox < 10) return;
            mainVisibleAfter = main_->isVisible();
            dialogVisibleAfter = dialog && dialog->isVisible();
            step = Step::Done;
            if (dialog) dialog->ExitClick();
            QApplication::exit(42);
            return;
          case Step::Done:
            return;
        }
      },
      15000);
  EXPECT_EQ(result, 42) << "the program ended when the failure box closed";
  // The box breaks the message's LF CR once (no empty line between its two lines).
  EXPECT_EQ(boxText,
            "Fail to get the status of printer\nPlease check the communication between the printer and PC!");
  EXPECT_TRUE(mainVisibleWithBox) << "the main window comes back with the box";
  EXPECT_TRUE(dialogVisibleWithBox);
  EXPECT_TRUE(mainVisibleAfter);
  EXPECT_TRUE(dialogVisibleAfter);
  EXPECT_FALSE(bMinimize.load());
  EXPECT_FALSE(main_->TrayIconVisible());
}

// The main window minimised to its own tray icon while the status dialog
// polls (the dialog stays on screen): when the printer stops answering, the
// failure brings the main window back, and its tray icon goes with it, so
// the window is not shown and in the tray at once.
TEST_F(ProgramLifetime, FailureBringsBackAMainWindowMinimisedToItsTray) {
  ComParameter.Name = sim_.startSerial(dir_ + "/com1");
  PortType = PortCOM;
  PrinterName = 3;
  main_->show();

  enum class Step { Open, Polling, BoxShown, Done } step = Step::Open;
  QPointer<THardwareStatusForm> dialog;
  bool mainInTray = false, mainVisibleWithBox = false, trayIconWithBox = true;
  QTimer::singleShot(0, main_.get(), [this] { main_->SpeedButton_MonitotClick(); });
  const int result = RunApplication(
      [&] {
        switch (step) {
          case Step::Open:
            dialog = VisibleTopLevel<THardwareStatusForm>();
            if (!dialog) return;
            dialog->SetPollOverrides(30, 300);
            dialog->StartClick();
            step = Step::Polling;
            return;
          case Step::Polling:
            if (!dialog || dialog->ImageGlyph("PaperendImage") != torva::status::Glyph::OK) return;
            main_->setWindowState(Qt::WindowMinimized);  // the user minimises the main window
            QApplication::processEvents();
            mainInTray = !main_->isVisible() && main_->TrayIconVisible() && dialog->isVisible();
            sim_.setFault({torva::sim::Fault::NoReply, -1});
            step = Step::BoxShown;
            return;
          case Step::BoxShown:
            if (auto* box = VisibleTopLevel<QMessageBox>()) {
              mainVisibleWithBox = main_->isVisible();
              trayIconWithBox = main_->TrayIconVisible();
              box->accept();
              step = Step::Done;
              if (dialog) dialog->ExitClick();
              QApplication::exit(42);
            }
            return;
          case Step::Done:
            return;
        }
      },
      15000);
  EXPECT_EQ(result, 42);
  EXPECT_TRUE(mainInTray) << "the minimised main window went to its tray icon, the dialog stayed";
  EXPECT_TRUE(mainVisibleWithBox) << "the main window comes back with the box";
  EXPECT_FALSE(trayIconWithBox) << "the main window's tray icon is left in the tray";
  EXPECT_FALSE(bMinimize.load());
  EXPECT_FALSE(main_->TrayIconVisible());
}

// The program still ends with its main window: the close box and File > Exit.
TEST_F(ProgramLifetime, ClosingTheMainWindowOrExitEndsTheProgram) {
  EXPECT_FALSE(QApplication::quitOnLastWindowClosed());
  main_->show();
  QTimer::singleShot(0, main_.get(), [this] { main_->close(); });
  EXPECT_EQ(RunApplication([] {}, 5000), 0) << "the close box ends the program";

  main_->show();
  QTimer::singleShot(0, main_.get(), [this] { main_->ui->ExitMenu->trigger(); });
  EXPECT_EQ(RunApplication([] {}, 5000), 0) << "File > Exit ends the program";

  main_->show();
  QTimer::singleShot(0, main_.get(), [this] { main_->SpeedButton_ExitClick(); });
  EXPECT_EQ(RunApplication([] {}, 5000), 0) << "the Exit button ends the program";
}

// With every window hidden (the main window in its own tray) a box that
// comes and goes ends nothing.
TEST_F(ProgramLifetime, NoVisibleWindowIsNoReasonToEnd) {
  main_->show();
  main_->MinimizeToTray();
  ASSERT_FALSE(main_->isVisible());
  bool answered = false;
  int after = 0;
  QTimer::singleShot(0, [] { QMessageBox::information(nullptr, "TORVAConsole", "a box"); });
  const int result = RunApplication(
      [&] {
        if (!answered) {
          if (auto* box = VisibleTopLevel<QMessageBox>()) {
            box->accept();
            answered = true;
          }
          return;
        }
        if (++after == 10) QApplication::exit(42);
      },
      5000);
  EXPECT_EQ(result, 42);
  main_->RestoreFromTray();
}

}  // namespace
