// Export and import of the VD-K512, VD-K201, VD-K305 and VD-N512 editors
// through their dialogs, with the file dialogs replaced; their file dialogs,
// and their forms as a user sees them.
#include <gtest/gtest.h>
#include <gmock/gmock.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <functional>
#include <memory>

#include "CaptionCheck.h"
#include "SettingsEditorTestSupport.h"
#include "SettingsFixtures.h"
#include "FileDialogFixture.h"
#include "gui/UpDown.h"
#include "settings/K201EepromSet.h"
#include "settings/K305EepromSet.h"
#include "settings/K512EepromSet.h"
#include "settings/M512IIEepromSet.h"
#include "settings/N512EepromSet.h"

using namespace torva::settings;
using settings_test::Child;
using settings_test::FileOf;
using settings_test::KnownK305File;
using settings_test::KnownK305State;
using settings_test::KnownN512File;
using settings_test::KnownN512State;
using settings_test::KnownState;
using settings_test::KnownStateFile;
using settings_test::ReadAll;
using settings_test::ToBytes;
using settings_test::WriteAll;

namespace {

using Form = TCommonAddressEepromSetForm;
using Maker = std::function<std::unique_ptr<Form>()>;

template <class F>
Maker MakerOf() {
  return [] { return std::make_unique<F>(); };
}

// How many of this process's descriptors are open on the file.
int DescriptorsOn(const QString& path) {
  const QString target = QFileInfo(path).canonicalFilePath();
  int n = 0;
  for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::NoDotAndDotDot | QDir::System | QDir::Files)) {
    if (fd.symLinkTarget() == target) ++n;
  }
  return n;
}

class FamilyFileTest : public settings_test::FileDialogTest {};

}  // namespace

// Each editor's export of a known state is the file written by hand from the
// record tables, and importing that file into a fresh dialog gives the state
// back.
TEST_F(FamilyFileTest, GoldenFilesBothWays) {
  struct Case {
    const char* name;
    Maker make;
    EditorState state;
    Bytes file;
    size_t size;
  };
  const Case cases[] = {
      {"K512", MakerOf<TK512EepromSetForm>(), KnownState(), KnownStateFile("VD-K512ab"), 180},
      {"K201", MakerOf<TK201EepromSetForm>(), KnownState(), KnownStateFile("VD-K201ab"), 180},
      {"K305", MakerOf<TK305EepromSetForm>(), KnownK305State(), KnownK305File(), 198},
      {"N512", MakerOf<TN512EepromSetForm>(), KnownN512State(), KnownN512File(), 207},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(c.file.size(), c.size);
    const QString file = path(QString(c.name) + ".pes");
    auto form = c.make();
    form->setState(c.state);
    ASSERT_EQ(form->state(), c.state);
    Choose(file);
    form->btnExportSettingsToFileClick();
    EXPECT_EQ(ToBytes(ReadAll(file)), c.file);
    EXPECT_EQ(form->resultText(), "Export settings to file \"" + file + "\" successfully.");
    EXPECT_FALSE(form->resultIsRed());

    auto fresh = c.make();
    // Margins away from their start values, so the import visibly sets them.
    EditorState start = fresh->state();
    start.leftMargin = "0";
    start.rightMargin = "16";
    fresh->setState(start);
    fresh->btnImportSettingsFromFileClick();
    EXPECT_EQ(fresh->resultText(), "Import settings from file \"" + file + "\" successfully.");
    EXPECT_EQ(fresh->state(), c.state);
    EXPECT_FALSE(fresh->saveEnabled()) << "an import does not enable Save";
    EXPECT_TRUE(messages_.messages().empty());
  }
  // The VD-K512 and VD-K201 files are the VD-M512II's but for the tag.
  TM512IIEepromSetForm m512ii;
  m512ii.setState(KnownState());
  Choose(path("m512ii.pes"));
  m512ii.btnExportSettingsToFileClick();
  const Bytes reference = ToBytes(ReadAll(path("m512ii.pes")));
  for (const char* name : {"K512", "K201"}) {
    const Bytes bytes = ToBytes(ReadAll(path(QString(name) + ".pes")));
    ASSERT_EQ(bytes.size(), reference.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end() - 9, reference.begin())) << name;
  }
}

// The VD-N512's margins in the file: left keyed 4A, right 4E.
TEST_F(FamilyFileTest, N512MarginsTravelUnderTheirFileKeys) {
  TN512EepromSetForm form;
  form.setState(KnownN512State());
  const QString file = path("margins.pes");
  WriteAll(file, FileOf({{0x4A, 3, 0}, {0x4E, 12, 0}}, "VD-N512ab"));
  Choose(file);
  form.btnImportSettingsFromFileClick();
  EXPECT_EQ(Child<QLineEdit>(form, "edtDefaultLeftMargin")->text(), "3");
  EXPECT_EQ(Child<QLineEdit>(form, "edtDefaultRightMargin")->text(), "12");
  const QString out = path("out.pes");
  Choose(out);
  form.btnExportSettingsToFileClick();
  const Bytes bytes = ToBytes(ReadAll(out));
  ASSERT_EQ(bytes.size(), 207u);
  // Records 6 and 7.
  EXPECT_EQ(bytes[5 * 9 + 8], 0x4A);
  EXPECT_EQ(bytes[5 * 9 + 6], 3);
  EXPECT_EQ(bytes[6 * 9 + 8], 0x4E);
  EXPECT_EQ(bytes[6 * 9 + 6], 12);
}

// One table of imports: the file, the editor, the answer to the size
// question, and what follows. Every import leaves its file closed.
TEST_F(FamilyFileTest, ImportCases) {
  const Bytes k512 = KnownStateFile("VD-K512ab");
  const Bytes k201 = KnownStateFile("VD-K201ab");
  Bytes k512Odd = k512;
  k512Odd.push_back('x');
  Bytes n512Odd = KnownN512File();
  n512Odd.push_back('x');
  struct Case {
    const char* name;
    Maker make;
    Bytes file;
    bool answer;       // to the size question
    bool asked;        // the size question comes
    const char* box;   // the error box's text, "" for none
    const char* line;  // "ok", "error" (red summary), "" (unchanged)
    std::function<void(EditorState&)> applied;  // the change from the start values
  };
  const auto nothing = [](EditorState&) {};
  const Case cases[] = {
      {"K201 file in the K512 editor", MakerOf<TK512EepromSetForm>(), k201, true, false, "not normal", "", nothing},
      {"K512 file in the K201 editor", MakerOf<TK201EepromSetForm>(), k512, true, false, "not normal", "", nothing},
      {"M512II file in the K305 editor", MakerOf<TK305EepromSetForm>(), KnownStateFile("VD-M512II"), true, false,
       "not normal", "", nothing},
      {"K305 file in the N512 editor", MakerOf<TN512EepromSetForm>(), KnownK305File(), true, false, "not normal", "",
       nothing},
      {"181 bytes, Cancel", MakerOf<TK512EepromSetForm>(), k512Odd, false, true, "", "", nothing},
      {"181 bytes, OK", MakerOf<TK512EepromSetForm>(), k512Odd, true, true, "", "ok",
       [](EditorState& s) { s = KnownState(); }},
      {"N512, 208 bytes", MakerOf<TN512EepromSetForm>(), n512Odd, true, false, "not normal", "", nothing},
      {"K305, LED mode 2", MakerOf<TK305EepromSetForm>(),
       FileOf({{0x06, 100, 0}, {0xB7, 2, 0}, {0xB8, 0x03, 0x04}}, "VD-K305ab"), true, false, "", "error",
       [](EditorState& s) {
         s.speed = "100";
         s.lightTime = "3";
         s.extinctTime = "4";
       }},
      {"K305, LED mode 0", MakerOf<TK305EepromSetForm>(), FileOf({{0xB7, 0, 0}}, "VD-K305ab"), true, false, "", "ok",
       [](EditorState& s) { s.ledMode = 0; }},
      {"K305, baud code 5", MakerOf<TK305EepromSetForm>(), FileOf({{0x16, 5, 0}, {0x17, 7, 0}}, "VD-K305ab"), true,
       false, "", "error", [](EditorState& s) { s.dataBits = 1; }},
      {"K512, baud code 7", MakerOf<TK512EepromSetForm>(), FileOf({{0x16, 7, 0}}, "VD-K512ab"), true, false, "", "ok",
       [](EditorState& s) { s.baud = -1; }},
      {"K201, baud code 7", MakerOf<TK201EepromSetForm>(), FileOf({{0x16, 7, 0}}, "VD-K201ab"), true, false, "", "ok",
       [](EditorState& s) { s.baud = 5; }},
      {"K201, LED records", MakerOf<TK201EepromSetForm>(), FileOf({{0xB7, 0, 0}, {0x12, 1, 0}}, "VD-K201ab"), true,
       false, "", "error", [](EditorState& s) { s.paperType = 1; }},
      {"N512, hidden speed and cutter", MakerOf<TN512EepromSetForm>(),
       FileOf({{0x06, 90, 0}, {0x30, 0, 0}, {0x66, 80, 0}}, "VD-N512ab"), true, false, "", "ok",
       [](EditorState& s) {
         s.speed = "90";
         s.autoCutter = 1;
       }},
      {"N512, bundler values", MakerOf<TN512EepromSetForm>(),
       FileOf({{0x3E, 1, 0}, {0x60, 4, 0}, {0x60, 1, 0}, {0xD5, 0, 0}, {0x7D, 1, 0}, {0x6D, 9, 0}, {0x6D, 10, 0},
               {0x4A, 101, 0}, {0x4E, 100, 0}},
              "VD-N512ab"),
       true, false, "", "error",
       [](EditorState& s) {
         s.paperOutMode = 2;
         s.autoPresent = 1;
         s.rxBuffer = 1;
         s.codePage = 9;
         s.rightMargin = "100";
       }},
      {"N512, its own paper-out and enable values", MakerOf<TN512EepromSetForm>(),
       FileOf({{0x3E, 0, 0}, {0x60, 2, 0}, {0xD5, 1, 0}, {0x7D, 0, 0}}, "VD-N512ab"), true, false, "", "ok",
       [](EditorState& s) {
         s.presenter = 1;
         s.paperOutMode = 1;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    messages_.clear();
    asked_.clear();
    const QString file = path("import.pes");
    WriteAll(file, c.file);
    auto form = c.make();
    EditorState want = form->state();
    c.applied(want);
    Choose(file, c.answer);
    form->btnImportSettingsFromFileClick();
    const QString notNormal = "The data format in file \"" + file + "\" is not normal!";
    ASSERT_EQ(asked_.size(), c.asked ? 1u : 0u);
    if (c.asked) {
      EXPECT_EQ(asked_[0], notNormal);
    }
    if (*c.box) {
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
      EXPECT_EQ(messages_.messages()[0].title, "Error");
      EXPECT_EQ(messages_.messages()[0].text, notNormal);
    } else {
      EXPECT_TRUE(messages_.messages().empty());
    }
    EXPECT_EQ(form->state(), want);
    const std::string line = c.line;
    if (line == "ok") {
      EXPECT_EQ(form->resultText(), "Import settings from file \"" + file + "\" successfully.");
    } else if (line == "error") {
      EXPECT_EQ(form->resultText(), "Some error appears when importing settings from file \"" + file + "\"!");
      EXPECT_TRUE(form->resultIsRed());
    } else {
      EXPECT_EQ(form->resultText(), "");
    }
    EXPECT_EQ(DescriptorsOn(file), 0) << "the file is closed";
    EXPECT_TRUE(QFile::remove(file)) << "and can be removed at once";
  }
}

// Export checks its edits in its own order, before the file is touched.
TEST_F(FamilyFileTest, RefusedExportsLeaveNoFile) {
  struct Case {
    const char* name;
    Maker make;
    void (*edit)(EditorState&);
    const char* english;
    const char* chinese;
  };
  const Case cases[] = {
      // Unlike its Save, the VD-K305's export checks the LED times last.
      {"K305 light 256, speed 200", MakerOf<TK305EepromSetForm>(),
       [](EditorState& s) {
         s.lightTime = "256";
         s.autoSpeed = "200";
       },
       "The input of auto loading speed is invalid!", "“auto loading speed”非法输入！"},
      {"K305 light 256", MakerOf<TK305EepromSetForm>(), [](EditorState& s) { s.lightTime = "256"; },
       "The input of Light Time is invalid!", "“Light Time”非法输入！"},
      {"K305 extinct text", MakerOf<TK305EepromSetForm>(), [](EditorState& s) { s.extinctTime = "1o"; },
       "The input of format is invalid!", "输入非法！"},
      {"K512 speed 151", MakerOf<TK512EepromSetForm>(), [](EditorState& s) { s.speed = "151"; },
       "The input of print speed is invalid!", "“print speed”非法输入！"},
      {"N512 wait 241 and bad margins", MakerOf<TN512EepromSetForm>(),
       [](EditorState& s) {
         s.waitTime = "241";
         s.leftMargin = "20";
       },
       "The input of Bundler wait time is invalid!", "“Bundler wait time”非法输入！"},
      {"N512 right margin 17", MakerOf<TN512EepromSetForm>(), [](EditorState& s) { s.rightMargin = "17"; },
       "The input of default right margin is invalid!", "“default right margin”非法输入！"},
      {"N512 text", MakerOf<TN512EepromSetForm>(), [](EditorState& s) { s.leftMargin = ""; },
       "The input of format is invalid!", "输入非法！"},
  };
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      messages_.clear();
      auto form = c.make();
      EditorState s = form->state();
      s.feedLine = "19";
      s.autoSpeed = "28";
      c.edit(s);
      form->setState(s);
      const QString file = path("refused.pes");
      Choose(file);
      form->btnExportSettingsToFileClick();
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Warning);
      EXPECT_EQ(messages_.messages()[0].text, Language == "English" ? c.english : c.chinese);
      EXPECT_FALSE(QFileInfo::exists(file));
    }
  }
}

// The VD-K512 with an empty baud box (a printer or file at 115200) exports
// nothing and says why in the result line.
TEST_F(FamilyFileTest, K512WithoutABaudRateExportsNothing) {
  TK512EepromSetForm form;
  EditorState s = KnownState();
  s.baud = -1;
  form.setState(s);
  const QString file = path("nobaud.pes");
  Choose(file);
  form.btnExportSettingsToFileClick();
  EXPECT_FALSE(QFileInfo::exists(file));
  EXPECT_TRUE(messages_.messages().empty());
  EXPECT_TRUE(form.resultIsRed());
  EXPECT_EQ(form.resultText(), "Some error appears when exporting settings to file \"" + file + "\": COM's baud rate!");
}

// Each editor's file dialogs: filters, extension, and whether saving over a
// file asks first.
TEST_F(FamilyFileTest, FileDialogsOfEachEditor) {
  struct Case {
    const char* name;
    Maker make;
    const char* openFilter;
    bool confirmOverwrite;
  };
  const Case cases[] = {
      {"K512", MakerOf<TK512EepromSetForm>(), "Print File(*.pes);;All File(*.*)", false},
      {"K201", MakerOf<TK201EepromSetForm>(), "Print File(*.pes);;All File(*.*)", false},
      {"K305", MakerOf<TK305EepromSetForm>(), "Print File(*.pes);;All File(*.*)", false},
      {"N512", MakerOf<TN512EepromSetForm>(), "POS Printer Eeprom Settings File(*.pes);;All File(*.*)", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    requests_.clear();
    auto form = c.make();
    Choose(QString());  // Cancel
    form->btnExportSettingsToFileClick();
    form->btnImportSettingsFromFileClick();
    ASSERT_EQ(requests_.size(), 2u);
    const auto& save = requests_[0];
    EXPECT_TRUE(save.save);
    EXPECT_EQ(save.filter, "Printer Eeprom Settings File(*.pes)");
    EXPECT_EQ(save.defaultSuffix, "pes");
    EXPECT_EQ(save.confirmOverwrite, c.confirmOverwrite);
    EXPECT_EQ(save.directory, ProgramFolder());
    const auto& open = requests_[1];
    EXPECT_FALSE(open.save);
    EXPECT_EQ(open.filter, c.openFilter);
    EXPECT_TRUE(open.mustExist);
    EXPECT_EQ(open.directory, ProgramFolder());
    EXPECT_EQ(form->resultText(), "");
    EXPECT_TRUE(messages_.messages().empty());
  }
}

// The forms as a user meets them: caption, lists, hidden controls, ranges,
// no caption cut off in either language, Esc closes.
TEST_F(FamilyFileTest, FormsOfTheFourEditors) {
  struct Case {
    const char* name;
    Maker make;
    const char* caption;
    const char* font;
    int baudItems;
  };
  const Case cases[] = {
      {"K512", MakerOf<TK512EepromSetForm>(), "EepromSet", "Tahoma", 5},
      {"K201", MakerOf<TK201EepromSetForm>(), "EepromSet", "Tahoma", 6},
      {"K305", MakerOf<TK305EepromSetForm>(), "EepromSet", "Tahoma", 6},
      {"N512", MakerOf<TN512EepromSetForm>(), "N512 EepromSet", "MS Sans Serif", 6},
  };
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      auto form = c.make();
      EXPECT_EQ(form->windowTitle(), c.caption);
      EXPECT_EQ(form->font().family(), c.font);
      auto* baud = Child<QComboBox>(*form, "cboComBaudRate");
      EXPECT_EQ(baud->count(), c.baudItems);
      EXPECT_EQ(baud->currentText(), "38400");
      EXPECT_FALSE(form->saveEnabled());
      EXPECT_THAT(torva::testing::CaptionProblems(form.get()), ::testing::IsEmpty());
      form->show();
      QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
      QApplication::sendEvent(form.get(), &esc);
      EXPECT_FALSE(form->isVisible());
      EXPECT_EQ(form->result(), QDialog::Rejected);
    }
  }
}

TEST_F(FamilyFileTest, K305LedControls) {
  TK305EepromSetForm form;
  auto* mode = Child<QGroupBox>(form, "rgLEDcontrolmode");
  EXPECT_EQ(mode->title(), "LED Control Mode");
  EXPECT_EQ(mode->toolTip(), "Specify the LED control mode.");
  const auto radios = mode->findChildren<QRadioButton*>();
  ASSERT_EQ(radios.size(), 2);
  EXPECT_EQ(radios[0]->text(), "Non-Driver Control");
  EXPECT_EQ(radios[1]->text(), "Driver Control");
  EXPECT_TRUE(radios[1]->isChecked());
  EXPECT_EQ(Child<QGroupBox>(form, "GroupBox2")->title(), "LED Glint Mode");
  struct Edit {
    const char* edit;
    const char* upDown;
    const char* hint;
  };
  for (const Edit e : {Edit{"edtLightTime", "UpDown2", "Specify the time of lighting the LED."},
                       Edit{"edtExtinctTime", "UpDown1", "Specify the time to extinguish the LED. "}}) {
    SCOPED_TRACE(e.edit);
    auto* edit = Child<QLineEdit>(form, e.edit);
    EXPECT_EQ(edit->text(), "1");
    EXPECT_EQ(edit->toolTip(), e.hint);
    auto* upDown = Child<UpDown>(form, e.upDown);
    EXPECT_EQ(upDown->minimum(), 0);
    EXPECT_EQ(upDown->maximum(), 255);
    edit->setText("255");
    upDown->stepUp();
    EXPECT_EQ(edit->text(), "255");
  }
}

TEST_F(FamilyFileTest, N512Layout) {
  TN512EepromSetForm form;
  form.show();
  for (const char* hidden : {"edtPrintSpeed", "udPrintSpeed", "lblSpeed", "rgAutoCutter"}) {
    EXPECT_FALSE(Child<QWidget>(form, hidden)->isVisible()) << hidden;
  }
  EXPECT_TRUE(Child<QWidget>(form, "edtPrintDarkness")->isVisible());
  EXPECT_EQ(Child<QGroupBox>(form, "grpPrint")->title(), "Darkness");
  EXPECT_EQ(Child<QGroupBox>(form, "PresenterEnabale")->title(), "Bundler Enable");
  EXPECT_EQ(Child<QGroupBox>(form, "PaperOutMode")->title(), "Bundler Work Mode");
  QStringList paperOut;
  for (auto* r : Child<QGroupBox>(form, "PaperOutMode")->findChildren<QRadioButton*>()) paperOut << r->text();
  EXPECT_EQ(paperOut, (QStringList{"Retraction", "Keep Paper", "Command Control"}));
  auto* codePage = Child<QComboBox>(form, "cboCodePage");
  QStringList pages;
  for (int i = 0; i < codePage->count(); ++i) pages << codePage->itemText(i);
  EXPECT_EQ(pages, (QStringList{"PC437", "Katakana", "PC850", "PC860", "PC863", "PC865", "PC852", "PC858", "PC866",
                                "PC1252"}));
  EXPECT_EQ(codePage->currentText(), "PC437");
  EXPECT_EQ(Child<QGroupBox>(form, "rgBufferSize")->title(), "Rx Buffer Size");
  auto* present = Child<QGroupBox>(form, "AutoPresentPaper");
  EXPECT_EQ(present->title(), "Atuo Presenet when Bundler full");
  const auto both = present->findChildren<QRadioButton*>();
  ASSERT_EQ(both.size(), 2);
  EXPECT_EQ(both[0]->y(), both[1]->y()) << "two columns";
  EXPECT_LT(both[0]->x(), both[1]->x());
  for (const char* name : {"edtDefaultLeftMargin", "edtDefaultRightMargin"}) {
    auto* upDown = Child<UpDown>(form, name == std::string("edtDefaultLeftMargin") ? "udDefaultLeftMargin"
                                                                                      : "udDefaultRightMargin");
    EXPECT_EQ(upDown->minimum(), 0);
    EXPECT_EQ(upDown->maximum(), 16);
  }
  EXPECT_EQ(form.state(), EditorState()) << "the start values";
  EXPECT_EQ(Child<QLabel>(form, "lblWaitTime")->text(), "Bundler Wait Time ");
}
