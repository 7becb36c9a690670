// The generic status dialog end to end against the simulated printer.
#include <dirent.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QThread>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>

#include "StatusFixture.h"
#include "sim/ConsoleCommands.h"
#include "status/HardwareStatus.h"
#include "ui_HardwareStatus.h"

using namespace statustest;
using torva::status::Glyph;
using torva::status::StatusPoller;

namespace {

// Open descriptors, eventfds apart: the toolkit's pooled threads come and go
// with an eventfd each, so those may drift by one or two.
struct DescriptorCount {
  int plain = 0;
  int eventfds = 0;
};
DescriptorCount OpenDescriptors() {
  DescriptorCount n;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) {
      char buf[256] = {};
      const std::string p = std::string("/proc/self/fd/") + e->d_name;
      if (readlink(p.c_str(), buf, sizeof buf - 1) <= 0) continue;
      if (std::string(buf) == "anon_inode:[eventfd]")
        ++n.eventfds;
      else
        ++n.plain;
    }
    closedir(d);
  }
  return n;
}

std::string Descriptors() {
  std::string out;
  if (DIR* d = opendir("/proc/self/fd")) {
    while (dirent* e = readdir(d)) {
      char buf[256] = {};
      const std::string p = std::string("/proc/self/fd/") + e->d_name;
      if (readlink(p.c_str(), buf, sizeof buf - 1) > 0) out += std::string(e->d_name) + "=" + buf + " ";
    }
    closedir(d);
  }
  return out;
}

class HardwareStatus : public StatusTest {
 protected:
  std::unique_ptr<THardwareStatusForm> Dialog(int model) {
    PrinterName = model;
    auto d = std::make_unique<THardwareStatusForm>(main.get());
    d->SetupForModel(model);
    d->SetPollOverrides(30, 500);
    d->show();
    return d;
  }
  static bool Idle(THardwareStatusForm& d) {
    return d.ui->StartButton->isEnabled() && !d.ui->StopButton->isEnabled() && d.ui->ExitButton->isEnabled();
  }
};

}  // namespace

TEST_F(HardwareStatus, StartPaperEndReachesTheIndicatorStopAndClose) {
  auto d = Dialog(3);
  for (const char* img : {"PaperendImage", "PrinterIdleImage", "Image1"}) EXPECT_EQ(d->ImageGlyph(img), Glyph::Init);
  d->StartClick();
  EXPECT_FALSE(d->ui->StartButton->isEnabled());
  EXPECT_TRUE(d->ui->StopButton->isEnabled());
  EXPECT_FALSE(d->ui->ExitButton->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  EXPECT_EQ(d->ImageGlyph("PrinterIdleImage"), Glyph::OK);
  EXPECT_EQ(d->ImageGlyph("PrinterCuttingImage"), Glyph::Init);
  EXPECT_TRUE(d->MemoLines().contains("Paper Ok"));

  sim.setStatusRecord(torva::sim::MakeVdRecord({.paperEnd = true, .workingState = 1}));
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::Error; }, 3000));
  EXPECT_TRUE(d->MemoLines().contains("Paper Error"));
  EXPECT_FALSE(d->MemoLines().contains("Paper Ok"));
  EXPECT_EQ(d->ImageGlyph("PrinterPrintingImage"), Glyph::OK);
  EXPECT_EQ(d->ImageGlyph("PrinterIdleImage"), Glyph::Init);
  EXPECT_TRUE(Box(*d, "Byte15")->isChecked());  // byte 1 bit 2
  EXPECT_TRUE(Box(*d, "Byte37")->isChecked());  // byte 3 bit 0
  EXPECT_FALSE(Box(*d, "Byte16")->isChecked());
  EXPECT_EQ(d->ui->Byte0Label->text(), "04H");
  EXPECT_EQ(d->ui->Byte2Label->text(), "01H");

  d->StopClick();
  EXPECT_FALSE(d->ui->StopButton->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 2000));
  EXPECT_FALSE(d->Polling());
  EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::Init);
  EXPECT_TRUE(d->MemoLines().isEmpty());
  // The maker's layout keeps the check boxes and labels after a stop, and
  // the serial port stays open until the dialog closes.
  EXPECT_TRUE(Box(*d, "Byte15")->isChecked());
  EXPECT_EQ(d->ui->Byte0Label->text(), "04H");
  EXPECT_NE(ComParameter.m_hdev.load(), -1);

  d->ExitClick();
  EXPECT_EQ(d->result(), QDialog::Rejected);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_TRUE(messages.messages().empty());
  EXPECT_TRUE(plain.texts.isEmpty());
}

// The VD-K773 outside its custom mode gets the generic dialog, which reads
// four-byte records; the simulated printer answers them so, and each status
// typed on its standard input shows as typed and stays so from poll to poll.
TEST_F(HardwareStatus, K773SerialShowsEachStatusTypedIntoTheSimulator) {
  sim.setModel(12);
  auto d = Dialog(12);
  d->SetPollOverrides(30, 3000);  // the serial read's own time-out: a loaded machine is no failure here
  d->StartClick();
  const auto start = std::chrono::steady_clock::now();
  struct Case {
    const char* line;
    const char* labels[4];
    const char* errorImage;  // nullptr: every condition clear
  };
  const Case cases[] = {
      {"status 04 00 00 00", {"04H", "00H", "00H", "00H"}, "PaperendImage"},
      {"status 02 00 01 00", {"02H", "00H", "01H", "00H"}, "PrinterHeadupImage"},
      {"status 10 00 00 00", {"10H", "00H", "00H", "00H"}, "CuttererrorImage"},
      {"status 00 00 00 00", {"00H", "00H", "00H", "00H"}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const std::string said = torva::sim::RunConsoleCommand(sim, torva::sim::ParseConsoleCommand(c.line), start);
    ASSERT_EQ(said.find("(four bytes set"), std::string::npos) << said;
    auto shown = [&] {
      return d->ui->Byte0Label->text() == c.labels[0] && d->ui->Byte1Label->text() == c.labels[1] &&
             d->ui->Byte2Label->text() == c.labels[2] && d->ui->Byte3Label->text() == c.labels[3];
    };
    ASSERT_TRUE(WaitFor(shown, 3000)) << d->ui->Byte0Label->text().toStdString() << " "
                                      << d->ui->Byte1Label->text().toStdString() << " "
                                      << d->ui->Byte2Label->text().toStdString() << " "
                                      << d->ui->Byte3Label->text().toStdString();
    if (c.errorImage) EXPECT_EQ(d->ImageGlyph(c.errorImage), Glyph::Error);
    else EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::OK);
    // Three more polls read the same record: nothing shifts.
    const size_t polls = sim.log("AutoStatusBack").size();
    ASSERT_TRUE(WaitFor([&] { return sim.log("AutoStatusBack").size() >= polls + 3 || !shown(); }, 5000));
    EXPECT_TRUE(shown()) << d->ui->Byte0Label->text().toStdString() << " " << d->ui->Byte1Label->text().toStdString()
                         << " " << d->ui->Byte2Label->text().toStdString() << " "
                         << d->ui->Byte3Label->text().toStdString();
  }
  d->ExitClick();
  EXPECT_TRUE(plain.texts.isEmpty()) << plain.texts.join(" | ").toStdString();
}

TEST_F(HardwareStatus, UsbDeviceAndUsbPrinterPoll) {
  for (int kind : {PortUSB, PortUSBPrinter}) {
    SCOPED_TRACE(kind);
    UseUsb(kind);
    sim.setStatusRecord({0, 0, 0, 0});
    auto d = Dialog(3);
    d->StartClick();
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
    sim.setStatusRecord(torva::sim::MakeVdRecord({.paperEnd = true}));
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::Error; }, 3000));
    d->StopClick();
    ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
    // A USB port is closed at the end of polling.
    EXPECT_EQ(kind == PortUSB ? USBParameter.m_hdev.load() : USBPrinterParameter.m_hdev.load(), -1);
    d->ExitClick();
    EXPECT_TRUE(plain.texts.isEmpty());
    sim.stop();
  }
}

// Over the USB socket the status call takes what is typed into the
// simulator as every other reply does: a silent printer, or one taking raw
// data, leaves the call unanswered, and the dialog reports it once instead
// of showing the last record set.
TEST_F(HardwareStatus, UsbStatusCallTakesTheSimulatorsNoReplyAndRawCapture) {
  struct Case {
    int kind;
    const char* line;
  } cases[] = {{PortUSB, "fault noreply"}, {PortUSBPrinter, "capture raw"}};
  const auto start = std::chrono::steady_clock::now();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    sim.stop();
    UseUsb(c.kind);
    sim.setStatusRecord(torva::sim::MakeVdRecord({.paperEnd = true}));
    plain.texts.clear();
    auto d = Dialog(3);
    d->StartClick();
    ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::Error; }, 3000));
    torva::sim::RunConsoleCommand(sim, torva::sim::ParseConsoleCommand(c.line), start);
    ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 5000));
    ASSERT_EQ(plain.texts.size(), 1);
    EXPECT_EQ(plain.texts[0], kFailEnglish);
    EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::Init);
    EXPECT_EQ(c.kind == PortUSB ? USBParameter.m_hdev.load() : USBPrinterParameter.m_hdev.load(), -1);
    d->ExitClick();
    sim.clearFault();
    sim.setRawCapture(false);
  }
}

TEST_F(HardwareStatus, StartStopTwoHundredTimesLeavesOnePollerAndNoDescriptor) {
  auto d = Dialog(3);
  // Warm up so lazily opened descriptors (the toolkit's own) do not count.
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  d->StopClick();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 2000));
  DescriptorCount fds;
  std::string before;
  int shown = 0;
  QObject::connect(d.get(), &torva::status::StatusDialog::recordShown, [&] { ++shown; });
  for (int i = 0; i < 200; ++i) {
    if (i == 20) {
      // Settled: from here on nothing may grow.
      fds = OpenDescriptors();
      before = Descriptors();
    }
    d->StartClick();
    EXPECT_LE(StatusPoller::LiveThreads(), 1);
    if (i % 3 == 0) {
      // A quick Stop then Start, without waiting for the end.
      d->StopClick();
      d->StartClick();
      EXPECT_LE(StatusPoller::LiveThreads(), 1);
    }
    const int before = shown;
    ASSERT_TRUE(WaitFor([&] { return shown > before; }, 3000)) << "cycle " << i;
    d->StopClick();
    ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000)) << "cycle " << i;
  }
  EXPECT_EQ(StatusPoller::LiveThreads(), 0);
  const DescriptorCount after = OpenDescriptors();
  EXPECT_EQ(after.plain, fds.plain) << before << "\n" << Descriptors();
  // The toolkit's own worker pool (one thread per core at most) starts its
  // threads lazily, each with an eventfd, and more of them on a busy machine;
  // that growth is bounded by the pool's size, while one leaked wake-up per
  // cycle would be 180.
  const int poolThreads = QThread::idealThreadCount();
  EXPECT_LE(after.eventfds, fds.eventfds + 2 + poolThreads) << before << "\n" << Descriptors();
  d->ExitClick();
  EXPECT_TRUE(plain.texts.isEmpty());
}

TEST_F(HardwareStatus, PrinterFallingSilentMidPoll) {
  auto d = Dialog(3);
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  sim.setFault({torva::sim::Fault::NoReply});
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
  ASSERT_EQ(plain.texts.size(), 1);
  EXPECT_EQ(plain.texts[0], kFailEnglish);
  // Nothing of the last record stays shown as current.
  for (const char* img : {"PaperendImage", "PrinterIdleImage", "CuttererrorImage"})
    EXPECT_EQ(d->ImageGlyph(img), Glyph::Init) << img;
  EXPECT_TRUE(d->MemoLines().isEmpty());
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_EQ(StatusPoller::LiveThreads(), 0);

  // Chinese: the plain box's own Chinese text.
  plain.texts.clear();
  sim.clearFault();
  Language = "Chinese";
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  sim.setFault({torva::sim::Fault::NoReply});
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
  ASSERT_EQ(plain.texts.size(), 1);
  EXPECT_EQ(plain.texts[0], QString::fromUtf8("获取打印机信息失败\n\r请检查打印机通讯是否正常！"));
}

TEST_F(HardwareStatus, SeriesModelFailureIsAnErrorMessageAfterComingBackFromTheTray) {
  auto d = Dialog(6);
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  d->MinimizeToTray();
  ASSERT_TRUE(bMinimize.load());
  sim.setFault({torva::sim::Fault::NoReply});
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
  EXPECT_FALSE(bMinimize.load());
  EXPECT_TRUE(d->isVisible());
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages.messages()[0].text, kFailEnglish);
  EXPECT_TRUE(plain.texts.isEmpty());
}

TEST_F(HardwareStatus, ClosingWhilePollingShowsNothingAndClosesThePort) {
  auto d = Dialog(3);
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  sim.setFault({torva::sim::Fault::NoReply});  // the thread waits for a reply
  d->close();                                   // the window's close box
  EXPECT_FALSE(d->Polling());
  EXPECT_EQ(StatusPoller::LiveThreads(), 0);
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  WaitFor([] { return false; }, 200);
  EXPECT_TRUE(plain.texts.isEmpty());
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(HardwareStatus, PortThatCannotBeOpenedWarnsAndStaysIdle) {
  ComParameter.Name = dir + "/no-such-port";
  auto d = Dialog(3);
  d->StartClick();
  EXPECT_TRUE(Idle(*d));
  EXPECT_FALSE(d->Polling());
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Warning);
  EXPECT_EQ(messages.messages()[0].text, kFailEnglish);

  UseUsb(PortUSB);
  USBParameter.X = 5;  // nothing there
  messages.clear();
  Language = "Chinese";
  d->StartClick();
  EXPECT_TRUE(Idle(*d));
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, QString::fromUtf8("获取打印机状态失败\n\r请检查打印机通讯是否正常！"));
}

TEST_F(HardwareStatus, PortKindsWithoutStatusSayNoStatusIsRead) {
  for (int kind : {PortDriver, PortNibbleLPT}) {
    PortType = kind;
    auto d = Dialog(3);
    d->StartClick();
    EXPECT_FALSE(d->Polling());
    EXPECT_TRUE(Idle(*d));
    EXPECT_EQ(d->MemoLines(), QStringList{torva::status::NoStatusText()});
    EXPECT_EQ(d->ImageGlyph("PrinterIdleImage"), Glyph::Init) << "never an all-clear without a record";
    EXPECT_EQ(d->ImageGlyph("PaperendImage"), Glyph::Init);
    d->ExitClick();
  }
}

TEST_F(HardwareStatus, SeriesRecordOfTheRwK305EAndItsEnd) {
  auto d = Dialog(9);
  sim.setStatusRecord(torva::sim::MakeRwRecord({.paperBlocking = true}));
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("BundlerPaperJamImage") == Glyph::Error; }, 3000));
  EXPECT_TRUE(d->MemoLines().contains("Printer  Paper Blocking Error"));
  EXPECT_TRUE(Box(*d, "Byte22")->isChecked());
  EXPECT_EQ(d->ui->Byte1Label->text(), "20H");
  // Sent once before the first poll and again at every serial poll (the
  // first record shown may be the answer to the first command, so the
  // second command is waited for).
  EXPECT_TRUE(WaitFor([&] { return sim.log("AutoStatusBack").size() >= 2u; }, 3000));
  d->StopClick();
  ASSERT_TRUE(WaitFor([&] { return Idle(*d); }, 3000));
  // The series thread clears the boxes and labels and closes the serial port.
  EXPECT_FALSE(Box(*d, "Byte22")->isChecked());
  EXPECT_EQ(d->ui->Byte1Label->text(), "00H");
  EXPECT_EQ(ComParameter.m_hdev.load(), -1);
  EXPECT_EQ(d->ImageGlyph("BundlerPaperJamImage"), Glyph::Init);
  d->ExitClick();
}

TEST_F(HardwareStatus, VdN512BundlerFullAndPrinterJamShareTheImage) {
  auto d = Dialog(0);
  sim.setStatusRecord(torva::sim::MakeVdRecord({.printerJam = true, .bundlerFull = true}));
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("BundlerFullImage") == Glyph::Error; }, 3000));
  sim.setStatusRecord(torva::sim::MakeVdRecord({.bundlerFull = true}));
  ASSERT_TRUE(WaitFor([&] { return !Box(*d, "Byte26")->isChecked(); }, 3000));
  EXPECT_EQ(d->ImageGlyph("BundlerFullImage"), Glyph::Error) << "the jam clearing paints no OK over bundler full";
  sim.setStatusRecord({0, 0, 0, 0});
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("BundlerFullImage") == Glyph::OK; }, 3000));
  d->ExitClick();
}

TEST_F(HardwareStatus, TrayHidesBothWindowsAndANewErrorBringsThemBack) {
  main->show();
  auto d = Dialog(3);
  d->StartClick();
  ASSERT_TRUE(WaitFor([&] { return d->ImageGlyph("PaperendImage") == Glyph::OK; }, 3000));
  d->MinimizeToTray();
  EXPECT_TRUE(bMinimize.load());
  EXPECT_FALSE(d->isVisible());
  EXPECT_FALSE(main->isVisible());
  ASSERT_TRUE(d->TrayIconVisible());
  EXPECT_EQ(d->TrayIcon()->toolTip(), "TORVAConsole");
  EXPECT_TRUE(d->Polling()) << "polling goes on behind the tray icon";

  sim.setStatusRecord(torva::sim::MakeVdRecord({.headUp = true}));
  ASSERT_TRUE(WaitFor([&] { return d->isVisible(); }, 3000));
  EXPECT_FALSE(bMinimize.load());
  EXPECT_TRUE(main->isVisible());
  EXPECT_FALSE(d->TrayIconVisible());
  EXPECT_EQ(d->ImageGlyph("PrinterHeadupImage"), Glyph::Error);

  // A click on the icon brings both back; moving over it does nothing.
  d->MinimizeToTray();
  emit d->TrayIcon()->activated(QSystemTrayIcon::MiddleClick);
  EXPECT_FALSE(d->isVisible());
  emit d->TrayIcon()->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(d->isVisible());
  EXPECT_TRUE(main->isVisible());
  EXPECT_FALSE(bMinimize.load());
  d->ExitClick();
}

TEST_F(HardwareStatus, HidingBehindTheTrayDoesNotEndTheModalRun) {
  main->show();
  PrinterName = 3;
  THardwareStatusForm d(main.get());
  d.SetupForModel(3);
  bool hiddenWhileRunning = false;
  QTimer::singleShot(0, &d, [&] {
    d.MinimizeToTray();
    QTimer::singleShot(20, &d, [&] {
      hiddenWhileRunning = !d.isVisible();
      d.RestoreFromTray();
      d.ExitClick();
    });
  });
  EXPECT_EQ(d.RunModal(), QDialog::Rejected);
  EXPECT_TRUE(hiddenWhileRunning);
  EXPECT_FALSE(bMinimize.load());
}

TEST_F(HardwareStatus, WithoutATrayAnOrdinaryMinimise) {
  torva::status::StatusDialog::trayAvailableOverride = false;
  main->show();
  auto d = Dialog(3);
  d->MinimizeToTray();
  EXPECT_TRUE(bMinimize.load());
  EXPECT_FALSE(d->TrayIconVisible());
  EXPECT_TRUE(main->isVisible());
  d->RestoreFromTray();
  EXPECT_FALSE(bMinimize.load());
  EXPECT_TRUE(d->isVisible());
  d->ExitClick();
}

TEST_F(HardwareStatus, HiddenResetButtonsSendTheirSequences) {
  struct Case {
    int kind;
    void (THardwareStatusForm::*click)();
    torva::sim::Bytes bytes;
  };
  const Case cases[] = {
      {PortCOM, &THardwareStatusForm::ResetPrinterButtonClick, {0x10, 0x04, 0x10, 0x10, 0x04, 0x11, 0x0A}},
      {PortCOM, &THardwareStatusForm::ResetBundlerButtonClick, {0x10, 0x04, 0x0A, 0x0A}},
  };
  auto d = Dialog(0);
  EXPECT_FALSE(d->ui->ResetPrinterButton->isVisibleTo(d.get()));
  EXPECT_FALSE(d->ui->ResetBundlerButton->isVisibleTo(d.get()));
  for (const auto& c : cases) {
    sim.clearLog();
    PortType = c.kind;
    (d.get()->*c.click)();
    ASSERT_TRUE(sim.waitForLog(1, 2000));
    EXPECT_EQ(sim.receivedBytes(), c.bytes);
    EXPECT_EQ(ComParameter.m_hdev.load(), -1) << "the port is closed in every case";
  }
  EXPECT_TRUE(messages.messages().empty());
  ComParameter.Name = "COM7";
  setenv("TORVA_COM7", (dir + "/none").c_str(), 1);
  PortType = PortCOM;
  d->ResetPrinterButtonClick();
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].text, "Can't open COM7 port!");
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  d->ExitClick();
}

// ---- the main window's per-model set-up --------------------------------------------------

TEST_F(HardwareStatus, PerModelBoxesCaptionsAndHeights) {
  struct Case {
    int model;
    std::vector<const char*> shown;
    std::vector<const char*> hidden;
    const char* jamCaption;  // nullptr: not checked
    int clientHeight;
  };
  const Case cases[] = {
      {0, {"BundlerHeadupBox", "VoltageabnormityBox", "BundlerFullBox", "BundlerPaperJamBox", "PrinterIdleBox"},
       {"CantFindMarkBox", "BundlerPaperHoldingBox"}, "Bundler Paper Jam", 401},
      {3, {"BundlerPaperJamBox", "PrinterCuttingBox"}, {"BundlerHeadupBox", "VoltageabnormityBox", "BundlerFullBox"},
       "Presenter Paper Jam", 401},
      {16, {"BundlerFullBox", "BundlerPaperJamBox"}, {"BundlerHeadupBox", "VoltageabnormityBox"},
       "Presenter Paper Jam", 401},
      {7, {"PrinterIdleBox", "PrinterCuttingBox", "AutoFeedingBox"},
       {"BundlerPaperJamBox", "BundlerHeadupBox", "VoltageabnormityBox", "BundlerFullBox"}, nullptr, 366},
      {10, {"PrinterPrintingBox"}, {"PrinterIdleBox", "PrinterCuttingBox", "AutoFeedingBox", "BundlerPaperJamBox"},
       nullptr, 366},
      {9, {"PrinterPrintingBox", "BundlerPaperJamBox"}, {"PrinterIdleBox", "AutoFeedingBox"}, "Paper Blocking", 366},
      {12, {"BundlerPaperJamBox"}, {"BundlerFullBox"}, "Printer Jam", 401},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.model);
    THardwareStatusForm d(main.get());
    d.SetupForModel(c.model);
    for (const char* b : c.shown) EXPECT_TRUE(d.findChild<QWidget*>(b)->isVisibleTo(&d)) << b;
    for (const char* b : c.hidden) EXPECT_FALSE(d.findChild<QWidget*>(b)->isVisibleTo(&d)) << b;
    if (c.jamCaption) {
      EXPECT_EQ(d.ui->BundlerPaperJamLabel->text(), c.jamCaption);
    }
    EXPECT_EQ(d.height(), c.clientHeight);
    EXPECT_EQ(d.windowTitle(), "Printer Status");
  }
  THardwareStatusForm d7(main.get());
  d7.SetupForModel(7);
  EXPECT_EQ(d7.ui->PrinterCuttingBox->pos(), QPoint(137, 25));
  EXPECT_EQ(d7.ui->AutoFeedingBox->pos(), QPoint(137, 71));
  EXPECT_EQ(d7.ui->GroupBox1->height(), 350);
  EXPECT_EQ(d7.ui->DetailStatusPanel->height(), 170);
  THardwareStatusForm d16(main.get());
  d16.SetupForModel(16);
  EXPECT_EQ(d16.ui->BundlerFullBox->y(), 163);
  EXPECT_EQ(d16.ui->BundlerFullLabel->text(), "Printer PaperJam");
  EXPECT_EQ(d16.ui->CuttererrorLabel->text(), "Cutter Error");
  THardwareStatusForm d3(main.get());
  d3.SetupForModel(3);
  EXPECT_EQ(d3.ui->CuttererrorLabel->text(), "Cutter Error\\Printer Paper Jam");
  EXPECT_EQ(d3.ui->StartButton->text(), "&Start");

  Language = "Chinese";
  THardwareStatusForm cn(main.get());
  cn.SetupForModel(12);
  EXPECT_EQ(cn.windowTitle(), QString::fromUtf8("打印机状态"));
  EXPECT_EQ(cn.ui->CuttererrorLabel->text(), QString::fromUtf8("切刀错误"));
  EXPECT_EQ(cn.ui->BundlerPaperJamLabel->text(), QString::fromUtf8("打印机塞纸"));
  EXPECT_EQ(cn.ui->StatusByte3Label->text(), QString::fromUtf8("状态位3"));
  EXPECT_EQ(cn.ui->StopButton->text(), QString::fromUtf8("停止(&T)"));
  EXPECT_EQ(cn.ui->MSBLabel->text(), QString::fromUtf8("高位"));
}
