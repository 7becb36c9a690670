// The roads of the console's command files and of the download's file
// between the dialog and the disk: the console's Save File to every target a
// user can choose (a full disk for real, through a child process's file-size
// limit), and the console's Open File and the download's open meeting a FIFO
// renamed over the chosen file just before the open.
#include <sys/stat.h>

#include "ConsoleFixture.h"
#include "FileTargets.h"
#include "tools/FirmwareUpdate.h"

using consoletest::ConsoleTest;
using consoletest::WriteFile;
using torva::gui::FileDialogRequest;
using torva::gui::ScopedFileDialogs;
using torva::test::FifoRescue;
using torva::test::WriteEnd;
using torva::test::WriteTarget;
using torva::test::WriteToEveryTarget;

namespace {

const QByteArray kOld("1B 40 0A: a command file of 28", 28);

class FileRoads : public ConsoleTest {
 protected:
  QString Path(const char* name) const { return QString::fromStdString(dir) + "/" + name; }
  ScopedFileDialogs Choose(const QString& path) {
    return ScopedFileDialogs([path](const FileDialogRequest&) { return path; });
  }
  // Puts a FIFO over `file` just before the first open of a file to read.
  std::unique_ptr<torva::gui::ScopedBeforeFileOpen> SwapInFifoBeforeOpen(const QString& file) {
    const QString fifo = file + ".fifo";
    EXPECT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    return std::make_unique<torva::gui::ScopedBeforeFileOpen>([this, fifo, file](const QString&) {
      if (opens++ == 0) ::rename(QFile::encodeName(fifo).constData(), QFile::encodeName(file).constData());
    });
  }
  int opens = 0;
};

}  // namespace

// Save File writes the whole file, or leaves what stood at the path as it
// was and says "Fail to save file ..." in the Notice: a full disk once
// turned a command file into nothing and said nothing.
TEST_F(FileRoads, SaveFileToEveryTarget) {
  Open();
  console->setInputText("41 42 0A");
  const torva::test::WriteTargets targets(Path("targets"), kOld);
  WriteToEveryTarget(
      targets,
      [&](const WriteTarget& t) {
        const auto dialogs = Choose(t.path);
        console->SaveFileButtonClick();
        return (Notice().join("\n") + (messages.messages().empty() ? "" : " and a box")).toStdString();
      },
      [](const WriteTarget& t) {
        return t.end == WriteEnd::Written ? QString() : "Fail to save file \"" + t.path + "\"!";
      },
      "AB\n");
}

// Open File: the chosen name is a regular file until a FIFO is renamed over
// it just before the open; what was opened is refused at once.
TEST_F(FileRoads, OpenFileRefusesAFifoRenamedOverTheFile) {
  Open();
  console->setInputText("41");
  const QString file = Path("chosen.prn");
  ASSERT_TRUE(WriteFile(file, kOld));
  const auto swap = SwapInFifoBeforeOpen(file);
  FifoRescue rescue(file);
  {
    const auto dialogs = Choose(file);
    console->PrintFileButtonClick();
  }
  EXPECT_FALSE(rescue.stop()) << "Open File waited on the FIFO";
  EXPECT_EQ(opens, 1) << "Open File opened the file through the console's reader";
  EXPECT_EQ(messages.texts(), std::vector<QString>{"Fail to open file \"" + file + "\"!"});
  EXPECT_EQ(console->inputText(), "");
}

// The download's open before the transfer, in the same way: back to Browse
// with "Can't open the selected file!".
TEST_F(FileRoads, DownloadRefusesAFifoRenamedOverTheFile) {
  UseSerial();
  const QString file = Path("firmware.JK");
  ASSERT_TRUE(WriteFile(file, kOld));
  TFirmwareUpdateForm download;
  const auto dialogs = Choose(file);
  download.DownLoadButtonClick();  // Browse
  ASSERT_EQ(download.state(), TFirmwareUpdateForm::ButtonState::DownLoad);
  const auto swap = SwapInFifoBeforeOpen(file);
  FifoRescue rescue(file);
  download.DownLoadButtonClick();
  EXPECT_FALSE(rescue.stop()) << "the download waited on the FIFO";
  EXPECT_EQ(opens, 1) << "the download opened the file through the console's reader";
  EXPECT_EQ(messages.texts(), std::vector<QString>{"Can't open the selected file!"});
  EXPECT_FALSE(download.transferring());
  EXPECT_EQ(download.state(), TFirmwareUpdateForm::ButtonState::Browse);
}
