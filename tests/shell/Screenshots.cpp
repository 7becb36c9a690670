// Screenshots of the main window for the documentation, in both languages,
// with a configured port. Taken only when TORVA_DOCS_SHOTS names a folder.
#include <QApplication>
#include <QCursor>

#include "ShellFixture.h"

using shelltest::ShellTest;

TEST_F(ShellTest, MainWindowScreenshots) {
  const QString folder = qEnvironmentVariable("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  for (const char* lang : {"English", "Chinese"}) {
    StoreLanguage(lang);
    TMainForm& main = Open();
    main.SetPanelText(0, Tr2("Port:", "端口:") + "COM1");
    main.show();
    main.ClockUpdate();
    QApplication::processEvents();
    const QString file = folder + "/main-window-" + (Language == "English" ? "en" : "cn") + ".png";
    ASSERT_TRUE(main.grab().save(file)) << file.toStdString();
    form.reset();
  }
}
