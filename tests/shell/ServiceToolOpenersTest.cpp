// The main window's openers of the download, the printer information and the
// bundler wait time: their guards, their captions in both languages, the
// dialogs owned by the main window and released, and isADPress cleared
// before the information asks the printer.
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <functional>

#include "ShellFixture.h"
#include "shell/MenuEnables.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"
#include "tools/Bundlerlatencytime.h"
#include "tools/FirmwareUpdate.h"
#include "tools/Printerinformation.h"
#include "ui_MainForm.h"

using shelltest::ShellTest;

namespace {

template <typename Dialog>
Dialog* ModalDialog() {
  return qobject_cast<Dialog*>(QApplication::activeModalWidget());
}

// Runs `act` on the modal dialog of that type once it is up: a dialog that
// asks the printer while it is created runs the event loop before it shows.
template <typename Dialog>
void WhenModal(std::function<void(Dialog*)> act) {
  auto* timer = new QTimer;
  timer->setInterval(5);
  QObject::connect(timer, &QTimer::timeout, [timer, act] {
    Dialog* d = ModalDialog<Dialog>();
    if (!d) return;
    timer->stop();
    timer->deleteLater();
    act(d);
  });
  timer->start();
}

TEST_F(ShellTest, DownloadOpensFromButtonAndMenu) {
  TMainForm& main = Open();
  torva::sim::SimPrinter printer;
  ComParameter.Name = printer.startSerial();
  PortType = PortCOM;
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (int way = 0; way < 2; ++way) {
      SCOPED_TRACE(std::string(language) + (way == 0 ? " button" : " menu"));
      QString title, button, exit;
      bool ownedByMain = false;
      QTimer::singleShot(0, [&] {
        auto* d = ModalDialog<TFirmwareUpdateForm>();
        if (!d) return;
        title = d->windowTitle();
        button = d->findChild<QPushButton*>("DownLoadButton")->text();
        exit = d->findChild<QPushButton*>("ExitButton")->text();
        ownedByMain = d->parentWidget() == &main;
        d->ExitButtonClick();
      });
      if (way == 0)
        main.findChild<QToolButton*>("SpeedButton_FirmwareUpdate")->click();
      else
        main.findChild<QAction*>("FirmwareUpdateMenu")->trigger();
      const bool english = Language == "English";
      EXPECT_EQ(title, english ? "Download" : QString::fromUtf8("下载"));
      EXPECT_EQ(button, english ? "&Browse..." : QString::fromUtf8("浏览(&B)"));
      EXPECT_EQ(exit, english ? "E&xit" : QString::fromUtf8("退出(&X)"));
      EXPECT_TRUE(ownedByMain);
    }
  }
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_TRUE(main.findChildren<TFirmwareUpdateForm*>().empty());  // released
  PortType = PortNone;
  main.SpeedButton_FirmwareUpdateClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Warning);
}

TEST_F(ShellTest, PrinterInforGuardsThenShowsTheAnswers) {
  TMainForm& main = Open();
  Language = "English";
  struct Refusal {
    int kind;
    const char* text;
  };
  for (const Refusal& r : {Refusal{PortNone, "Please configurate the printer's port before other operations!"},
                           Refusal{PortLPT, "Sorry! This tool doesn't support LPT port!"},
                           Refusal{PortNet, "Sorry! This tool doesn't support net port!"}}) {
    recorder.clear();
    PortType = r.kind;
    main.findChild<QAction*>("PrinterInformationMenu")->trigger();
    ASSERT_EQ(recorder.texts(), std::vector<QString>{r.text});
    EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Warning);
  }
  recorder.clear();
  torva::sim::SimPrinter printer(ModelVDN512);
  printer.setSetting(0x06, 180);
  ComParameter.Name = printer.startSerial();
  PortType = PortCOM;
  PrinterName = ModelVDN512;
  Language = "Chinese";
  QString title, speed, modeCaption;
  WhenModal<TPrinterInformationForm>([&](TPrinterInformationForm* d) {
    title = d->windowTitle();
    speed = d->findChild<QLabel*>("PrintSpeedText")->text();
    modeCaption = d->findChild<QLabel*>("StaticText6")->text();
    d->reject();
  });
  main.PrinterInformationMenuClick();
  EXPECT_EQ(title, QString::fromUtf8("打印机信息"));
  EXPECT_EQ(speed, "180 mm/s");
  EXPECT_EQ(modeCaption, QString::fromUtf8("容纸器模式:"));
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_TRUE(main.findChildren<TPrinterInformationForm*>().empty());
}

// Left at 1 by the A/D view, isADPress would cut the VD-K773's custom-mode
// replies to seven bytes and shift every later value; the opener clears it
// before the dialog asks.
TEST_F(ShellTest, PrinterInforClearsIsADPressBeforeAsking) {
  TMainForm& main = Open();
  Language = "English";
  torva::sim::SimPrinter printer(ModelVDK773);
  const std::string socket = root.toStdString() + "/usb.sock";
  ASSERT_TRUE(torva::sim::StartUsbSocket(printer, socket, {}));
  setenv("TORVA_USB_SIM", socket.c_str(), 1);
  printer.setK773Custom(true, 1, 2);
  printer.setFirmwareVersion("V7.65.4");
  printer.setSetting(0x06, 150);
  printer.setSetting(0x3C, 12);
  PortType = PortUSBPrinter;
  PrinterName = ModelVDK773;
  USBPrinterParameter.Name = printer.printerName();
  is773Costom = 1;
  iUSBClassMode = 1;
  iStatusBytes = 2;
  iPrinterID = 1;
  isADPress = 1;
  QStringList values;
  WhenModal<TPrinterInformationForm>([&](TPrinterInformationForm* d) {
    for (const char* n : {"VersionText", "PrintSpeedText", "BundlerWaitTimeText", "PirnterNameText"})
      values << d->findChild<QLabel*>(n)->text();
    d->reject();
  });
  main.PrinterInformationMenuClick();
  EXPECT_EQ(values, (QStringList{"V7.65.4", "150 mm/s", "12s", "VD-K773"}));
  EXPECT_EQ(isADPress, 0);
  EXPECT_TRUE(recorder.messages().empty());
  unsetenv("TORVA_USB_SIM");
}

TEST_F(ShellTest, BundlerWaitTimeSitsInTheBundlerMenu) {
  TMainForm& main = Open();
  QAction* item = main.findChild<QAction*>("bundlerlatencytimeMenu");
  ASSERT_NE(item, nullptr);
  EXPECT_TRUE(main.ui->BundlerMenu->actions().contains(item));
  main.EnglishMenuClick();
  EXPECT_EQ(item->text(), "Bundler WaitTime");
  main.ChineseMenuClick();
  EXPECT_EQ(item->text(), QString::fromUtf8("容纸器等待时间"));
  // Reached only while its menu is: the VD-N512's row enables it, the
  // others' disable it.
  portset::ApplyMenuEnables(main, 2);
  EXPECT_TRUE(main.ui->BundlerMenu->menuAction()->isEnabled());
  portset::ApplyMenuEnables(main, 1);
  EXPECT_FALSE(main.ui->BundlerMenu->menuAction()->isEnabled());

  // No port: the warning as an information box.
  Language = "English";
  recorder.clear();
  PortType = PortNone;
  item->trigger();
  ASSERT_EQ(recorder.texts(), std::vector<QString>{"Please configurate the printer's port before other operations!"});
  EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Information);

  // A port: the dialog, owned by the main window; OK sends and closes the port.
  recorder.clear();
  torva::sim::SimPrinter printer(ModelVDN512);
  ComParameter.Name = printer.startSerial();
  PortType = PortCOM;
  bool ownedByMain = false;
  QTimer::singleShot(0, [&] {
    auto* d = ModalDialog<TBundlerlatencytimeForm>();
    if (!d) return;
    ownedByMain = d->parentWidget() == &main;
    d->findChild<QSpinBox*>("LatencyTimeEdit")->setValue(240);
    d->OKButtonClick();
  });
  item->trigger();
  EXPECT_TRUE(ownedByMain);
  EXPECT_TRUE(printer.waitForReceived(5, 3000));
  EXPECT_EQ(printer.receivedBytes(), (std::vector<uint8_t>{0x1B, 0x63, 0x39, 0xF0, 0x0A}));
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_TRUE(main.findChildren<TBundlerlatencytimeForm*>().empty());
}

}  // namespace
