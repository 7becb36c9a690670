// Export and import of the VD-K773 editor through its dialog, with the file
// dialogs replaced: the golden file written by hand from the record list,
// the export's checks, the import's table and its odd files.
#include <gtest/gtest.h>

#include <QFile>

#include <functional>

#include "SettingsEditorTestSupport.h"
#include "SettingsFixtures.h"
#include "FileDialogFixture.h"
#include "settings/K773EepromSet.h"
#include "sim/SimPrinter.h"

using namespace torva::settings;
using settings_test::FileOf;
using settings_test::ReadAll;
using settings_test::ToBytes;
using settings_test::WriteAll;

namespace {

// A dialog state that differs from the start values in every exported control.
EditorState KnownK773State(EditorState s) {
  s.baud = 1;  // "9600"
  s.flow = 0;  // "DTR/DSR"
  s.feedLine = "300";
  s.dataBits = 1;  // "7"
  s.stopBits = 1;  // "2"
  s.parity = 1;    // "Odd"
  s.leftMargin = "5";
  s.rightMargin = "9";
  s.speed = "300";
  s.printerMode = 1;
  s.darkness = "120";
  s.head2 = "90";
  s.paperType = 1;
  s.paperNearEnd = 1;
  s.autoCutter = 1;  // "Off"
  s.cr = 0;          // "Enable"
  s.beeperEnable = 1;
  s.codePage = 12;  // "855"
  s.intlChar = 8;   // "Japan"
  s.comDataError = 1;
  s.paperWidth = "72";
  s.rxBuffer = 1;      // "45"
  s.presenter = 1;     // "Disable"
  s.paperOutMode = 1;  // "Paper Forward"
  s.waitTime = "20";
  s.autoTime = "600";
  s.autoSpeed = "140";
  s.usbMode = 0;
  s.cutPaperMode = 1;
  s.watermarkEnable = 0;
  s.enlargeHorizontal = "2";
  s.enlargeVertical = "3";
  s.watermarkMode = 1;
  s.watermarkAlignment = 2;
  return s;
}

// Its file, record by record in the export's order, with the SwitchWord 5A 41
// of an earlier Get and the data-error bit set; without the code page's
// record when `codePage` is false.
Bytes KnownK773File(bool codePage = true) {
  std::vector<std::array<uint8_t, 3>> rows = {
      {0x16, 0x00, 0x00},  // 9600
      {0x2B, 0x2C, 0x01},  // feed line 300
      {0x41, 0x00, 0x00},  // DTR/DSR
      {0x17, 0x07, 0x00},  // 7 data bits
      {0x19, 0x02, 0x00},  // 2 stop bits
      {0x1B, 0x01, 0x00},  // odd
      {0x4E, 0x05, 0x00},  // left margin 5
      {0x4A, 0x09, 0x00},  // right margin 9
      {0x06, 0x2C, 0x01},  // speed 300
      {0xC4, 0x01, 0x00},  // printer mode 2
      {0x02, 0x78, 0x5A},  // heads 120 and 90
      {0x12, 0x01, 0x00},  // mark/label
      {0x43, 0x01, 0x00},  // stop on near end
      {0x30, 0x00, 0x00},  // cutter off
      {0x14, 0x01, 0x00},  // CR enabled
      {0x59, 0x01, 0x00},  // beeper enabled
      {0x6D, 0x24, 0x00},  // code page 855 (36)
      {0xCB, 0x08, 0x00},  // Japan
      {0x09, 0x5A, 0x43},  // SwitchWord with bit 1 of the high byte set
      {0x66, 0x48, 0x00},  // paper width 72
      {0x7D, 0x01, 0x00},  // 45-byte buffer
      {0x3E, 0x00, 0x00},  // presenter disabled
      {0x60, 0x01, 0x00},  // paper forward
      {0x3C, 0x14, 0x00},  // wait 20 s
      {0x78, 0x58, 0x02},  // auto-loading time 600
      {0x52, 0x8C, 0x00},  // auto-loading speed 140
      {0x70, 0x00, 0x00},  // USB class mode
      {0x87, 0x01, 0x00},  // half cut
      {0x89, 0x00, 0x00},  // watermark disabled
      {0x8C, 0x02, 0x03},  // enlarged 2 x 3
      {0x8A, 0x01, 0x00},  // watermark while printing
      {0x8B, 0x02, 0x00},  // right
  };
  Bytes out;
  for (const auto& r : rows) {
    if (!codePage && r[0] == 0x6D) continue;
    for (uint8_t b : {0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08}) out.push_back(b);
    out.push_back(r[1]);
    out.push_back(r[2]);
    out.push_back(r[0]);
  }
  const std::string tag = "VD-K773ab";
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

// N records 1B 73 5C 31 E7 08 lo hi address of the beeper, then the tag.
Bytes ManyRecords(int n) {
  Bytes out;
  for (int i = 0; i < n; ++i) {
    const auto c = WriteSettingCommand(0x59, static_cast<uint16_t>(i % 2));
    out.insert(out.end(), c.begin(), c.end());
  }
  const std::string tag = "VD-K773ab";
  out.insert(out.end(), tag.begin(), tag.end());
  return out;
}

class K773FileTest : public settings_test::FileDialogTest {
 protected:
  void SetUp() override {
    EditorTest::SetUp();
    SetK773SwitchWord({0x5A, 0x41});
  }
  void TearDown() override {
    SetK773SwitchWord({});
    EditorTest::TearDown();
  }
  QString Ok(const QString& file, const char* what) const {
    return QString("%1 settings %2 file \"%3\" successfully.").arg(what, what[0] == 'E' ? "to" : "from", file);
  }
};

}  // namespace

// The export of a known state is the 297-byte file written by hand from the
// record list (288 bytes with no code page); either imports back into a
// fresh dialog as that state.
TEST_F(K773FileTest, GoldenFileBothWays) {
  for (bool codePage : {true, false}) {
    SCOPED_TRACE(codePage);
    TK773Eeport form;
    EditorState known = KnownK773State(form.state());
    if (!codePage) known.codePage = -1;
    form.setState(known);
    ASSERT_EQ(form.state(), known);
    chosen_ = path("known.pes");
    form.btnExportSettingsToFileClick();
    const Bytes want = KnownK773File(codePage);
    ASSERT_EQ(want.size(), codePage ? 297u : 288u);
    EXPECT_EQ(ToBytes(ReadAll(chosen_)), want);
    EXPECT_EQ(form.resultText(), Ok(chosen_, "Export"));
    EXPECT_FALSE(form.resultIsRed());
    EXPECT_TRUE(messages_.messages().empty());

    TK773Eeport fresh;
    fresh.btnImportSettingsFromFileClick();
    EXPECT_EQ(fresh.resultText(), Ok(chosen_, "Import"));
    EXPECT_FALSE(fresh.resultIsRed());
    EXPECT_EQ(fresh.state(), known);
    EXPECT_FALSE(fresh.saveEnabled()) << "an import does not enable Save";
    // The import leaves the SwitchWord of the last Get alone.
    EXPECT_EQ(K773SwitchWord().HightByteData, 0x41);
  }
}

// The export's checks, in their order: the margins in English-only boxes,
// the rest bilingual; a refused export writes no file at all.
TEST_F(K773FileTest, ExportChecks) {
  struct Case {
    const char* name;
    void (*edit)(EditorState&);
    MessageKind kind;
    const char* english;
    const char* chinese;  // nullptr: English in both languages
  };
  const Case cases[] = {
      {"fresh dialog", [](EditorState&) {}, MessageKind::Warning, "The input of auto loading speed is invalid!",
       "“auto loading speed”非法输入！"},
      {"left margin", [](EditorState& s) { s.leftMargin = "101"; s.speed = "1"; }, MessageKind::Plain,
       "The input of default left margin is invalid!", nullptr},
      {"right margin", [](EditorState& s) { s.rightMargin = "-1"; s.speed = "1"; }, MessageKind::Plain,
       "The input of default right margin is invalid!", nullptr},
      {"speed 351", [](EditorState& s) { s.speed = "351"; s.darkness = "0"; }, MessageKind::Warning,
       "The input of print speed is invalid!", "“print speed”非法输入！"},
      {"head 1 at 49", [](EditorState& s) { s.darkness = "49"; }, MessageKind::Warning,
       "The input of print darkness1 is invalid!", "“print darkness”非法输入！"},
      // The hidden second head is not checked (it is written as read).
      {"head 2 at 30", [](EditorState& s) { s.head2 = "30"; s.waitTime = "241"; }, MessageKind::Warning,
       "The input of Presenter wait time is invalid!", "“Presenter wait time”非法输入！"},
      {"wait time 241", [](EditorState& s) { s.waitTime = "241"; }, MessageKind::Warning,
       "The input of Presenter wait time is invalid!", "“Presenter wait time”非法输入！"},
      {"auto-loading time 801", [](EditorState& s) { s.autoTime = "801"; }, MessageKind::Warning,
       "The input of auto loading time is invalid!", "“auto loading time”非法输入！"},
      {"auto-loading speed 151", [](EditorState& s) { s.autoSpeed = "151"; }, MessageKind::Warning,
       "The input of auto loading speed is invalid!", "“auto loading speed”非法输入！"},
      {"feed line FFFF", [](EditorState& s) { s.feedLine = "65535"; }, MessageKind::Warning,
       "The input of Feed Lines in mark mode is invalid!", "“Feed Lines in mark mode”非法输入！"},
      {"not a number", [](EditorState& s) { s.head2 = "x"; s.leftMargin = "999"; }, MessageKind::Warning,
       "The input of format is invalid!", "输入非法！"},
  };
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(language) + " " + c.name);
      TK773Eeport form;
      EditorState s = form.state();
      if (std::string(c.name) != "fresh dialog") s.autoSpeed = "150";
      c.edit(s);
      form.setState(s);
      messages_.clear();
      chosen_ = path("refused.pes");
      form.btnExportSettingsToFileClick();
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, c.kind);
      EXPECT_EQ(messages_.messages()[0].text, Language == "Chinese" && c.chinese ? c.chinese : c.english);
      EXPECT_FALSE(QFile::exists(chosen_));
      EXPECT_EQ(form.resultText(), "");
    }
  }
  // A second head of 0 passes and exports as the first; 150 is the export's
  // fastest auto-loading speed (Save stops at 125).
  TK773Eeport form;
  EditorState s = form.state();
  s.autoSpeed = "150";
  s.head2 = "0";
  s.codePage = 0;
  form.setState(s);
  chosen_ = path("head2.pes");
  form.btnExportSettingsToFileClick();
  const Bytes file = ToBytes(ReadAll(chosen_));
  ASSERT_EQ(file.size(), 297u);
  EXPECT_EQ(Bytes(file.begin() + 90, file.begin() + 99), (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 68, 68, 0x02}));
  // A watermark enlarged 4 times is refused by its record: no file.
  s.enlargeVertical = "4";
  form.setState(s);
  chosen_ = path("enlarged.pes");
  form.btnExportSettingsToFileClick();
  EXPECT_FALSE(QFile::exists(chosen_));
  EXPECT_EQ(form.resultText(),
            "Some error appears when exporting settings to file \"" + chosen_ + "\": Watermark Enlarge flag!");
  EXPECT_TRUE(form.resultIsRed());
}

// A record refused for a value with nothing selected (the character set of a
// printer whose set is no item of the list): the red line names the
// setting, as a refused Save does, whatever the language; no file.
TEST_F(K773FileTest, RefusedRecordIsNamed) {
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    TK773Eeport form;
    EditorState s = form.state();
    s.autoSpeed = "150";
    s.intlChar = -1;
    form.setState(s);
    chosen_ = path("nocharset.pes");
    form.btnExportSettingsToFileClick();
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_FALSE(QFile::exists(chosen_));
    EXPECT_EQ(form.resultText(),
              "Some error appears when exporting settings to file \"" + chosen_ + "\": intlChar flag!");
    EXPECT_TRUE(form.resultIsRed());
  }
}

// The import's table and its odd files, each file written by hand: what the
// dialog then shows, and the result line.
TEST_F(K773FileTest, ImportTableAndOddFiles) {
  struct Case {
    const char* name;
    Bytes file;
    bool good;                    // the result line reports success
    void (*shown)(EditorState&);  // what the import changes
  };
  const auto none = [](EditorState&) {};
  const std::string tag = "VD-K773ab";
  const Bytes bank2 = [&] {
    Bytes b = FileOf({}, tag);
    const auto c = WriteSettingCommand2(0x59, 1);
    b.insert(b.begin(), c.begin(), c.end());
    return b;
  }();
  const Bytes oddSize = [&] {
    Bytes b = FileOf({{0x59, 0x01, 0x00}}, tag);
    b.insert(b.end(), {0x01, 0x02, 0x03, 0x04});
    return b;
  }();
  const Case cases[] = {
      {"parity None", FileOf({{0x1B, 0x00, 0x00}}, tag), true, [](EditorState& s) { s.parity = 2; }},
      {"feed line 0, the rest applied", FileOf({{0x2B, 0x00, 0x00}, {0x16, 0x01, 0x00}}, tag), false,
       [](EditorState& s) { s.baud = 2; }},
      {"feed line FFFE", FileOf({{0x2B, 0xFE, 0xFF}}, tag), false, none},
      {"feed line 1", FileOf({{0x2B, 0x01, 0x00}}, tag), true, [](EditorState& s) { s.feedLine = "1"; }},
      {"enlarged 4 across, 2 down", FileOf({{0x8C, 0x04, 0x02}}, tag), false,
       [](EditorState& s) { s.enlargeVertical = "2"; }},
      {"enlarged 3 across, 4 down", FileOf({{0x8C, 0x03, 0x04}}, tag), false,
       [](EditorState& s) { s.enlargeHorizontal = "3"; }},
      {"baud code 05", FileOf({{0x16, 0x05, 0x00}}, tag), true, [](EditorState& s) { s.baud = 1; }},
      {"baud code 06", FileOf({{0x16, 0x06, 0x00}}, tag), true, [](EditorState& s) { s.baud = 0; }},
      {"baud code 08", FileOf({{0x16, 0x08, 0x00}}, tag), false, none},
      {"address 90 ignored", FileOf({{0x90, 0x01, 0x00}, {0x59, 0x01, 0x00}}, tag), true,
       [](EditorState& s) { s.beeperEnable = 1; }},
      {"the tag alone", FileOf({}, tag), true, none},
      {"the later record wins", FileOf({{0x59, 0x01, 0x00}, {0x59, 0x00, 0x00}, {0x60, 0x02, 0x00}}, tag), true,
       [](EditorState& s) { s.paperOutMode = 2; }},
      {"beeper with a high byte ignored", FileOf({{0x59, 0x01, 0x01}}, tag), true, none},
      {"beeper 2", FileOf({{0x59, 0x02, 0x00}}, tag), false, none},
      {"printer mode keyed 65", FileOf({{0x65, 0x01, 0x07}}, tag), true, [](EditorState& s) { s.printerMode = 1; }},
      {"printer mode 2 keyed 65", FileOf({{0x65, 0x02, 0x00}}, tag), false, none},
      {"printer mode 2 keyed C4", FileOf({{0xC4, 0x02, 0x00}}, tag), false, none},
      {"heads 100, second 00", FileOf({{0x02, 0x64, 0x00}}, tag), true,
       [](EditorState& s) { s.darkness = s.head2 = "100"; }},
      {"second head 49", FileOf({{0x02, 0x64, 0x31}}, tag), false, none},
      {"speed 350 and 351", FileOf({{0x06, 0x5E, 0x01}, {0x06, 0x5F, 0x01}}, tag), false,
       [](EditorState& s) { s.speed = "350"; }},
      {"code page 866, 30 kept, FF refused", FileOf({{0x6D, 0x11, 0x05}, {0x6D, 0x30, 0x00}, {0x6D, 0xFF, 0x00}}, tag),
       false, [](EditorState& s) { s.codePage = 10; }},
      {"character set 12 and FF", FileOf({{0xCB, 0x0C, 0x01}, {0xCB, 0xFF, 0x00}}, tag), false,
       [](EditorState& s) { s.intlChar = 12; }},
      {"data bits 7 whatever the high byte", FileOf({{0x17, 0x07, 0x01}, {0x19, 0x02, 0x05}}, tag), true,
       [](EditorState& s) {
         s.dataBits = 1;
         s.stopBits = 1;
       }},
      {"data error bit", FileOf({{0x09, 0x00, 0x02}}, tag), true, [](EditorState& s) { s.comDataError = 1; }},
      {"low bytes of wait time, speed and width", FileOf({{0x3C, 0x05, 0x01}, {0x52, 0x28, 0x01}, {0x66, 0x50, 0x02}}, tag),
       true,
       [](EditorState& s) {
         s.waitTime = "5";
         s.autoSpeed = "40";
         s.paperWidth = "80";
       }},
      {"cut mode 3", FileOf({{0x87, 0x03, 0x00}}, tag), false, none},
      {"a record of the second bank", bank2, false, none},
      {"49 records", ManyRecords(49), true, none},
      {"odd size taken on", oddSize, false, [](EditorState& s) { s.beeperEnable = 1; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TK773Eeport form;
    EditorState expected = form.state();
    c.shown(expected);
    chosen_ = path("import.pes");
    WriteAll(chosen_, c.file);
    asked_.clear();
    messages_.clear();
    form.btnImportSettingsFromFileClick();
    EXPECT_TRUE(messages_.messages().empty());
    EXPECT_EQ(form.state(), expected);
    if (c.good) {
      EXPECT_EQ(form.resultText(), Ok(chosen_, "Import"));
    } else {
      EXPECT_EQ(form.resultText(), "Some error appears when importing settings from file \"" + chosen_ + "\"!");
    }
    EXPECT_EQ(form.resultIsRed(), !c.good);
    EXPECT_EQ(asked_.size(), c.file.size() % 9 == 0 ? 0u : 1u);
  }
}

// Files that are refused whole: nothing is applied, and the result line of an
// earlier import is cleared, so its "successfully" never stands beside the
// refusal.
TEST_F(K773FileTest, FilesRefusedWhole) {
  const QString good = path("good.pes");
  WriteAll(good, FileOf({}, "VD-K773ab"));
  const QString file = path("refused.pes");
  const QString notNormal = "The data format in file \"" + file + "\" is not normal!";
  struct Case {
    const char* name;
    Bytes bytes;
    bool answer;
    std::vector<QString> asked;
    const char* error;  // the error box, nullptr: none
  };
  Bytes wrongTag = KnownK773File();
  std::copy_n("VD-K772ab", 9, wrongTag.end() - 9);
  Bytes oddSize = KnownK773File();
  oddSize.push_back(0);
  const Case cases[] = {
      {"empty, OK", {}, true, {"The data  in file \"" + file + "\" is empty!"}, nullptr},
      {"empty, Cancel", {}, false, {"The data  in file \"" + file + "\" is empty!"}, nullptr},
      {"another model's tag", wrongTag, true, {}, "x"},
      {"fifty records", ManyRecords(50), true, {}, "x"},
      {"odd size, Cancel", oddSize, false, {notNormal}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TK773Eeport form;
    chosen_ = good;
    form.btnImportSettingsFromFileClick();
    ASSERT_EQ(form.resultText(), Ok(good, "Import"));
    const EditorState before = form.state();
    WriteAll(file, c.bytes);
    chosen_ = file;
    ok_ = c.answer;
    asked_.clear();
    messages_.clear();
    form.btnImportSettingsFromFileClick();
    EXPECT_EQ(asked_, c.asked);
    if (c.error) {
      ASSERT_EQ(messages_.messages().size(), 1u);
      EXPECT_EQ(messages_.messages()[0].kind, MessageKind::Error);
      EXPECT_EQ(messages_.messages()[0].text, notNormal);
    } else {
      EXPECT_TRUE(messages_.messages().empty());
    }
    EXPECT_EQ(form.state(), before);
    EXPECT_EQ(form.resultText(), "");
  }
}

// The SwitchWord of one dialog's Get is what a later dialog's export writes
// back, with only the data-error bit from that dialog.
TEST_F(K773FileTest, ExportInALaterDialogKeepsTheSwitchWordOfAnEarlierGet) {
  SetK773SwitchWord({});
  torva::sim::SimPrinter printer(ModelVDK773);
  PortType = PortCOM;
  PrinterName = ModelVDK773;
  ComParameter.Name = printer.startSerial();
  ComParameter.Baudrate = 38400;
  printer.setSetting(0x09, 0xA7C3);
  {
    TK773Eeport first;
    first.btnGetSettingsFromPrinterClick();
    ASSERT_EQ(first.resultText(), "Get settings from printer successfully.");
    EXPECT_EQ(first.state().comDataError, 1);
  }
  printer.stop();
  TK773Eeport later;
  EditorState s = later.state();
  s.autoSpeed = "60";
  s.codePage = 0;
  EXPECT_EQ(s.comDataError, 0);
  later.setState(s);
  chosen_ = path("later.pes");
  later.btnExportSettingsToFileClick();
  const Bytes file = ToBytes(ReadAll(chosen_));
  ASSERT_EQ(file.size(), 297u);
  EXPECT_EQ(Bytes(file.begin() + 18 * 9, file.begin() + 19 * 9),
            (Bytes{0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0xC3, 0xA5, 0x09}));
}
