// The console's command files: opened into the Input and saved from the
// Input and the Receive box, in hex and in text mode, byte for byte.
#include <sys/stat.h>

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextDocument>
#include <QTimer>
#include <algorithm>

#include "ConsoleFixture.h"
#include "tools/ConsoleCodec.h"
#include "tools/ConsoleCommands.h"
#include "tools/ConsoleDocument.h"

using consoletest::Bytes;
using consoletest::ConsoleTest;
using consoletest::ReadFile;
using consoletest::ToBytes;
using consoletest::WaitFor;
using consoletest::WriteFile;
using torva::gui::FileDialogRequest;
using torva::gui::ScopedFileDialogs;

namespace {

// Every byte value, with CR LF pairs and lone CR and LF around it.
Bytes GoldenBytes() {
  Bytes b{0x0D, 0x0A, 0x41, 0x0D, 0x42, 0x0A, 0x0A, 0x0D, 0x0D, 0x0A};
  for (int i = 0; i < 256; ++i) b.push_back(static_cast<uint8_t>(i));
  const Bytes tail{0x0D, 0x0A, 0x0D, 0x0D, 0x0A, 0x0A, 0x4E, 0x55, 0x4C, 0x0D};
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

// The shapes of file a technician opens, and of what a printer sends: text
// with LF line ends, text without any line break, random bytes, text with CR
// LF line ends, a run of zero bytes (each shown as "NULL") and lines of 1000
// columns. None spells "NULL" in its own letters, which text mode reads back
// as a zero byte.
struct Shape {
  const char* name;
  Bytes bytes;
};

std::vector<Shape> Shapes(size_t size) {
  std::vector<Shape> shapes;
  auto lines = [&](const char* name, size_t width, Bytes end) {
    Bytes b;
    while (b.size() < size) {
      for (size_t i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>('A' + (b.size() + i) % 26));
      b.insert(b.end(), end.begin(), end.end());
    }
    shapes.push_back({name, b});
  };
  lines("LF text", 79, {0x0A});
  shapes.push_back({"no line break", Bytes(size, 'q')});
  Bytes random(size);
  uint32_t x = 20240611;
  for (auto& b : random) b = static_cast<uint8_t>((x = x * 1664525u + 1013904223u) >> 24);
  const char kNull[] = "NULL";
  EXPECT_EQ(std::search(random.begin(), random.end(), kNull, kNull + 4), random.end());
  shapes.push_back({"random bytes", random});
  lines("CR LF text", 62, {0x0D, 0x0A});
  shapes.push_back({"zero bytes", Bytes(size / 4, 0x00)});
  lines("1000 columns", 1000, {0x0D, 0x0A});
  return shapes;
}

int LongestParagraph(const QPlainTextEdit* box) {
  int longest = 0;
  const QTextDocument* doc = box->document();
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) longest = std::max(longest, b.length());
  return longest;
}

class ConsoleFiles : public ConsoleTest {
 protected:
  QString Path(const char* name) const { return QString::fromStdString(dir) + "/" + name; }
  // The file dialogs answer `path` and remember what they were asked.
  ScopedFileDialogs Choose(const QString& path) {
    return ScopedFileDialogs([this, path](const FileDialogRequest& r) {
      asked.push_back(r);
      return path;
    });
  }
  std::vector<FileDialogRequest> asked;
};

}  // namespace

TEST_F(ConsoleFiles, GoldenFileSurvivesOpenAndSaveInBothModes) {
  Open();
  const Bytes golden = GoldenBytes();
  ASSERT_TRUE(WriteFile(Path("golden.prn"), ToBytes(golden)));
  for (bool hex : {true, false}) {
    SCOPED_TRACE(hex ? "hex" : "text");
    Box("HexFormatCheckBox")->setChecked(hex);
    {
      auto dialogs = Choose(Path("golden.prn"));
      console->PrintFileButtonClick();
    }
    const QString shown = console->inputText();
    // Switching the mode there and back keeps every byte too (hex text comes
    // back as a dump: each pair followed by a space, sixteen to a line).
    Box("HexFormatCheckBox")->click();
    Box("HexFormatCheckBox")->click();
    EXPECT_EQ(console->inputText().toStdString(),
              (hex ? QString::fromStdU16String(torva::tools::HexDump(golden)) : shown).toStdString());
    const QString out = Path(hex ? "hex.prn" : "text.prn");
    {
      auto dialogs = Choose(out);
      console->SaveFileButtonClick();
    }
    EXPECT_EQ(ReadFile(out), ToBytes(golden));
  }
  EXPECT_TRUE(Notice().isEmpty());
  EXPECT_TRUE(messages.messages().empty());
  // The dialogs: open with the three filters, save with the one, both in the
  // program's folder.
  ASSERT_EQ(asked.size(), 4u);
  EXPECT_FALSE(asked[0].save);
  EXPECT_EQ(asked[0].filter, "Print File(*.prn);;Text File(*.txt);;All File(*.*)");
  EXPECT_TRUE(asked[0].mustExist);
  EXPECT_TRUE(asked[1].save);
  EXPECT_EQ(asked[1].filter, "File(*.prn)");
  EXPECT_EQ(asked[1].defaultSuffix, "prn");
  EXPECT_TRUE(asked[1].fileName.isEmpty());
  for (const auto& r : asked) EXPECT_EQ(r.directory, QString::fromStdString(dir));
}

TEST_F(ConsoleFiles, ShortAndEmptyFilesInHexMode) {
  Open();
  ASSERT_TRUE(WriteFile(Path("three.prn"), QByteArray("\x01\x02\x03", 3)));
  ASSERT_TRUE(WriteFile(Path("empty.prn"), QByteArray()));
  ASSERT_TRUE(WriteFile(Path("zero.txt"), QByteArray("A\0B", 3)));
  {
    auto dialogs = Choose(Path("three.prn"));
    console->PrintFileButtonClick();
  }
  EXPECT_EQ(console->inputText(), "01 02 03");
  {
    auto dialogs = Choose(Path("empty.prn"));
    console->PrintFileButtonClick();
  }
  EXPECT_EQ(console->inputText(), "");
  Box("HexFormatCheckBox")->setChecked(false);
  {
    auto dialogs = Choose(Path("zero.txt"));
    console->PrintFileButtonClick();
  }
  EXPECT_EQ(console->inputText(), "ANULLB");
}

// Hex mode: sixteen pairs to a line, as the Receive box and the switch to hex
// show them (each pair followed by a space, none after the last), so a large
// file is many short lines (one endless line froze the window at 1 MiB and
// crashed the layout from 48 MiB).
TEST_F(ConsoleFiles, HexOpenShowsLinesOfSixteenPairs) {
  Open();
  Bytes forty(40);
  for (size_t i = 0; i < forty.size(); ++i) forty[i] = static_cast<uint8_t>(i);
  ASSERT_TRUE(WriteFile(Path("forty.prn"), ToBytes(forty)));
  {
    auto dialogs = Choose(Path("forty.prn"));
    console->PrintFileButtonClick();
  }
  EXPECT_EQ(console->inputText(),
            "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \n"
            "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F \n"
            "20 21 22 23 24 25 26 27");

  // What the Input shows is what Send writes and Save stores.
  {
    auto dialogs = Choose(Path("again.prn"));
    console->SaveFileButtonClick();
  }
  EXPECT_EQ(ReadFile(Path("again.prn")), ToBytes(forty));
  // Typing goes on in the new text, and Clear empties it.
  QKeyEvent key(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(Memo("CommandCombo"), &key);
  EXPECT_TRUE(console->inputText().startsWith("a00 01"));
  console->ClearButton1Click();
  EXPECT_EQ(console->inputText(), "");
  // Switching the mode there and back gives the same lines, with the space
  // after the last pair: one form for the same bytes.
  {
    auto dialogs = Choose(Path("forty.prn"));
    console->PrintFileButtonClick();
  }
  const QString opened = console->inputText();
  Box("HexFormatCheckBox")->click();
  Box("HexFormatCheckBox")->click();
  EXPECT_EQ(console->inputText(), opened + " ");
}

// The file is read and converted while the window keeps running its events
// (a timer due at once fires during the open) and drops the user's input (a
// key typed meanwhile does not reach the Input).
TEST_F(ConsoleFiles, OpenReadsWhileTheWindowPaintsAndDropsInput) {
  Open();
  Bytes data(64 * 1024);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 13);
  ASSERT_TRUE(WriteFile(Path("big.prn"), ToBytes(data)));
  for (bool hex : {true, false}) {
    SCOPED_TRACE(hex ? "hex" : "text");
    Box("HexFormatCheckBox")->setChecked(hex);
    bool ranDuringOpen = false;
    bool opening = true;
    QTimer::singleShot(0, [&] { ranDuringOpen = opening; });
    QCoreApplication::postEvent(Memo("CommandCombo"), new QKeyEvent(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b"));
    {
      auto dialogs = Choose(Path("big.prn"));
      console->PrintFileButtonClick();
    }
    opening = false;
    QCoreApplication::sendPostedEvents();  // a key still queued reaches the Input now
    EXPECT_TRUE(ranDuringOpen);
    const torva::tools::Text want = hex ? torva::tools::HexFileText(data) : torva::tools::NotationText(data);
    EXPECT_TRUE(console->inputText() == QString::fromStdU16String(want));
    // However many lines, no paragraph of the box is long in either mode:
    // its layout costs what a screenful does (one endless line froze the
    // window).
    int longest = 0;
    const QTextDocument* doc = Memo("CommandCombo")->document();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) longest = std::max(longest, b.length());
    EXPECT_LE(longest, torva::tools::kParagraphLimit);
  }
}

// Save File of a long box is read, converted and written while the window
// keeps running its events (a timer due at once fires during the save) and
// drops the user's input, in both boxes.
TEST_F(ConsoleFiles, SaveWritesWhileTheWindowPaintsAndDropsInput) {
  Open();
  Bytes data;
  for (int i = 0; i < 200000; ++i) data.push_back(i % 40 == 39 ? 0x0A : 'a' + i % 26);
  ASSERT_TRUE(WriteFile(Path("long.txt"), ToBytes(data)));
  Box("HexFormatCheckBox")->setChecked(false);
  {
    auto dialogs = Choose(Path("long.txt"));
    console->PrintFileButtonClick();
  }
  const QString shown = console->inputText();
  for (const char* box : {"Input", "Receive"}) {
    SCOPED_TRACE(box);
    const bool input = std::string(box) == "Input";
    bool ranDuringSave = false;
    bool saving = true;
    QTimer::singleShot(0, [&] { ranDuringSave = saving; });
    QCoreApplication::postEvent(Memo("CommandCombo"),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_B, Qt::NoModifier, "b"));
    {
      auto dialogs = Choose(Path("saved.prn"));
      if (input)
        console->SaveFileButtonClick();
      else
        console->SaveFileButton1Click();
    }
    saving = false;
    QCoreApplication::sendPostedEvents();  // a key still queued reaches the Input now
    EXPECT_TRUE(ranDuringSave);
    EXPECT_TRUE(console->inputText() == shown);
    EXPECT_TRUE(ReadFile(Path("saved.prn")) == (input ? ToBytes(data) : QByteArray()));
  }
}

// A file over the console's bound (16 MiB) is refused before it is read: one
// Notice line in the current language, and the Input keeps what it had.
TEST_F(ConsoleFiles, AFileOverTheBoundIsRefusedWithANoticeLine) {
  Open();
  const QString big = Path("huge.prn");
  {
    QFile f(big);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    ASSERT_TRUE(f.resize(torva::tools::kConsoleFileLimitBytes + 1));  // sparse: nothing to write
  }
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    console->setInputText("1B 40");
    {
      auto dialogs = Choose(big);
      console->PrintFileButtonClick();
    }
    EXPECT_EQ(console->inputText(), "1B 40");
    EXPECT_EQ(Notice().last(), Language == "English"
                                   ? "The file \"" + big + "\" is larger than 16 MiB: the console opens files of up to 16 MiB."
                                   : QString::fromUtf8("文件 \"") + big +
                                         QString::fromUtf8("\" 大于 16 MiB，控制台只能打开不超过 16 MiB 的文件。"));
  }
  EXPECT_EQ(Notice().size(), 2);
  EXPECT_TRUE(messages.messages().empty());
}

TEST_F(ConsoleFiles, FilesThatCannotBeOpenedOrWritten) {
  Open();
  console->setInputText("41");
  // A FIFO is not read (it would block the window); the Input is cleared
  // first, as for every chosen file.
  const QString fifo = Path("fifo.prn");
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  {
    auto dialogs = Choose(fifo);
    console->PrintFileButtonClick();
  }
  EXPECT_EQ(console->inputText(), "");
  ASSERT_EQ(messages.messages().size(), 1u);
  EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
  EXPECT_EQ(messages.messages()[0].text, "Fail to open file \"" + fifo + "\"!");
  Language = "Chinese";
  {
    auto dialogs = Choose(Path("missing.prn"));
    console->PrintFileButtonClick();
  }
  ASSERT_EQ(messages.messages().size(), 2u);
  EXPECT_EQ(messages.messages()[1].text, QString::fromUtf8("文件 “") + Path("missing.prn") + QString::fromUtf8("”打开失败！"));
  EXPECT_EQ(messages.messages()[1].title, QString::fromUtf8("错误"));

  // A file that cannot be created: a Notice line, no box.
  console->setInputText("41");
  const QString nowhere = Path("no-such-folder/out.prn");
  {
    auto dialogs = Choose(nowhere);
    console->SaveFileButtonClick();
  }
  EXPECT_EQ(Notice(), QStringList{QString::fromUtf8("文件 “") + nowhere + QString::fromUtf8("”保存失败！")});
  Language = "English";
  {
    auto dialogs = Choose(nowhere);
    console->SaveFileButtonClick();
  }
  EXPECT_EQ(Notice().last(), "Fail to save file \"" + nowhere + "\"!");
  EXPECT_EQ(messages.messages().size(), 2u);
}

// Text the mode has no byte for is refused, and the file keeps what it had.
TEST_F(ConsoleFiles, SaveRefusesTextItCannotWrite) {
  Open();
  const QString out = Path("keep.prn");
  ASSERT_TRUE(WriteFile(out, "old"));
  console->setInputText("41 4X");
  {
    auto dialogs = Choose(out);
    console->SaveFileButtonClick();
  }
  Box("HexFormatCheckBox")->setChecked(false);
  console->setInputText(QString::fromUtf8("打印"));
  {
    auto dialogs = Choose(out);
    console->SaveFileButtonClick();
  }
  EXPECT_EQ(Notice(), (QStringList{"Data format error!", "Data format error!"}));
  EXPECT_EQ(ReadFile(out), "old");
}

// The Receive box is saved by its own mode, and its save proposes the name
// saved to last.
TEST_F(ConsoleFiles, ReceiveBoxSaves) {
  UseSerial();
  Open();
  console->DisplayButtonClick();
  sim.sendUnsolicited({0x41, 0x0D, 0x0A, 0x42});
  ASSERT_TRUE(WaitFor([&] { return console->receiveText() == "41 0D 0A 42 "; }, 3000));
  {
    auto dialogs = Choose(Path("first.prn"));
    console->SaveFileButton1Click();
  }
  EXPECT_EQ(ReadFile(Path("first.prn")), QByteArray("A\r\nB"));
  Box("HexFormatCheckBox1")->click();
  EXPECT_EQ(console->receiveText(), "A\nB");
  {
    auto dialogs = Choose(Path("second.prn"));
    console->SaveFileButton1Click();
  }
  EXPECT_EQ(ReadFile(Path("second.prn")), QByteArray("A\r\nB"));
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_TRUE(asked[0].fileName.isEmpty());
  EXPECT_EQ(asked[1].fileName, "first.prn");
  // Cancel writes nothing.
  {
    auto dialogs = Choose(QString());
    console->SaveFileButton1Click();
  }
  EXPECT_TRUE(Notice().isEmpty());
}

// Whatever the file, the Input's paragraphs stay short in both modes, opened
// and switched to the other mode, and the Input shows every byte.
TEST_F(ConsoleFiles, EveryShapeOpensInShortParagraphsInBothModes) {
  Open();
  for (const Shape& shape : Shapes(512 * 1024)) {
    ASSERT_TRUE(WriteFile(Path("shape.prn"), ToBytes(shape.bytes)));
    for (bool hex : {true, false}) {
      SCOPED_TRACE(std::string(shape.name) + (hex ? ", hex" : ", text"));
      Box("HexFormatCheckBox")->setChecked(hex);
      {
        auto dialogs = Choose(Path("shape.prn"));
        console->PrintFileButtonClick();
      }
      const torva::tools::Text shown =
          hex ? torva::tools::HexFileText(shape.bytes) : torva::tools::NotationText(shape.bytes);
      EXPECT_TRUE(console->inputText() == QString::fromStdU16String(shown));
      EXPECT_LE(LongestParagraph(Memo("CommandCombo")), torva::tools::kParagraphLimit);
      Box("HexFormatCheckBox")->click();
      EXPECT_EQ(Box("HexFormatCheckBox")->isChecked(), !hex);
      EXPECT_LE(LongestParagraph(Memo("CommandCombo")), torva::tools::kParagraphLimit);
    }
  }
  EXPECT_TRUE(Notice().isEmpty());
}

// Every shape comes back byte for byte on every road of the Input: opened in
// text mode and saved, sent to the printer, and switched to hex and back.
TEST_F(ConsoleFiles, EveryShapeComesBackByteForByteFromTheInput) {
  UseSerial();
  Open();
  sim.setRawCapture(true);  // the printer takes the bytes as they come
  Box("HexFormatCheckBox")->setChecked(false);
  for (const Shape& shape : Shapes(192 * 1024)) {
    SCOPED_TRACE(shape.name);
    ASSERT_TRUE(WriteFile(Path("shape.prn"), ToBytes(shape.bytes)));
    {
      auto dialogs = Choose(Path("shape.prn"));
      console->PrintFileButtonClick();
    }
    {
      auto dialogs = Choose(Path("saved.prn"));
      console->SaveFileButtonClick();
    }
    EXPECT_TRUE(ReadFile(Path("saved.prn")) == ToBytes(shape.bytes));
    sim.clearLog();
    console->ExcuteCommandButtonClick();
    ASSERT_TRUE(sim.waitForReceived(shape.bytes.size(), 10000));
    EXPECT_TRUE(sim.receivedBytes() == shape.bytes);
    Box("HexFormatCheckBox")->click();
    Box("HexFormatCheckBox")->click();
    ASSERT_FALSE(Box("HexFormatCheckBox")->isChecked());
    {
      auto dialogs = Choose(Path("switched.prn"));
      console->SaveFileButtonClick();
    }
    EXPECT_TRUE(ReadFile(Path("switched.prn")) == ToBytes(shape.bytes));
  }
  EXPECT_EQ(Notice().count("Execute command successfully!"), 6);
}

// What the printer sends comes back byte for byte from the Receive box: shown
// in text mode as it arrives (the shapes without a zero byte, which text mode
// shows up to), or in hex and switched to text; either way in short
// paragraphs, however long the printer streams without a line break.
TEST_F(ConsoleFiles, EveryShapeComesBackByteForByteFromTheReceiveBox) {
  UseSerial();
  Open();
  console->DisplayButtonClick();
  QPlainTextEdit* box = Memo("ReceiveMemo");
  for (const Shape& shape : Shapes(128 * 1024)) {
    const bool zeros = std::find(shape.bytes.begin(), shape.bytes.end(), 0x00) != shape.bytes.end();
    for (bool hex : {true, false}) {
      if (!hex && zeros) continue;
      SCOPED_TRACE(std::string(shape.name) + (hex ? ", hex then text" : ", text"));
      console->ClearButton2Click();
      Box("HexFormatCheckBox1")->setChecked(hex);
      // Every byte is shown once the box holds as many characters as its
      // layout of them has.
      const torva::tools::Text text = torva::tools::NotationText(shape.bytes);
      const size_t shown = hex ? torva::tools::HexDump(shape.bytes).size()
                               : torva::tools::DisplayText(text, torva::tools::BoxMode::Text).size();
      sim.sendUnsolicited(shape.bytes);
      ASSERT_TRUE(WaitFor([&] { return static_cast<size_t>(box->document()->characterCount() - 1) >= shown; },
                          20000));
      EXPECT_LE(LongestParagraph(box), torva::tools::kParagraphLimit);
      if (hex) Box("HexFormatCheckBox1")->click();
      EXPECT_LE(LongestParagraph(box), torva::tools::kParagraphLimit);
      EXPECT_TRUE(console->receiveText() == QString::fromStdU16String(text));
      {
        auto dialogs = Choose(Path("received.prn"));
        console->SaveFileButton1Click();
      }
      EXPECT_TRUE(ReadFile(Path("received.prn")) == ToBytes(shape.bytes));
    }
  }
  EXPECT_TRUE(Notice().isEmpty());
}
