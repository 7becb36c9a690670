// The main window's User Command button and Test menu entry open the command
// console, modally, in the current language; with no port configured only
// the warning shows.
#include <QAction>
#include <QTimer>
#include <QToolButton>

#include "ShellFixture.h"
#include "sim/SimPrinter.h"
#include "tools/PrintTest.h"

using shelltest::ShellTest;

TEST_F(ShellTest, UserCommandOpensTheConsoleFromButtonAndMenu) {
  torva::sim::SimPrinter printer;
  TMainForm& main = Open();
  ComParameter.Name = printer.startSerial();
  PortType = PortCOM;
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (int way = 0; way < 2; ++way) {
      SCOPED_TRACE(std::string(language) + (way == 0 ? " button" : " menu"));
      QString title;
      bool ownedByMain = false;
      int handleWhileOpen = -1;
      QTimer::singleShot(0, [&] {
        auto* console = qobject_cast<TPrintTestForm*>(QApplication::activeModalWidget());
        if (!console) return;
        title = console->windowTitle();
        ownedByMain = console->parentWidget() == &main;
        handleWhileOpen = ComParameter.m_hdev;
        console->ExitButtonClick();
      });
      if (way == 0)
        main.findChild<QToolButton*>("SpeedButton_PrintTest")->click();
      else
        main.findChild<QAction*>("PrintTestMenu")->trigger();
      EXPECT_EQ(title, QString::fromUtf8(Language == "English" ? "User Command" : "用户指令"));
      EXPECT_TRUE(ownedByMain);
      EXPECT_GT(handleWhileOpen, 0);
      EXPECT_EQ(ComParameter.m_hdev, -1);  // closed by Exit
    }
  }
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_EQ(main.findChildren<TPrintTestForm*>().size(), 0);  // released

  PortType = PortNone;
  main.SpeedButton_PrintTestClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text, QString::fromUtf8("在进行此操作前请确认端口配置正确！"));
}
