// Language of the main window: Printer.ini at start, the language menu, the
// clock's prefix, and where the file lives.
#include <QAction>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QFileInfo>
#include <QMenu>
#include <QLocale>
#include <QRegularExpression>
#include <QTime>
#include <QTimeZone>
#include <QToolButton>

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QLabel>
#include <functional>

#include "ChildProcess.h"
#include "FileTargets.h"
#include "ShellFixture.h"
#include "ui_MainForm.h"

using shelltest::ShellTest;

namespace {

struct Caption {
  const char* control;
  const char* english;
  const char* chinese;
};

// Every caption of the main window; the Eeprom Set button's Chinese caption
// is checked on its own (its letter depends on how Chinese was reached).
const Caption kCaptions[] = {
    {"SpeedButton_PortSet", "&Port Setting", "端口设置(&P)"},
    {"SpeedButton_Monitot", "Status &Monitor", "状态监控(&M)"},
    {"SpeedButton_PrintTest", "&User Command", "用户指令(&U)"},
    {"SpeedButton_CheckMark", "&Check Mark", "黑标校验(&C)"},
    {"SpeedButton_FirmwareUpdate", "&Download", "下载(&D)"},
    {"SpeedButton_Exit", "E&xit", "退出(&X)"},
    {"FileMenu", "&File", "文件(&F)"},
    {"PortSettingMenu", "Open Port", "打开端口"},
    {"PortCloseMenu", "Close Port", "关闭端口"},
    {"ExitMenu", "Exit", "退出"},
    {"StatusMonitorMenu", "P&rinter Status", "打印机状态(&R)"},
    {"PrinterStatusMenu", "Status Monitor", "状态监控"},
    {"ADConverterMenu", "AD Converter", "AD转换"},
    {"PrinterInformationMenu", "Printer Infor", "打印机信息"},
    {"TestMenu", "&Test", "调测(&T)"},
    {"PrinterResetMenu", "Reset Printer", "打印机复位"},
    {"PrinterClearMenu", "Clear Error", "打印机排错"},
    {"FeedPaperMenu", "Feed Paper", "走纸"},
    {"CutMenu", "Cut", "切纸"},
    {"BundlerMenu", "Bundler", "容纸器"},
    {"BundlerPresentMenu", "Present", "吐纸"},
    {"BundlerRetractMenu", "Retract", "回收"},
    {"PrintTestMenu", "User Command", "用户指令"},
    {"CheckMarkMenu", "Check Mark", "黑标校验"},
    {"PrinterSettingMenu", "&Setting", "设置(&S)"},
    {"FirmwareUpdateMenu", "Download", "下载"},
    {"EepromSetMenu", "Eeprom Set", "Eeprom配置"},
    {"LanguageMenu", "&Language", "语言(&L)"},
    {"EnglishMenu", "English", "English"},
    {"ChineseMenu", "Simplified Chinese", "简体中文"},
    {"HelpMenu", "&Help", "帮助(&H)"},
    {"HelpChmMenu", "TORVAConsole Help", "TORVAConsole 帮助"},
    {"AboutMenu", "About", "关于"},
};

QString CaptionOf(TMainForm& form, const char* name) {
  QObject* o = form.findChild<QObject*>(name);
  if (auto* b = qobject_cast<QToolButton*>(o)) return b->text();
  if (auto* a = qobject_cast<QAction*>(o)) return a->text();
  if (auto* m = qobject_cast<QMenu*>(o)) return m->title();
  return "<missing " + QString(name) + ">";
}

void ExpectColumn(TMainForm& form, bool english, const char* eepromCaption) {
  for (const Caption& c : kCaptions)
    EXPECT_EQ(CaptionOf(form, c.control).toStdString(), english ? c.english : c.chinese) << c.control;
  EXPECT_EQ(CaptionOf(form, "SpeedButton_EepromSet").toStdString(), eepromCaption);
  EXPECT_EQ(form.ui->EnglishMenu->isChecked(), english);
  EXPECT_EQ(form.ui->ChineseMenu->isChecked(), !english);
}

bool FontIs(const QFont& font, const char* family) { return font.families().value(0) == family; }

// The box of a switch that could not be written, in the language chosen.
QString EnglishFailure(const QString& ini) {
  return "Fail to save the language to file \"" + ini + "\"! The language is not changed.";
}
QString ChineseFailure(const QString& ini) {
  return QString::fromUtf8("语言保存到文件“") + ini + QString::fromUtf8("”失败！语言未改变。");
}

}  // namespace

TEST_F(ShellTest, NoPrinterIniStartsChineseAndCreatesNoFile) {
  TMainForm& form = Open();
  EXPECT_EQ(Language, "Chinese");
  ExpectColumn(form, false, "Eeprom配置(&E)");
  EXPECT_TRUE(FontIs(form.font(), "Arial"));
  EXPECT_EQ(form.PanelText(0).toStdString(), "端口:");
  EXPECT_TRUE(form.PanelText(2).startsWith(QString::fromUtf8("时间:"))) << form.PanelText(2).toStdString();
  EXPECT_GT(form.PanelText(2).size(), QString::fromUtf8("时间:").size());  // the time follows at once
  EXPECT_FALSE(QFileInfo::exists(programDir + "/Printer.ini"));
  EXPECT_FALSE(QFileInfo::exists(configDir + "/Printer.ini"));
  EXPECT_EQ(form.windowTitle(), "TORVAConsole");
  EXPECT_EQ(form.property("TORVAConsole").toInt(), 1);
  EXPECT_EQ(PortType, PortNone);
  EXPECT_TRUE(recorder.messages().empty());
}

TEST_F(ShellTest, StoredValueDecidesTheStartLanguage) {
  struct Case {
    const char* stored;
    bool english;
  };
  const Case cases[] = {{"English", true}, {"Chinese", false}, {"english", false}, {"-1", false}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.stored);
    StoreLanguage(c.stored);
    TMainForm& form = Open();
    EXPECT_EQ(Language, c.english ? "English" : "Chinese");
    ExpectColumn(form, c.english, c.english ? "&Eeprom Set" : "Eeprom配置(&E)");
    EXPECT_TRUE(FontIs(form.font(), c.english ? "MS Sans Serif" : "Arial"));
    EXPECT_EQ(form.PanelText(0).toStdString(), c.english ? "Port:" : "端口:");
    EXPECT_TRUE(form.PanelText(2).startsWith(c.english ? "Current Time:" : QString::fromUtf8("时间:")));
    form.close();
  }
}

TEST_F(ShellTest, MenuSwitchWritesTheFileAndRecaptionsEverything) {
  TMainForm& form = Open();
  PortDisplay = "COM1";
  form.SetPanelText(1, "VD-M512II");

  form.EnglishMenuClick();
  EXPECT_EQ(Language, "English");
  EXPECT_EQ(ReadIniLanguage().toStdString(), "English");
  EXPECT_TRUE(QFileInfo::exists(programDir + "/Printer.ini"));
  ExpectColumn(form, true, "&Eeprom Set");
  EXPECT_TRUE(FontIs(form.font(), "MS Sans Serif"));
  EXPECT_EQ(form.PanelText(0).toStdString(), "Port:COM1");
  EXPECT_EQ(form.PanelText(1).toStdString(), "VD-M512II");
  EXPECT_TRUE(form.PanelText(2).startsWith("Current Time:"));

  form.ChineseMenuClick();
  EXPECT_EQ(Language, "Chinese");
  EXPECT_EQ(ReadIniLanguage().toStdString(), "Chinese");
  // After the menu the Eeprom Set button takes the letter N.
  ExpectColumn(form, false, "Eeprom配置(&N)");
  EXPECT_TRUE(FontIs(form.font(), "Arial"));
  EXPECT_EQ(form.PanelText(0).toStdString(), "端口:COM1");
  EXPECT_EQ(form.PanelText(1).toStdString(), "VD-M512II");
  EXPECT_TRUE(form.PanelText(2).startsWith(QString::fromUtf8("时间:")));

  // Messages follow the switch at once.
  form.FeedPaperMenuClick();
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].title.toStdString(), "警告");
}

TEST_F(ShellTest, ChineseMenuOnAChineseStartStillGivesLetterN) {
  TMainForm& form = Open();
  EXPECT_EQ(CaptionOf(form, "SpeedButton_EepromSet").toStdString(), "Eeprom配置(&E)");
  form.ChineseMenuClick();
  EXPECT_EQ(CaptionOf(form, "SpeedButton_EepromSet").toStdString(), "Eeprom配置(&N)");
  // A later start reads the written file: Chinese with E again.
  form.close();
  TMainForm& again = Open();
  EXPECT_EQ(CaptionOf(again, "SpeedButton_EepromSet").toStdString(), "Eeprom配置(&E)");
}

TEST_F(ShellTest, EditingTheFileChangesOnlyTheClockPrefixWithinASecond) {
  StoreLanguage("English");
  TMainForm& form = Open();
  ASSERT_TRUE(form.PanelText(2).startsWith("Current Time:"));

  StoreLanguage("Chinese");
  EXPECT_TRUE(shelltest::WaitFor([&] { return form.PanelText(2).startsWith(QString::fromUtf8("时间:")); }, 1500))
      << form.PanelText(2).toStdString();
  EXPECT_EQ(Language, "English");
  ExpectColumn(form, true, "&Eeprom Set");
  EXPECT_EQ(form.PanelText(0).toStdString(), "Port:");

  StoreLanguage("English");
  EXPECT_TRUE(shelltest::WaitFor([&] { return form.PanelText(2).startsWith("Current Time:"); }, 1500));
}

TEST_F(ShellTest, FailedWriteLeavesTheLanguageAsItWas) {
  // A folder where the file should be: nothing can be written there, even
  // by root.
  ASSERT_TRUE(QDir().mkpath(programDir + "/Printer.ini"));
  TMainForm& form = Open();
  ASSERT_EQ(Language, "Chinese");
  form.EnglishMenuClick();
  EXPECT_EQ(Language, "Chinese");
  ExpectColumn(form, false, "Eeprom配置(&E)");
  // Said in the language chosen.
  ASSERT_EQ(recorder.messages().size(), 1u);
  EXPECT_EQ(recorder.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(recorder.messages()[0].title, "Error");
  EXPECT_EQ(recorder.messages()[0].text, EnglishFailure(programDir + "/Printer.ini"));
  form.ClockUpdate();
  EXPECT_TRUE(form.PanelText(2).startsWith(QString::fromUtf8("时间:")));

  // Chosen from the menu itself, which toggles the item before the handler
  // runs: the check marks stay on Chinese too.
  recorder.clear();
  form.ui->EnglishMenu->trigger();
  form.ui->ChineseMenu->trigger();
  EXPECT_EQ(Language, "Chinese");
  ExpectColumn(form, false, "Eeprom配置(&E)");
  EXPECT_EQ(recorder.texts(), (std::vector<QString>{EnglishFailure(programDir + "/Printer.ini"),
                                                    ChineseFailure(programDir + "/Printer.ini")}));
  EXPECT_EQ(recorder.messages()[1].title, QString::fromUtf8("错误"));
}

// What stands at Printer.ini when the language is switched, and must stand
// there unchanged afterwards: the switch is refused, the language stays, and
// a box in the chosen language says so. A FIFO once blocked the window for
// ever (the file was opened to be read first); a device node was replaced by
// a regular file; a file that is not INI was rewritten as junk. On a disk
// with room for a small lock file and the file's old size but not for the
// key added to it, the write cut the file short and the switch said it
// worked.
TEST_F(ShellTest, PrinterIniThatIsNotRewritten) {
  const QString ini = programDir + "/Printer.ini";
  const QString node = root + "/node";
  const bool ownNode = ::mknod(QFile::encodeName(node).constData(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  struct Case {
    const char* name;
    std::function<void()> make;
    torva::test::ChildLimits limits;
  };
  const Case cases[] = {
      {"a FIFO", [&] { ::mkfifo(QFile::encodeName(ini).constData(), 0600); }, {}},
      {"a device node, through a link",
       [&] {
         ::symlink(ownNode ? QFile::encodeName(node).constData() : "/dev/null", QFile::encodeName(ini).constData());
       },
       {}},
      {"a file that is not INI",
       [&] { shelltest::WriteFile(ini, "[Printer\nLanguage=English\nkept by the user\n"); }, {}},
      {"a disk without room for the key",
       [&] { shelltest::WriteFile(ini, "[Other]\nkept=" + QByteArray(4070, 'k') + "\n"); },
       {.fileSizeLimit = 4096}},
      {"a file over 1 MiB", [&] { shelltest::WriteFile(ini, "[Printer]\nLanguage=English\n" + QByteArray(1 << 20, ';')); },
       {}},
  };
  std::vector<Case> all(std::begin(cases), std::end(cases));
  // Another user's link in a program folder that everybody may write (a
  // console run from /tmp): the switch does not write through it to the
  // file it names. Only root can plant it.
  const QString victim = root + "/victim.ini";
  shelltest::WriteFile(victim, "[Printer]\nLanguage=English\n");
  const QByteArray iniName = QFile::encodeName(ini);
  if (::symlink(QFile::encodeName(victim).constData(), iniName.constData()) == 0 &&
      ::lchown(iniName.constData(), 65534, 65534) == 0) {
    all.push_back({"another user's link in a sticky program folder",
                   [&] {
                     ::chmod(QFile::encodeName(programDir).constData(), 01777);
                     ::symlink(QFile::encodeName(victim).constData(), iniName.constData());
                     ::lchown(iniName.constData(), 65534, 65534);
                   },
                   {}});
  }
  QFile::remove(ini);
  for (const Case& c : all) {
    SCOPED_TRACE(c.name);
    QFile::remove(ini);
    c.make();
    const std::string before = torva::test::Describe(ini);
    const QStringList names = torva::test::Entries(programDir);
    recorder.clear();
    TMainForm& form = Open();
    const std::string start = Language;
    const std::string chosen = start == "English" ? "Chinese" : "English";
    auto switchLanguage = [&] {
      if (chosen == "English")
        form.EnglishMenuClick();
      else
        form.ChineseMenuClick();
      QString out = QString::fromStdString(Language);
      for (const auto& m : recorder.messages()) out += "\n" + m.title + ": " + m.text;
      return out.toStdString();
    };
    torva::test::ChildRun run;
    if (c.limits.fileSizeLimit >= 0) {
      run = torva::test::RunInChild(switchLanguage, c.limits);
    } else {
      torva::test::FifoRescue rescue(ini);
      run = {true, switchLanguage()};
      EXPECT_FALSE(rescue.stop()) << "the switch waited on the FIFO";
    }
    ASSERT_TRUE(run.ended) << run.answer;
    const QString failure = chosen == "English" ? "Error: " + EnglishFailure(ini)
                                                : QString::fromUtf8("错误: ") + ChineseFailure(ini);
    EXPECT_EQ(QString::fromStdString(run.answer), QString::fromStdString(start) + "\n" + failure);
    EXPECT_EQ(torva::test::Describe(ini), before);
    EXPECT_EQ(torva::test::Entries(programDir), names);
    form.close();
  }
  ::chmod(QFile::encodeName(programDir).constData(), 0755);
}

// The temporary folder plays no part: Printer.ini is read from its bytes in
// memory and replaced through a file beside it. With TMPDIR missing (or not a
// folder, or one that takes no file) an English file once read as "-1": the
// console started in Chinese and refused every switch.
TEST_F(ShellTest, StoredLanguageAndSwitchWhateverTheTemporaryFolder) {
  const QByteArray saved = qgetenv("TMPDIR");
  const QString notAFolder = root + "/tmp-file";
  shelltest::WriteFile(notAFolder, "a file");
  const QString readOnly = root + "/tmp-read-only";
  QDir().mkpath(readOnly);
  ::chmod(QFile::encodeName(readOnly).constData(), 0555);
  struct Case {
    const char* name;
    QString tmp;
    torva::test::ChildLimits limits;
  };
  const Case cases[] = {
      {"missing", root + "/no-such-folder", {}},
      {"not a folder", notAFolder, {}},
      {"takes no file", readOnly, {.permissionsBindRoot = true}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StoreLanguage("English");
    qputenv("TMPDIR", QFile::encodeName(c.tmp));
    TMainForm& form = Open();
    // In a child process where the limits must bind root too; what it saw
    // comes back as text.
    const auto run = torva::test::RunInChild(
        [&] {
          std::string seen = ReadIniLanguage().toStdString();
          auto note = [&] { seen.append(" ").append(Language).append(":").append(ReadIniLanguage().toStdString()); };
          form.ChineseMenuClick();
          note();
          form.EnglishMenuClick();
          note();
          for (const auto& m : recorder.messages()) seen.append("\n").append(m.text.toStdString());
          return seen;
        },
        c.limits);
    ASSERT_TRUE(run.ended) << run.answer;
    EXPECT_EQ(Language, "English");
    EXPECT_EQ(run.answer, "English Chinese:Chinese English:English");
    EXPECT_EQ(shelltest::ReadFile(programDir + "/Printer.ini"), "[Printer]\nLanguage=English\n");
    EXPECT_EQ(torva::test::Entries(programDir), QStringList{"Printer.ini"});
    form.close();
  }
  if (saved.isNull())
    qunsetenv("TMPDIR");
  else
    qputenv("TMPDIR", saved);
  ::chmod(QFile::encodeName(readOnly).constData(), 0755);
}

// A program folder that takes no new file, with a Printer.ini in it that is
// itself writable: the whole-file replacement needs a file beside it, so the
// switch goes to the user's configuration folder, and the next start reads
// it there. It once wrote nowhere and said it could not save.
TEST_F(ShellTest, PrinterIniInAReadOnlyProgramFolderMovesToTheConfigFolder) {
  StoreLanguage("Chinese");
  const QByteArray folder = QFile::encodeName(programDir);
  ASSERT_EQ(::chmod(folder.constData(), 0555), 0);
  TMainForm& form = Open();
  ASSERT_EQ(Language, "Chinese");
  const auto run = torva::test::RunInChild(
      [&] {
        form.EnglishMenuClick();
        std::string seen = Language;
        seen.append(" ").append(PrinterIniWritePath().toStdString());
        for (const auto& m : recorder.messages()) seen.append("\n").append(m.text.toStdString());
        return seen;
      },
      {.permissionsBindRoot = true});
  ::chmod(folder.constData(), 0755);
  ASSERT_TRUE(run.ended) << run.answer;
  EXPECT_EQ(run.answer, "English " + (configDir + "/Printer.ini").toStdString());
  EXPECT_EQ(shelltest::ReadFile(configDir + "/Printer.ini"), "[Printer]\nLanguage=English\n");
  EXPECT_EQ(shelltest::ReadFile(programDir + "/Printer.ini"), "[Printer]\nLanguage=Chinese\n");
  form.close();
  Open();
  EXPECT_EQ(Language, "English");
}

// The status bar shows port names as they are found, markup and all.
TEST_F(ShellTest, StatusBarShowsPortNamesAsPlainText) {
  TMainForm& form = Open();
  PortDisplay = "<b>USB</b><br>Printer";
  form.EnglishMenuClick();
  EXPECT_EQ(form.PanelText(0), "Port:<b>USB</b><br>Printer");
  for (QLabel* panel : form.findChildren<QLabel*>(QRegularExpression("^PortInforStatusPanel")))
    EXPECT_EQ(panel->textFormat(), Qt::PlainText) << panel->objectName().toStdString();
}

TEST_F(ShellTest, PrinterIniMovesToTheConfigFolderWhereTheProgramFolderIsNotWritable) {
  // A program folder that does not exist cannot take the file.
  SetProgramFolderForTests(root + "/gone");
  TMainForm& form = Open();
  form.EnglishMenuClick();
  EXPECT_EQ(Language, "English");
  EXPECT_EQ(QString(shelltest::ReadFile(configDir + "/Printer.ini")).contains("Language=English"), true);
  EXPECT_EQ(PrinterIniReadPath(), configDir + "/Printer.ini");
  form.ClockUpdate();
  EXPECT_TRUE(form.PanelText(2).startsWith("Current Time:"));
}

TEST_F(ShellTest, ConfigFolderCopyIsReadFirstAndWrittenWhenItExists) {
  StoreLanguage("Chinese");
  QDir().mkpath(configDir);
  shelltest::WriteFile(configDir + "/Printer.ini", "[Printer]\nLanguage=English\n");
  TMainForm& form = Open();
  EXPECT_EQ(Language, "English");
  form.ChineseMenuClick();
  EXPECT_TRUE(QString(shelltest::ReadFile(configDir + "/Printer.ini")).contains("Language=Chinese"));
  // The copy beside the program is left alone.
  EXPECT_TRUE(QString(shelltest::ReadFile(programDir + "/Printer.ini")).contains("Language=Chinese"));
  form.EnglishMenuClick();
  EXPECT_TRUE(QString(shelltest::ReadFile(configDir + "/Printer.ini")).contains("Language=English"));
  EXPECT_TRUE(QString(shelltest::ReadFile(programDir + "/Printer.ini")).contains("Language=Chinese"));
}

// The clock shows hours, minutes and seconds in the long time format, and no
// time-zone name.
TEST(ClockText, LongTimeFormatWithoutTheTimeZone) {
  const QTime t(11, 23, 0);
  struct Case {
    const char* locale;
    const char* text;
  };
  const Case cases[] = {
      {"C", "11:23:00"},       {"en_US", "11:23:00 AM"}, {"en_GB", "11:23:00"},
      {"zh_CN", "11:23:00"},   {"de_DE", "11:23:00"},    {"ja_JP", "11時23分00秒"},
      {"fa_IR", "۱۱:۲۳:۰۰"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClockTimeText(QLocale(c.locale), t).toStdString(), c.text) << c.locale;
  }
  // No locale's clock names the zone.
  const QString zone = QTimeZone::systemTimeZone().abbreviation(QDateTime::currentDateTime());
  ASSERT_FALSE(zone.isEmpty());
  for (const QLocale& l : QLocale::matchingLocales(QLocale::AnyLanguage, QLocale::AnyScript, QLocale::AnyTerritory)) {
    const QString text = ClockTimeText(l, t);
    EXPECT_FALSE(text.contains(zone)) << l.name().toStdString() << ": " << text.toStdString();
    EXPECT_FALSE(text.isEmpty()) << l.name().toStdString();
  }
}

TEST_F(ShellTest, ClockPanelReadsTheTimeWithSeconds) {
  StoreLanguage("English");
  TMainForm& form = Open();
  const QTime before = QTime::currentTime();
  form.ClockUpdate();
  const QTime after = QTime::currentTime();
  const QString panel = form.PanelText(2);
  EXPECT_TRUE(panel == "Current Time:" + ClockTimeText(QLocale::system(), before) ||
              panel == "Current Time:" + ClockTimeText(QLocale::system(), after))
      << panel.toStdString();
  if (QLocale::system().name() == "C") {
    EXPECT_TRUE(QRegularExpression("^Current Time:\\d\\d:\\d\\d:\\d\\d$").match(panel).hasMatch())
        << panel.toStdString();
  }
}

// The toolkit's own buttons follow the console's language: at start, after
// each switch of the language menu.
TEST_F(ShellTest, ToolkitButtonsFollowTheLanguage) {
  auto buttons = [] {
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    return (box.button(QDialogButtonBox::Ok)->text() + "/" + box.button(QDialogButtonBox::Cancel)->text())
        .toStdString();
  };
  TMainForm& form = Open();  // no Printer.ini: Chinese
  ASSERT_EQ(Language, "Chinese");
  EXPECT_EQ(buttons(), "确定/取消");
  EXPECT_EQ(QCoreApplication::translate("QFileDialog", "Look in:").toStdString(), "查找范围：");
  form.EnglishMenuClick();
  EXPECT_EQ(buttons(), "OK/Cancel");
  form.ChineseMenuClick();
  EXPECT_EQ(buttons(), "确定/取消");
  form.EnglishMenuClick();
  form.close();
  // An English start loads nothing.
  TMainForm& english = Open();
  ASSERT_EQ(Language, "English");
  EXPECT_EQ(buttons(), "OK/Cancel");
  english.ChineseMenuClick();
  EXPECT_EQ(buttons(), "确定/取消");
  english.EnglishMenuClick();
}
