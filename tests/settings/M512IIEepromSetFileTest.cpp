// Export and import of the VD-M512II and VD-M512 editors, through the dialog
// with the file dialogs replaced.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>

#include <atomic>
#include <chrono>
#include <thread>

#include "SettingsEditorTestSupport.h"
#include "SettingsFixtures.h"
#include "settings/M512EepromSet.h"
#include "settings/M512IIEepromSet.h"
#include "FileDialogFixture.h"

using namespace torva::settings;
using settings_test::Child;
using settings_test::KnownState;
using settings_test::KnownStateFile;
using settings_test::ReadAll;
using settings_test::ToBytes;
using settings_test::WriteAll;

namespace {

class EditorFileTest : public settings_test::FileDialogTest {};

}  // namespace

TEST_F(EditorFileTest, ExportOfAKnownStateIsTheGoldenFile) {
  TM512IIEepromSetForm form;
  form.setState(KnownState());
  const QString file = path("known.pes");
  Choose(file);
  form.btnExportSettingsToFileClick();
  const Bytes golden = KnownStateFile("VD-M512II");
  ASSERT_EQ(golden.size(), 180u);
  EXPECT_EQ(ToBytes(ReadAll(file)), golden);
  EXPECT_EQ(form.resultText(), "Export settings to file \"" + file + "\" successfully.");
  EXPECT_FALSE(form.resultIsRed());
  EXPECT_EQ(Child<QLabel>(form, "lblMsg")->toolTip(), form.resultText());
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(EditorFileTest, ImportOfTheGoldenFileRestoresTheState) {
  const QString file = path("golden.pes");
  WriteAll(file, KnownStateFile("VD-M512II"));
  TM512IIEepromSetForm form;
  Choose(file);
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(form.state(), KnownState());
  EXPECT_EQ(form.resultText(), "Import settings from file \"" + file + "\" successfully.");
  EXPECT_FALSE(form.saveEnabled()) << "an import does not enable Save";
  EXPECT_EQ(Child<QComboBox>(form, "cboComBaudRate")->currentText(), "19200");
  EXPECT_EQ(Child<QComboBox>(form, "cboComParity")->currentText(), "Odd");
}

TEST_F(EditorFileTest, EachEditorRefusesTheOthersFile) {
  struct Case {
    const char* tag;
    bool m512ii;
  };
  for (const Case c : {Case{"VD-M512ab", true}, Case{"VD-M512II", false}, Case{"VD-K512ab", true}}) {
    SCOPED_TRACE(c.tag);
    messages_.clear();
    const QString file = path(QString(c.tag) + ".pes");
    WriteAll(file, KnownStateFile(c.tag));
    std::unique_ptr<TCommonAddressEepromSetForm> form;
    if (c.m512ii) form = std::make_unique<TM512IIEepromSetForm>();
    else form = std::make_unique<TM512EepromSetForm>();
    const EditorState before = form->state();
    Choose(file);
    form->btnImportSettingsFromFileClick();
    EXPECT_EQ(form->state(), before);
    EXPECT_EQ(form->resultText(), "");
    ASSERT_EQ(messages_.messages().size(), 1u);
    EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(messages_.messages()[0].text, "The data format in file \"" + file + "\" is not normal!");
  }
}

TEST_F(EditorFileTest, FormatBoxIsEnglishInBothLanguages) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    messages_.clear();
    const QString file = path("other.pes");
    WriteAll(file, KnownStateFile("VD-M512ab"));
    TM512IIEepromSetForm form;
    Choose(file);
    form.btnImportSettingsFromFileClick();
    ASSERT_EQ(messages_.messages().size(), 1u);
    EXPECT_EQ(messages_.messages()[0].title, "Error");
    EXPECT_EQ(messages_.messages()[0].text, "The data format in file \"" + file + "\" is not normal!");
  }
}

TEST_F(EditorFileTest, TheVDM512EditorWritesItsOwnTag) {
  TM512EepromSetForm form;
  EditorState s = KnownState();
  form.setState(s);
  const QString file = path("m512.pes");
  Choose(file);
  form.btnExportSettingsToFileClick();
  EXPECT_EQ(ToBytes(ReadAll(file)), KnownStateFile("VD-M512ab"));
  EXPECT_EQ(form.windowTitle(), "M512 EepromSet");
  EXPECT_EQ(Child<QComboBox>(form, "cboComBaudRate")->count(), 5);
}

// An export that is refused or fails leaves the chosen file as it was.
TEST_F(EditorFileTest, RefusedExportLeavesTheFileAlone) {
  struct Case {
    const char* name;
    void (*edit)(EditorState&);
    const char* warning;  // empty: no warning, a red result line
  };
  const Case cases[] = {
      {"speed 151", [](EditorState& s) { s.speed = "151"; }, "The input of print speed is invalid!"},
      {"darkness text", [](EditorState& s) { s.darkness = "1a"; }, "The input of format is invalid!"},
      {"feed line 18", [](EditorState& s) { s.feedLine = "18"; }, "The input of feed line in mark mode is invalid!"},
      {"feed line 70000", [](EditorState& s) { s.feedLine = "70000"; },
       "The input of feed line in mark mode is invalid!"},
      {"feed line -1", [](EditorState& s) { s.feedLine = "-1"; }, "The input of feed line in mark mode is invalid!"},
      {"wait 241", [](EditorState& s) { s.waitTime = "241"; }, "The input of Presenter wait time is invalid!"},
      {"auto time 801", [](EditorState& s) { s.autoTime = "801"; }, "The input of auto loading time is invalid!"},
      {"auto speed 27", [](EditorState& s) { s.autoSpeed = "27"; }, "The input of auto loading speed is invalid!"},
      {"no baud rate", [](EditorState& s) { s.baud = -1; }, ""},
  };
  for (const auto& c : cases) {
    for (const bool m512ii : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (m512ii ? " (VD-M512II)" : " (VD-M512)"));
      messages_.clear();
      std::unique_ptr<TCommonAddressEepromSetForm> editor;
      if (m512ii) editor = std::make_unique<TM512IIEepromSetForm>();
      else editor = std::make_unique<TM512EepromSetForm>();
      TCommonAddressEepromSetForm& form = *editor;
      EditorState s = KnownState();
      c.edit(s);
      form.setState(s);
      const QString existing = path("existing.pes");
      WriteAll(existing, {1, 2, 3});
      const QString fresh = path("fresh.pes");
      for (const QString& file : {existing, fresh}) {
        Choose(file);
        form.btnExportSettingsToFileClick();
      }
      EXPECT_EQ(ToBytes(ReadAll(existing)), (Bytes{1, 2, 3}));
      EXPECT_FALSE(QFileInfo::exists(fresh));
      if (*c.warning) {
        ASSERT_EQ(messages_.messages().size(), 2u);
        EXPECT_EQ(messages_.messages()[0].text, c.warning);
        EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Warning);
      } else {
        EXPECT_TRUE(messages_.messages().empty());
        EXPECT_TRUE(form.resultIsRed());
        EXPECT_EQ(form.resultText(),
                  "Some error appears when exporting settings to file \"" + fresh + "\": COM's baud rate!");
      }
    }
  }
}

TEST_F(EditorFileTest, ExportIntoAMissingFolderFailsWithTheOpenError) {
  TM512IIEepromSetForm form;
  form.setState(KnownState());
  const QString file = path("no/such/folder/x.pes");
  Choose(file);
  form.btnExportSettingsToFileClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].text, "Fail to open file \"" + file + "\"!");
  Language = "Chinese";
  messages_.clear();
  form.btnExportSettingsToFileClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].text, "保存文件“" + file + "”失败！");
}

TEST_F(EditorFileTest, EditsReadAsTheyWillBeWritten) {
  // The feed line's ends, 19 and 65535, and a value with blanks around it.
  TM512IIEepromSetForm form;
  for (const auto& [text, lo, hi] : {std::tuple{"19", 19, 0}, std::tuple{"65535", 0xFF, 0xFF},
                                     std::tuple{" 300 ", 0x2C, 0x01}}) {
    EditorState s = KnownState();
    s.feedLine = text;
    form.setState(s);
    const QString file = path("feed.pes");
    Choose(file);
    form.btnExportSettingsToFileClick();
    const Bytes bytes = ToBytes(ReadAll(file));
    ASSERT_EQ(bytes.size(), 180u) << text;
    // The feed line is the fourteenth record.
    EXPECT_EQ(bytes[13 * 9 + 6], lo) << text;
    EXPECT_EQ(bytes[13 * 9 + 7], hi) << text;
    EXPECT_EQ(bytes[13 * 9 + 8], 0x2B);
  }
}

TEST_F(EditorFileTest, ImportSizeRules) {
  const Bytes golden = KnownStateFile("VD-M512II");
  Bytes tooMany;
  for (int i = 0; i < 26; ++i) tooMany.insert(tooMany.end(), golden.begin(), golden.begin() + 9);
  tooMany.insert(tooMany.end(), golden.end() - 9, golden.end());
  Bytes extraAfterTag = golden;
  extraAfterTag.push_back('x');
  Bytes extraInFront = golden;
  extraInFront.insert(extraInFront.begin(), 'x');
  const Bytes tagOnly(golden.end() - 9, golden.end());

  struct Case {
    const char* name;
    Bytes file;
    bool answer;          // the answer to the size question
    bool asked;           // the size question comes
    bool applied;         // the golden state is in the dialog afterwards
    const char* outcome;  // "ok", "error box", "nothing"
  };
  const Case cases[] = {
      {"golden", golden, true, false, true, "ok"},
      {"tag only", tagOnly, true, false, false, "ok"},
      {"empty", {}, true, false, false, "error box"},
      {"byte after the tag, OK", extraAfterTag, true, true, true, "ok"},
      {"byte after the tag, Cancel", extraAfterTag, false, true, false, "nothing"},
      {"byte in front, OK", extraInFront, true, true, false, "error box"},
      {"26 records", tooMany, true, false, false, "error box"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.clear();
    asked_.clear();
    const QString file = path("import.pes");
    WriteAll(file, c.file);
    TM512IIEepromSetForm form;
    const EditorState before = form.state();
    Choose(file, c.answer);
    form.btnImportSettingsFromFileClick();
    const QString notNormal = "The data format in file \"" + file + "\" is not normal!";
    EXPECT_EQ(asked_.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(asked_[0], notNormal);
    }
    EXPECT_EQ(form.state(), c.applied ? KnownState() : before);
    const std::string outcome = c.outcome;
    if (outcome == "ok") {
      EXPECT_EQ(form.resultText(), "Import settings from file \"" + file + "\" successfully.");
      EXPECT_TRUE(messages_.messages().empty());
    } else if (outcome == "error box") {
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].text, notNormal);
      EXPECT_EQ(form.resultText(), "");
    } else {
      EXPECT_TRUE(messages_.messages().empty());
      EXPECT_EQ(form.resultText(), "");
    }
  }
}

TEST_F(EditorFileTest, BadRecordsAreReportedAndTheRestIsApplied) {
  SettingsFileWriter w;
  w.SaveSettingsToFile(0x06, 100);  // speed 100: applied
  w.SaveSettingsToFile(0x02, 0);    // darkness 0: refused
  w.SaveSettingsToFile(0x66, 80);   // paper width: accepted, nothing shown
  w.SaveSettingsToFile2(0x10, 1);   // the second bank: refused
  w.SaveSettingsToFile(0x4E, 5);    // an address of other editors: refused
  w.SaveSettingsToFile(0x17, 7);    // data bits 7: applied
  const QString file = path("mixed.pes");
  WriteAll(file, w.Finish("VD-M512II"));
  TM512IIEepromSetForm form;
  Choose(file);
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(Child<QLineEdit>(form, "edtPrintSpeed")->text(), "100");
  EXPECT_EQ(Child<QLineEdit>(form, "edtPrintDarkness")->text(), "110");
  EXPECT_EQ(Child<QComboBox>(form, "cboComDataBits")->currentText(), "7");
  EXPECT_TRUE(form.resultIsRed());
  EXPECT_EQ(form.resultText(), "Some error appears when importing settings from file \"" + file + "\"!");
}

TEST_F(EditorFileTest, MissingFileGivesTheOpenError) {
  TM512IIEepromSetForm form;
  const QString file = path("missing.pes");
  Choose(file);
  form.btnImportSettingsFromFileClick();
  ASSERT_EQ(messages_.messages().size(), 1u);
  EXPECT_EQ(messages_.messages()[0].text, "Fail to open file \"" + file + "\"");
}

// A FIFO or a device chosen in the open dialog is refused with the open
// failure at once: nothing waits for a writer that never comes, nothing reads
// a device that never ends.
TEST_F(EditorFileTest, ImportRefusesWhatIsNotARegularFile) {
  const QString fifo = path("settings.pes");
  ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  struct Case {
    QString file;
    const char* language;
    QString message;
  };
  std::vector<Case> cases = {
      {fifo, "English", "Fail to open file \"" + fifo + "\""},
      {fifo, "Chinese", QString::fromUtf8("打开文件“") + fifo + QString::fromUtf8("”失败！")},
  };
  // A character device: reading /dev/zero never ends.
  struct stat st {};
  ASSERT_EQ(::stat("/dev/zero", &st), 0);
  ASSERT_TRUE(S_ISCHR(st.st_mode));
  cases.push_back({"/dev/zero", "English", "Fail to open file \"/dev/zero\""});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.toStdString() + " " + c.language);
    Language = c.language;
    messages_.clear();
    TM512IIEepromSetForm form;
    const EditorState before = form.state();
    // Should the import block in the FIFO's open, a writer comes after 3 s
    // and ends it, so the test fails instead of hanging.
    std::atomic<bool> done{false};
    std::thread unblock([&] {
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
      while (!done && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (done) return;
      const int fd = ::open(fifo.toLocal8Bit().constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0) ::close(fd);
    });
    const auto start = std::chrono::steady_clock::now();
    Choose(c.file);
    form.btnImportSettingsFromFileClick();
    const auto took = std::chrono::steady_clock::now() - start;
    done = true;
    unblock.join();
    EXPECT_LT(took, std::chrono::seconds(2));
    ASSERT_EQ(messages_.messages().size(), 1u);
    EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(messages_.messages()[0].text, c.message);
    EXPECT_EQ(form.state(), before);
  }
}

// An import that is refused or fails takes the previous import's
// "successfully" off the result line.
TEST_F(EditorFileTest, RefusedOrFailedImportClearsTheResultLine) {
  const QString good = path("good.pes");
  WriteAll(good, KnownStateFile("VD-M512II"));
  const QString other = path("other.pes");
  WriteAll(other, KnownStateFile("VD-M512ab"));
  Bytes oddBytes = KnownStateFile("VD-M512II");
  oddBytes.push_back('x');
  const QString odd = path("odd.pes");
  WriteAll(odd, oddBytes);
  const QString fifo = path("fifo.pes");
  ASSERT_EQ(::mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  struct Case {
    const char* name;
    QString file;
    bool answer;  // to the size question
  };
  const Case cases[] = {
      {"missing file", path("missing.pes"), true},
      {"another model's file", other, true},
      {"odd size, Cancel", odd, false},
      {"a FIFO", fifo, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TM512IIEepromSetForm form;
    Choose(good);
    form.btnImportSettingsFromFileClick();
    ASSERT_EQ(form.resultText(), "Import settings from file \"" + good + "\" successfully.");
    Choose(c.file, c.answer);
    form.btnImportSettingsFromFileClick();
    EXPECT_EQ(form.resultText(), "");
    EXPECT_EQ(Child<QLabel>(form, "lblMsg")->toolTip(), "");
    EXPECT_FALSE(form.resultIsRed());
  }
}

TEST_F(EditorFileTest, CancelledFileDialogsDoNothing) {
  TM512IIEepromSetForm form;
  Choose(QString());
  form.btnExportSettingsToFileClick();
  form.btnImportSettingsFromFileClick();
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_EQ(form.resultText(), "");
}

namespace {

void Key(QLineEdit* edit, Qt::Key key, const QString& text = {}) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QApplication::sendEvent(edit, &press);
}

}  // namespace

// Typing stops at each edit's maximum length, but a longer value that Get or
// an import put in (an unwritten cell reads 65535) is shown whole and can be
// shortened key by key.
TEST_F(EditorFileTest, EditsLimitTypingButKeepLongerValues) {
  TM512IIEepromSetForm form;
  EditorState s;
  s.waitTime = "65535";
  form.setState(s);
  QLineEdit* wait = Child<QLineEdit>(form, "WaitTime");
  ASSERT_NE(wait, nullptr);
  EXPECT_EQ(wait->text(), "65535");
  Key(wait, Qt::Key_Backspace);
  EXPECT_EQ(wait->text(), "6553");
  Key(wait, Qt::Key_Backspace);
  EXPECT_EQ(wait->text(), "655");
  Key(wait, Qt::Key_9, "9");
  EXPECT_EQ(wait->text(), "655") << "three characters at most once it fits";
  Key(wait, Qt::Key_Backspace);
  Key(wait, Qt::Key_0, "0");
  EXPECT_EQ(wait->text(), "650");

  struct Case {
    const char* name;
    int limit;
  };
  for (const Case c : {Case{"edtPrintSpeed", 3}, Case{"edtPrintDarkness", 3}, Case{"FeedLine", 5},
                       Case{"WaitTime", 3}, Case{"AutoTime", 3}, Case{"AotoSpeed", 3}}) {
    SCOPED_TRACE(c.name);
    QLineEdit* edit = Child<QLineEdit>(form, c.name);
    ASSERT_NE(edit, nullptr);
    edit->clear();
    for (int i = 0; i < 7; ++i) Key(edit, Qt::Key_1, "1");
    EXPECT_EQ(edit->text(), QString(c.limit, '1'));
  }
}

// Save's "Waiting..." caption does not move the other buttons.
TEST_F(EditorFileTest, ButtonRowKeepsItsWidths) {
  TM512IIEepromSetForm form;
  form.show();
  QApplication::processEvents();
  auto widths = [&] {
    std::vector<int> w;
    for (const char* name : {"btnGetSettingsFromPrinter", "btnSaveSettingsToPrinter", "btnImportSettingsFromFile",
                             "btnExportSettingsToFile", "btnExit"})
      w.push_back(Child<QPushButton>(form, name)->width());
    return w;
  };
  const std::vector<int> before = widths();
  Child<QPushButton>(form, "btnSaveSettingsToPrinter")->setText("Waiting...");
  form.layout()->activate();
  QApplication::processEvents();
  EXPECT_EQ(widths(), before);
}
