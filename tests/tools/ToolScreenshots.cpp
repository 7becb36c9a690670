// Screenshots of the download, the printer information and the bundler wait
// time for the documentation: the download waiting for a file and in the
// middle of a transfer, the information with the simulated printer's values,
// in both languages, and the wait-time dialog (English only). Taken only when
// TORVA_DOCS_SHOTS names a folder.
#include <QLabel>
#include <condition_variable>

#include "ConsoleFixture.h"
#include "link/EepromControl.h"
#include "tools/Bundlerlatencytime.h"
#include "tools/FirmwareUpdate.h"
#include "tools/Printerinformation.h"

using consoletest::Bytes;
using consoletest::ConsoleTest;
using consoletest::WaitFor;

namespace {

// Lets `gPass` writes through, then holds the next until released.
std::mutex gMu;
std::condition_variable gCv;
int gPass = 0;
bool gHeld = false;
bool gRelease = false;
int HoldingUWrite(int h, int pipe, const uint8_t* data, int length) {
  {
    std::unique_lock<std::mutex> lock(gMu);
    if (gPass > 0) {
      --gPass;
    } else {
      gHeld = true;
      gCv.notify_all();
      gCv.wait(lock, [] { return gRelease; });
    }
  }
  return RealPortLibraryCalls().uWrite(h, pipe, data, length);
}

QString Shot(const QString& folder, const char* name) {
  return folder + "/" + name + (Language == "English" ? "-en.png" : "-cn.png");
}

TEST_F(ConsoleTest, ToolScreenshots) {
  const QString folder = qEnvironmentVariable("TORVA_DOCS_SHOTS");
  if (folder.isEmpty()) GTEST_SKIP() << "set TORVA_DOCS_SHOTS to a folder to take the screenshots";
  UseUsb(PortUSB);
  sim.setRawCapture(true);
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uWrite = HoldingUWrite;
  ScopedPortLibraryCalls fakes(calls);
  const QString file = QString::fromStdString(dir) + "/MAIN.JK";
  consoletest::WriteFile(file, QByteArray(10 * 1024, 'x'));
  torva::gui::ScopedFileDialogs dialogs([&](const torva::gui::FileDialogRequest&) { return file; });

  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    {
      std::lock_guard<std::mutex> lock(gMu);
      gPass = 4;
      gHeld = false;
      gRelease = false;
    }
    TFirmwareUpdateForm d;
    d.show();
    WaitFor([] { return false; }, 50);
    ASSERT_TRUE(d.grab().save(Shot(folder, "download-browse")));
    d.DownLoadButtonClick();  // the file
    d.DownLoadButtonClick();  // the transfer
    ASSERT_TRUE(WaitFor([] {
      std::lock_guard<std::mutex> lock(gMu);
      return gHeld;
    }, 5000));
    ASSERT_TRUE(WaitFor([&] { return d.barValue() == 4 * 1024; }, 5000));
    WaitFor([] { return false; }, 50);
    ASSERT_TRUE(d.grab().save(Shot(folder, "download-downloading")));
    {
      std::lock_guard<std::mutex> lock(gMu);
      gRelease = true;
    }
    gCv.notify_all();
    ASSERT_TRUE(WaitFor([&] { return !d.transferring(); }, 10000));
  }

  sim.setRawCapture(false);
  sim.setFirmwareVersion("V2.10.4");
  sim.setSetting(0xD0, 0);
  sim.setSetting(0x06, 200);
  sim.setSetting(0x02, 110);
  sim.setSetting(0x4A, 2);
  sim.setSetting(0x3C, 3);
  PrinterName = ModelVDN512;
  for (const char* language : {"English", "Chinese"}) {
    Language = language;
    TPrinterInformationForm info;
    info.show();
    ASSERT_EQ(info.findChild<QLabel*>("PrintSpeedText")->text(), "200 mm/s");
    WaitFor([] { return false; }, 50);
    ASSERT_TRUE(info.grab().save(Shot(folder, "printer-information")));
  }

  Language = "English";
  TBundlerlatencytimeForm wait;
  wait.show();
  WaitFor([] { return false; }, 50);
  ASSERT_TRUE(wait.grab().save(folder + "/bundler-wait-time.png"));
  EXPECT_TRUE(messages.messages().size() == 2u);  // the two downloads' success boxes
}

}  // namespace
