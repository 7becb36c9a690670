// The console's command files: opened into the Input and saved from the
// Input and the Receive box, in hex and in text mode, byte for byte.
#include <sys/stat.h>

#include "ConsoleFixture.h"

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
    // Switching the mode there and back keeps every byte too.
    Box("HexFormatCheckBox")->click();
    Box("HexFormatCheckBox")->click();
    EXPECT_EQ(console->inputText(), hex ? shown + " " : shown);
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
