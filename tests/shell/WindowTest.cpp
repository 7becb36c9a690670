// The main window's message helpers, help opener, tray and About box.
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUrl>

#include "ShellFixture.h"
#include "shell/About.h"
#include "ui_AboutForm.h"

using shelltest::ShellTest;

namespace {

// Stands in for the desktop's opener of local files.
class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  std::vector<QUrl> urls;
 public slots:
  void open(const QUrl& url) { urls.push_back(url); }
};

}  // namespace

TEST_F(ShellTest, MessageHelpersShowOneBoxInTheCurrentLanguage) {
  struct Case {
    void (*helper)(const QString&, const QString&);
    MessageKind kind;
    const char* englishTitle;
    const char* chineseTitle;
  };
  const Case cases[] = {
      {OutputWarning, MessageKind::Warning, "Warning", "警告"},
      {OutputError, MessageKind::Error, "Error", "错误"},
      {OutputInformation, MessageKind::Information, "Information", "信息"},
  };
  for (const Case& c : cases) {
    recorder.clear();
    Language = "English";
    c.helper("english text", QString::fromUtf8("中文"));
    Language = "Chinese";
    c.helper("english text", QString::fromUtf8("中文"));
    Language = "-1";  // neither language: nothing
    c.helper("english text", QString::fromUtf8("中文"));
    ASSERT_EQ(recorder.messages().size(), 2u);
    EXPECT_EQ(recorder.messages()[0].kind, c.kind);
    EXPECT_EQ(recorder.messages()[0].text.toStdString(), "english text");
    EXPECT_EQ(recorder.messages()[0].title.toStdString(), c.englishTitle);
    EXPECT_EQ(recorder.messages()[1].kind, c.kind);
    EXPECT_EQ(recorder.messages()[1].text.toStdString(), "中文");
    EXPECT_EQ(recorder.messages()[1].title.toStdString(), c.chineseTitle);
  }
}

TEST_F(ShellTest, RecordersNestAndTheInnermostRecords) {
  Language = "English";
  {
    MessageRecorder inner;
    OutputError("inner", "内");
    EXPECT_EQ(inner.messages().size(), 1u);
  }
  OutputError("outer", "外");
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "outer");
}

// Without a recorder the box is real: a timer looks at it and closes it.
TEST(MessageBoxTest, RealBoxHasTheTitleTheTextAndOneOkButton) {
  struct Case {
    const char* language;
    const char* title;
    const char* text;
  };
  const Case cases[] = {{"English", "Warning", "english text"}, {"Chinese", "警告", "中文"}};
  for (const Case& c : cases) {
    Language = c.language;
    QString title, text;
    int buttons = -1;
    QTimer::singleShot(50, [&] {
      for (QWidget* w : QApplication::topLevelWidgets()) {
        auto* box = qobject_cast<QMessageBox*>(w);
        if (!box || !box->isVisible()) continue;
        title = box->windowTitle();
        text = box->text();
        buttons = static_cast<int>(box->buttons().size());
        box->accept();
      }
    });
    OutputWarning("english text", QString::fromUtf8("中文"));
    EXPECT_EQ(title.toStdString(), c.title);
    EXPECT_EQ(text.toStdString(), c.text);
    EXPECT_EQ(buttons, 1);
  }
  ResetPortState();
}

TEST_F(ShellTest, HelpMenuWarnsOfAMissingFileAndF1StaysSilent) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  Language = "English";
  HelpMenuOpen();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Warning);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "ERROR, FILE NOT FOUND!");
  Language = "Chinese";
  recorder.clear();
  HelpMenuOpen();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].text.toStdString(), "错误！没有找到文件");

  recorder.clear();
  FormHelp(nullptr);
  EXPECT_TRUE(recorder.messages().empty());
  EXPECT_TRUE(catcher.urls.empty());
  QDesktopServices::unsetUrlHandler("file");
}

TEST_F(ShellTest, HelpOpensTheFileOfTheCurrentLanguage) {
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "open");
  shelltest::WriteFile(programDir + "/Guide_en.chm", "en");
  shelltest::WriteFile(programDir + "/Guide_cn.chm", "cn");
  TMainForm& form = Open();  // Chinese: no Printer.ini
  form.HelpChmMenuClick();
  Language = "English";
  FormHelp(&form);
  ASSERT_EQ(catcher.urls.size(), 2u);
  EXPECT_EQ(catcher.urls[0].toLocalFile(), programDir + "/Guide_cn.chm");
  EXPECT_EQ(catcher.urls[1].toLocalFile(), programDir + "/Guide_en.chm");
  EXPECT_TRUE(recorder.messages().empty());
  QDesktopServices::unsetUrlHandler("file");
}

TEST_F(ShellTest, MinimiseGoesToTheTrayAndAClickBringsItBack) {
  TMainForm::trayAvailableOverride = true;
  TMainForm& form = Open();
  form.show();
  form.MinimizeToTray();
  EXPECT_TRUE(bMinimize);
  EXPECT_FALSE(form.isVisible());
  ASSERT_TRUE(form.TrayIconVisible());
  auto* tray = form.findChild<QSystemTrayIcon*>();
  ASSERT_NE(tray, nullptr);
  EXPECT_EQ(tray->toolTip().toStdString(), "TORVAConsole");

  // A second start does not pull a window out of the tray.
  form.BringToFront();
  EXPECT_FALSE(form.isVisible());

  // Moving over the icon or a middle click does nothing.
  form.TrayIconActivated(QSystemTrayIcon::Unknown);
  form.TrayIconActivated(QSystemTrayIcon::MiddleClick);
  EXPECT_FALSE(form.isVisible());

  const QSystemTrayIcon::ActivationReason clicks[] = {QSystemTrayIcon::Trigger, QSystemTrayIcon::Context,
                                                       QSystemTrayIcon::DoubleClick};
  for (auto reason : clicks) {
    form.MinimizeToTray();
    ASSERT_FALSE(form.isVisible());
    form.TrayIconActivated(reason);
    EXPECT_TRUE(form.isVisible()) << reason;
    EXPECT_FALSE(bMinimize);
    EXPECT_FALSE(form.TrayIconVisible());
  }
}

TEST_F(ShellTest, MinimiseCommandUsesTheTrayWhenThereIsOne) {
  TMainForm::trayAvailableOverride = true;
  TMainForm& form = Open();
  form.show();
  form.setWindowState(Qt::WindowMinimized);
  EXPECT_TRUE(shelltest::WaitFor([&] { return bMinimize.load(); }, 1000));
  EXPECT_FALSE(form.isVisible());
  EXPECT_TRUE(form.TrayIconVisible());
  form.TrayIconActivated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(form.isVisible());
  EXPECT_FALSE(form.isMinimized());
}

TEST_F(ShellTest, WithoutATrayMinimiseIsOrdinary) {
  TMainForm::trayAvailableOverride = false;
  TMainForm& form = Open();
  form.show();
  form.MinimizeToTray();
  EXPECT_FALSE(bMinimize);
  EXPECT_FALSE(form.TrayIconVisible());
  EXPECT_TRUE(form.isMinimized());
  form.BringToFront();  // what a second start asks
  EXPECT_FALSE(form.isMinimized());
}

TEST_F(ShellTest, AboutBoxInBothLanguages) {
  struct Case {
    const char* language;
    const char* title;
    const char* version;
    const char* description;
    const char* ok;
    const char* notice;
  };
  const Case cases[] = {
      {"English", "About", "Version 2.67", "Monitor to control TORVA Printer", "&OK",
       "Service console for TORVA receipt printers."},
      {"Chinese", "关于", "版本 2.67", "嵌入式打印机监控程序", "确定(&O)", "TORVA 票据打印机维护控制台。"},
  };
  for (const Case& c : cases) {
    Language = c.language;
    TAboutForm about(nullptr);
    EXPECT_EQ(about.windowTitle().toStdString(), c.title);
    EXPECT_EQ(about.ui->Label1->text().toStdString(), "TORVAConsole");
    EXPECT_EQ(about.ui->Label2->text().toStdString(), c.version);
    EXPECT_EQ(about.ui->Label4->text().toStdString(), c.description);
    EXPECT_EQ(about.ui->OKButton->text().toStdString(), c.ok);
    EXPECT_EQ(about.ui->Label3->text().toStdString(), c.notice) << "the notice line in the box's language";
    EXPECT_EQ(about.font().families().value(0).toStdString(), Language == "English" ? "MS Sans Serif" : "Arial");
    QTimer::singleShot(0, &about, [&about] { about.ui->OKButton->click(); });
    EXPECT_EQ(about.exec(), QDialog::Accepted);
  }
}

#include "WindowTest.moc"
