// The main window's Check Mark (button and menu) and AD Converter (menu)
// open their dialogs modally, owned by the main window, in the current
// language, after their port-kind guards; Check Mark warns for the models
// without black-mark mode; isADPress is 1 exactly while the A/D view is open.
#include <QAction>
#include <QElapsedTimer>
#include <functional>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <gmock/gmock.h>

#include "ShellFixture.h"
#include "sim/SimPrinter.h"
#include "tools/ADConverter.h"
#include "tools/CheckMark.h"
#include "ui_ADConverter.h"
#include "ui_CheckMark.h"

using shelltest::ShellTest;

namespace {

// Runs `act` on the dialog of type T once it is the running modal dialog.
// The dialogs talk to the printer while they are created (with the event
// loop running), so a first look may come too early; one that never comes
// closes whatever modal window there is after 10 s, so the test fails
// instead of hanging.
template <typename T>
void WhenModal(std::function<void(T*)> act) {
  auto* timer = new QTimer;
  auto* waited = new QElapsedTimer;
  waited->start();
  QObject::connect(timer, &QTimer::timeout, [timer, waited, act] {
    auto* d = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!d && waited->elapsed() < 10000) return;
    timer->stop();
    timer->deleteLater();
    delete waited;
    if (d) {
      act(d);
    } else if (auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
      ADD_FAILURE() << "the expected dialog did not open";
      other->reject();
    }
  });
  timer->start(5);
}

class CalibrationOpeners : public ShellTest {
 protected:
  void UseSerial(int model) {
    printer.setModel(model);
    printer.setSetting(0x12, 1);  // mark paper
    printer.setSetting(0x39, 0x42);
    printer.setSetting(0x20, 0x42);
    ComParameter.Name = printer.startSerial();
    PortType = PortCOM;
    PrinterName = model;
  }
  torva::sim::SimPrinter printer;
};

}  // namespace

TEST_F(CalibrationOpeners, CheckMarkOpensFromButtonAndMenu) {
  TMainForm& main = Open();
  UseSerial(2);
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (int way = 0; way < 2; ++way) {
      SCOPED_TRACE(std::string(language) + (way == 0 ? " button" : " menu"));
      QString title, threshold;
      bool ownedByMain = false, calibrationEnabled = false;
      WhenModal<TCheckmarkForm>([&](TCheckmarkForm* d) {
        title = d->windowTitle();
        ownedByMain = d->parentWidget() == &main;
        threshold = d->form()->edtAD->text();
        calibrationEnabled = d->form()->CheckMark->isEnabled();
        d->ExitButtonClick();
      });
      if (way == 0)
        main.findChild<QToolButton*>("SpeedButton_CheckMark")->click();
      else
        main.findChild<QAction*>("CheckMarkMenu")->trigger();
      EXPECT_EQ(title, QString::fromUtf8(Language == "English" ? "Check Mark" : "黑标校验"));
      EXPECT_TRUE(ownedByMain);
      EXPECT_EQ(threshold, "42");
      EXPECT_TRUE(calibrationEnabled);
      EXPECT_EQ(ComParameter.m_hdev, -1);
    }
  }
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(main.findChildren<TCheckmarkForm*>().size(), 0);  // released

  PortType = PortLPT;
  main.SpeedButton_CheckMarkClick();
  PortType = PortNone;
  main.SpeedButton_CheckMarkClick();
  EXPECT_THAT(recorder.texts(), ::testing::ElementsAre(QString::fromUtf8("并口模式不支持此功能！"),
                                                       QString::fromUtf8("在进行此操作前请确认端口配置正确！")));
}

// The VD-K305 and the RW-K305GII: the dialog is created (and reads the
// printer), then the calibration is disabled and the warning shown, and the
// dialog opens all the same.
TEST_F(CalibrationOpeners, ModelsWithoutBlackMarkModeWarnThenOpenDisabled) {
  TMainForm& main = Open();
  Language = "English";
  for (int model : {3, 14}) {
    SCOPED_TRACE(model);
    printer.stop();
    UseSerial(model);
    recorder.clear();
    bool opened = false, calibrationEnabled = true;
    size_t messagesWhenShown = 0;
    WhenModal<TCheckmarkForm>([&](TCheckmarkForm* d) {
      opened = true;
      messagesWhenShown = recorder.messages().size();
      calibrationEnabled = d->form()->CheckMark->isEnabled();
      d->ExitButtonClick();
    });
    main.SpeedButton_CheckMarkClick();
    EXPECT_TRUE(opened);
    EXPECT_FALSE(calibrationEnabled);
    EXPECT_EQ(messagesWhenShown, 1u);
    EXPECT_THAT(recorder.texts(), ::testing::ElementsAre("The Printer does not support BlackMark Mode!"));
    EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Warning);
  }
}

TEST_F(CalibrationOpeners, ADConverterOpensWithIsADPressSetUntilItCloses) {
  TMainForm& main = Open();
  UseSerial(2);
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    SCOPED_TRACE(language);
    QString title;
    int pressedWhileOpen = -1;
    bool ownedByMain = false;
    WhenModal<TADConverterForm>([&](TADConverterForm* v) {
      title = v->windowTitle();
      ownedByMain = v->parentWidget() == &main;
      pressedWhileOpen = isADPress;
      v->close();  // the close box
    });
    EXPECT_EQ(isADPress, 0);
    main.findChild<QAction*>("ADConverterMenu")->trigger();
    EXPECT_EQ(title, QString::fromUtf8(Language == "English" ? "Analog / Digital Converter" : "AD转换"));
    EXPECT_TRUE(ownedByMain);
    EXPECT_EQ(pressedWhileOpen, 1);
    EXPECT_EQ(isADPress, 0);
  }
  // Closed while polling: the thread ends, the port is closed, isADPress is 0.
  bool polled = false;
  WhenModal<TADConverterForm>([&](TADConverterForm* v) {
    v->SetPollIntervalForTests(20);
    v->StartButtonClick();
    polled = shelltest::WaitFor([&] { return v->Edit(0)->text() != "0"; }, 5000);
    v->reject();  // Esc
  });
  main.ADConverterMenuClick();
  EXPECT_TRUE(polled);
  EXPECT_EQ(isADPress, 0);
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_EQ(torva::tools::TInquireADValueThread::LiveThreads(), 0);
  EXPECT_TRUE(recorder.messages().empty());

  for (int kind : {PortNone, PortLPT, PortNet}) {
    PortType = kind;
    main.ADConverterMenuClick();
  }
  EXPECT_THAT(recorder.texts(),
              ::testing::ElementsAre(QString::fromUtf8("在进行此操作前请确认端口配置正确！"),
                                     QString::fromUtf8("并口模式不支持此功能！"),
                                     QString::fromUtf8("以太网接口模式不支持此功能！")));
  EXPECT_EQ(isADPress, 0);
}
