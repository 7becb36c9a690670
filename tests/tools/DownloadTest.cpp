// The download dialog end to end: Browse and DownLoad, the file reaching the
// printer byte for byte on every port kind (the simulated printer in raw
// capture behind the serial pseudo-terminal, the USB socket and TCP; a file
// standing for the parallel port; the spooler through a private cupsd), the
// failures of each kind, and what the user sees meanwhile.
#include <fcntl.h>
#include <linux/magic.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <climits>
#include <condition_variable>
#include <functional>
#include <random>
#include <thread>

#include "CaptionCheck.h"
#include "ConsoleFixture.h"
#include "Facilities.h"
#include "gmock/gmock.h"
#include "link/EepromControl.h"
#include "link/NetUnit.h"
#include "link/SerialIo.h"
#include "link/USBUnit.h"
#include "sim/Checksums.h"
#include "tools/FirmwareUpdate.h"

// The private cupsd of the link tests, shared rather than copied.
#include "../link/CupsTestServer.h"

using consoletest::Bytes;
using consoletest::ConsoleTest;
using consoletest::WaitFor;
using torva::gui::FileDialogRequest;

namespace {

// The CTS line as the serial seam reports it, and how often it was asked.
std::atomic<bool> gCtsOn{true};
std::atomic<int> gCtsProbes{0};
int FakeModemIoctl(int fd, unsigned long request, int* bits) {
  if (request == TIOCMGET) {
    ++gCtsProbes;
    *bits = gCtsOn ? TIOCM_CTS : 0;
    return 0;
  }
  return RealSerialCalls().modemIoctl(fd, request, bits);
}

// A pseudo-terminal has no output queue to ask: what the port wrote counts
// as queued until the simulated printer has it, as a real line's would until
// it has gone out. So the drain after every block is the drain of a line.
torva::sim::SimPrinter* gLinePrinter = nullptr;
std::atomic<uint64_t> gLineWritten{0};
ssize_t CountingWrite(int fd, const void* data, size_t n) {
  const ssize_t r = RealSerialCalls().write(fd, data, n);
  if (r > 0) gLineWritten += static_cast<uint64_t>(r);
  return r;
}
int LineOutQueue(int, int* count) {
  const uint64_t written = gLineWritten.load();
  const uint64_t arrived = gLinePrinter ? gLinePrinter->receivedCount() : written;
  *count = written > arrived ? static_cast<int>(written - arrived) : 0;
  return 0;
}

// Library calls of the USB kinds, recorded and passed on.
std::mutex gCallsMu;
std::vector<std::string> gCalls;
void Note(const std::string& s) {
  std::lock_guard<std::mutex> lock(gCallsMu);
  gCalls.push_back(s);
}
void ClearCalls() {
  std::lock_guard<std::mutex> lock(gCallsMu);
  gCalls.clear();
}
std::vector<std::string> Calls() {
  std::lock_guard<std::mutex> lock(gCallsMu);
  return gCalls;
}
std::string Join(int a, int b, int c = INT_MIN) {
  return std::to_string(a) + " " + std::to_string(b) + (c == INT_MIN ? "" : " " + std::to_string(c));
}
// Writes that fail from the n-th on (0: none fails), and the handle written to.
std::atomic<int> gFailFromWrite{0};
std::atomic<int> gWrites{0};
std::atomic<int> gWrittenHandle{-1};

// A gate that holds the USB device's writes while a test looks at the dialog.
struct Gate {
  std::mutex mu;
  std::condition_variable cv;
  bool closed = false;
  bool waiting = false;
  int pass = 0;  // writes let through before the gate holds one

  // Holds the write after the next `passing` ones.
  void close(int passing = 0) {
    std::lock_guard<std::mutex> lock(mu);
    closed = true;
    waiting = false;
    pass = passing;
  }
  // True once a write waits at the gate.
  bool waitUntilHeld() {
    return WaitFor(
        [this] {
          std::lock_guard<std::mutex> lock(mu);
          return waiting;
        },
        10000);
  }
  void open() {
    {
      std::lock_guard<std::mutex> lock(mu);
      closed = false;
    }
    cv.notify_all();
  }
} gGate;

Bytes Pattern(size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

class DownloadTest : public ConsoleTest {
 protected:
  void SetUp() override {
    ConsoleTest::SetUp();
    gCtsOn = true;
    gCtsProbes = 0;
    gFailFromWrite = 0;
    gWrites = 0;
    gWrittenHandle = -1;
    ClearCalls();
    dialogs = std::make_unique<torva::gui::ScopedFileDialogs>([this](const FileDialogRequest& r) {
      requests.push_back(r);
      return chosen;
    });
    Firmwarefile.clear();
    torva::tools::ExtendName.clear();
  }
  void TearDown() override {
    dlg.reset();
    dialogs.reset();
    line.reset();
    gLinePrinter = nullptr;
    ConsoleTest::TearDown();
  }

  // The printer on "COM1" in raw capture, with CTS and the output queue of
  // the line through the serial seam.
  void UseSerialLine() {
    UseSerial();
    sim.setRawCapture(true);
    gLinePrinter = &sim;
    gLineWritten = 0;
    SerialCalls calls = SerialTermiosCalls();
    calls.modemIoctl = FakeModemIoctl;
    calls.write = CountingWrite;
    calls.outQueue = LineOutQueue;
    line = std::make_unique<ScopedSerialCalls>(calls);
  }

  QString MakeFile(const QString& name, const Bytes& bytes) {
    const QString path = QString::fromStdString(dir) + "/" + name;
    consoletest::WriteFile(path, consoletest::ToBytes(bytes));
    return path;
  }

  TFirmwareUpdateForm& OpenDownload() {
    dlg = std::make_unique<TFirmwareUpdateForm>();
    dlg->show();
    return *dlg;
  }
  QPushButton* DownLoadButton() const { return dlg->findChild<QPushButton*>("DownLoadButton"); }
  QPushButton* ExitButton() const { return dlg->findChild<QPushButton*>("ExitButton"); }

  // Browse picks `path`.
  void Choose(const QString& path) {
    EXPECT_EQ(dlg->state(), TFirmwareUpdateForm::ButtonState::Browse) << "in DownLoad a click sends, it does not browse";
    chosen = path;
    dlg->DownLoadButtonClick();
  }
  // DownLoad (after a success, Browse for the same file first): waits for
  // the transfer's box.
  bool Send(int ms = 30000) {
    if (dlg->state() == TFirmwareUpdateForm::ButtonState::Browse) dlg->DownLoadButtonClick();
    messages.clear();
    dlg->DownLoadButtonClick();
    return WaitFor([&] { return !dlg->transferring() && !messages.messages().empty(); }, ms);
  }
  QString LastText() const { return messages.messages().empty() ? QString() : messages.messages().back().text; }

  // The printer took the whole file and nothing else.
  // A file larger than the printer keeps is checked by its count, the bytes
  // kept (its end) and, in a raw capture, the checksum of every byte.
  bool PrinterGot(const Bytes& file, int ms = 10000) {
    const bool all = sim.waitForReceived(file.size(), ms);
    const Bytes got = sim.receivedBytes();
    if (file.size() > torva::sim::SimPrinter::kReceivedKept) {
      EXPECT_EQ(sim.receivedCount(), file.size());
      const bool tail = got.size() <= file.size() && std::equal(got.begin(), got.end(), file.end() - got.size());
      EXPECT_TRUE(tail) << "the bytes kept are not the file's end";
      bool sum = true;
      if (sim.rawCapture()) {
        torva::sim::Sha256 sha;
        sha.update(file.data(), file.size());
        sum = sim.captureReport().sha256 == sha.hex();
        EXPECT_TRUE(sum) << "the capture's checksum differs from the file's";
      }
      return all && sim.receivedCount() == file.size() && tail && sum;
    }
    EXPECT_TRUE(all) << got.size() << " of " << file.size() << " bytes"
                     << (std::equal(got.begin(), got.end(), file.begin()) ? " (a prefix)" : "")
                     << (got.size() <= file.size() && std::equal(got.begin(), got.end(), file.end() - got.size()) ? " (a suffix)" : "");
    return all && got == file;
  }

  std::unique_ptr<torva::gui::ScopedFileDialogs> dialogs;
  std::vector<FileDialogRequest> requests;
  QString chosen;
  std::unique_ptr<TFirmwareUpdateForm> dlg;
  std::unique_ptr<ScopedSerialCalls> line;
};

// --- the dialog

TEST_F(DownloadTest, CaptionsFiltersAndTheTwoButtonStates) {
  UseSerial();
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    const bool english = Language == "English";
    TFirmwareUpdateForm& d = OpenDownload();
    EXPECT_EQ(torva::testing::CaptionProblems(&d).join("; ").toStdString(), "");
    EXPECT_EQ(d.windowTitle(), english ? "Download" : QString::fromUtf8("下载"));
    EXPECT_EQ(DownLoadButton()->text(), english ? "&Browse..." : QString::fromUtf8("浏览(&B)"));
    EXPECT_EQ(ExitButton()->text(), english ? "E&xit" : QString::fromUtf8("退出(&X)"));
    EXPECT_EQ(DownLoadButton()->toolTip(),
              english ? "Select a file and download it to the printer." : QString::fromUtf8("选择文件并下载到打印机。"));
    EXPECT_EQ(ExitButton()->toolTip(), english ? "Exit" : QString::fromUtf8("退出当前窗口"));
    EXPECT_EQ(d.findChild<QLabel*>("StaticText1")->text(),
              english ? "You can select files with various extensions such as *.JK, *.DAT, *.EEP, *.ZK, *.FNT, *.* ."
                      : QString::fromUtf8("您可选择多种后缀名的文件，例如*.JK，*.DAT，*.EEP，*.ZK，*.FNT，*.*。"));

    // Cancelling the file dialog changes nothing.
    requests.clear();
    Choose({});
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].directory, QString::fromStdString(dir));
    EXPECT_TRUE(requests[0].mustExist);
    EXPECT_FALSE(requests[0].save);
    EXPECT_EQ(requests[0].filter,
              english ? "Firmware files(*.JK);;Firmware files(*.DAT);;EEPROM files(*.EEP);;Font files(*.ZK);;"
                        "Font files(*.FNT);;All files(*.*)"
                      : QString::fromUtf8("监控程序文件(*.JK);;监控程序文件(*.DAT);;EEPROM文件(*.EEP);;字库文件(*.ZK);;"
                                          "字库文件(*.FNT);;所有文件(*.*)"));
    EXPECT_EQ(d.state(), TFirmwareUpdateForm::ButtonState::Browse);
    EXPECT_TRUE(Firmwarefile.empty());

    // A choice: the path, the extension, the folder for the next browse.
    QDir().mkpath(QString::fromStdString(dir) + "/fw");
    const QString path = MakeFile("fw/MAIN.JK", {1, 2, 3});
    Choose(path);
    EXPECT_EQ(d.state(), TFirmwareUpdateForm::ButtonState::DownLoad);
    EXPECT_EQ(DownLoadButton()->text(), english ? "&DownLoad" : QString::fromUtf8("下载(&D)"));
    EXPECT_EQ(QString::fromStdString(Firmwarefile), path);
    EXPECT_EQ(torva::tools::ExtendName, ".JK");
    EXPECT_EQ(d.folder(), QString::fromStdString(dir) + "/fw");
    EXPECT_EQ(torva::testing::CaptionProblems(&d).join("; ").toStdString(), "");
    Firmwarefile.clear();
  }
}

// --- serial

TEST_F(DownloadTest, SerialSendsEveryBlockAfterACtsProbe) {
  UseSerialLine();
  const Bytes file = Pattern(3 * 1024 + 5, 1);
  TFirmwareUpdateForm& d = OpenDownload();
  Choose(MakeFile("MAIN.DAT", file));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download Success!");
  EXPECT_EQ(messages.messages().back().kind, MessageKind::Information);
  EXPECT_TRUE(PrinterGot(file));
  EXPECT_EQ(gCtsProbes, 4);  // one probe a block, the remainder's too
  EXPECT_GT(ComParameter.m_hdev, 0);  // a success leaves the port open
  EXPECT_EQ(d.state(), TFirmwareUpdateForm::ButtonState::Browse);
  EXPECT_EQ(d.windowTitle(), "Download");
  EXPECT_EQ(d.barValue(), 0);
  EXPECT_TRUE(DownLoadButton()->isEnabled());
  EXPECT_TRUE(ExitButton()->isEnabled());
}

// A pseudo-terminal answers "nothing queued" for its output right after a
// write, so the drain after each block cannot wait for the far end. The
// reopen before the next block must not throw away what the far end has
// not read yet: a plain sink reading the pty's other end, a little at a
// time, gets every byte of a 1 MiB download (CTS through the seam; the
// output queue asked for real).
TEST_F(DownloadTest, SerialDownloadToAPtySinkLosesNoByte) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  ASSERT_GE(master, 0);
  ASSERT_EQ(grantpt(master), 0);
  ASSERT_EQ(unlockpt(master), 0);
  const std::string slave = ptsname(master);
  // The sink holds its own end open, as a device's driver would.
  const int held = open(slave.c_str(), O_RDWR | O_NOCTTY);
  ASSERT_GT(held, 0);
  termios raw{};
  ASSERT_EQ(tcgetattr(held, &raw), 0);
  cfmakeraw(&raw);
  ASSERT_EQ(tcsetattr(held, TCSANOW, &raw), 0);
  ComParameter.Name = slave;
  PortType = PortCOM;
  SerialCalls calls = SerialTermiosCalls();
  calls.modemIoctl = FakeModemIoctl;
  line = std::make_unique<ScopedSerialCalls>(calls);

  const Bytes file = Pattern(1 << 20, 5);
  // The sink reads until it has the whole file, or, once the download has
  // ended, until its end has been quiet for a second (nothing more comes).
  std::atomic<bool> ended{false};
  Bytes got;
  std::thread sink([&] {
    uint8_t buf[4096];
    int quietMs = 0;
    while (got.size() < file.size() && !(ended && quietMs >= 1000)) {
      pollfd p{master, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) {
        quietMs += 100;
        continue;
      }
      quietMs = 0;
      const ssize_t n = read(master, buf, sizeof buf);
      if (n > 0) got.insert(got.end(), buf, buf + n);
      usleep(200);  // a slow reader: the previous block is often still there at the reopen
    }
  });
  OpenDownload();
  Choose(MakeFile("BIG.DAT", file));
  const bool done = Send(120000);
  ended = true;
  sink.join();
  EXPECT_EQ(LastText(), "Download Success!");
  ASSERT_TRUE(done);
  EXPECT_EQ(got.size(), file.size());
  EXPECT_TRUE(got == file);
  torva::link::CloseEveryOpenPort();
  close(held);
  close(master);
}

TEST_F(DownloadTest, SerialWithCtsOffFailsBeforeTheFirstBlockThenASecondClickResends) {
  UseSerialLine();
  gCtsOn = false;
  Language = "Chinese";
  const Bytes file = Pattern(2000, 2);
  TFirmwareUpdateForm& d = OpenDownload();
  Choose(MakeFile("font.zk", file));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), QString::fromUtf8("下载失败！"));
  EXPECT_EQ(messages.messages().back().kind, MessageKind::Error);
  EXPECT_EQ(messages.messages().back().title, QString::fromUtf8("错误"));
  EXPECT_EQ(gCtsProbes, 1);
  EXPECT_EQ(ComParameter.m_hdev, -1);
  EXPECT_EQ(sim.receivedCount(), 0u);
  // The button still sends the same file.
  EXPECT_EQ(d.state(), TFirmwareUpdateForm::ButtonState::DownLoad);
  EXPECT_EQ(DownLoadButton()->text(), QString::fromUtf8("下载(&D)"));
  EXPECT_EQ(d.windowTitle(), QString::fromUtf8("下载"));
  gCtsOn = true;
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), QString::fromUtf8("下载成功！"));
  EXPECT_EQ(messages.messages().back().title, QString::fromUtf8("提示"));
  EXPECT_TRUE(PrinterGot(file));
}

TEST_F(DownloadTest, EmptyFileSendsNothingAndSucceeds) {
  UseSerialLine();
  OpenDownload();
  Choose(MakeFile("empty.eep", {}));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download Success!Please Repower the printer!");
  EXPECT_EQ(gCtsProbes, 0);
  EXPECT_EQ(sim.receivedCount(), 0u);
}

TEST_F(DownloadTest, AFileThatCannotBeReadGoesBackToBrowse) {
  UseSerial();
  TFirmwareUpdateForm& d = OpenDownload();
  const QString path = MakeFile("gone.JK", {1, 2, 3});
  const QString fifo = QString::fromStdString(dir) + "/fifo.JK";
  ASSERT_EQ(mkfifo(fifo.toLocal8Bit().constData(), 0600), 0);
  for (const QString& chosenPath : {path, fifo}) {
    SCOPED_TRACE(chosenPath.toStdString());
    Choose(chosenPath);
    if (chosenPath == path) QFile::remove(path);  // gone before DownLoad
    messages.clear();
    d.DownLoadButtonClick();
    ASSERT_EQ(messages.texts(), std::vector<QString>{"Can't open the selected file!"});
    EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
    EXPECT_FALSE(d.transferring());
    EXPECT_EQ(d.state(), TFirmwareUpdateForm::ButtonState::Browse);
    EXPECT_EQ(DownLoadButton()->text(), "&Browse...");
    EXPECT_TRUE(DownLoadButton()->isEnabled());
    EXPECT_TRUE(ExitButton()->isEnabled());
  }
  Language = "Chinese";
  Choose(fifo);
  messages.clear();
  d.DownLoadButtonClick();
  EXPECT_EQ(messages.texts(), std::vector<QString>{QString::fromUtf8("打开文件失败！")});
  EXPECT_EQ(DownLoadButton()->text(), QString::fromUtf8("浏览(&B)"));
}

// --- USB device

int RecordingSetUsbTimeouts(int h, int a, int b) {
  Note("SetUSBTimeouts " + Join(h, a, b));
  return RealPortLibraryCalls().SetUSBTimeouts(h, a, b);
}
int FailingUWrite(int h, int pipe, const uint8_t* data, int length) {
  gWrittenHandle = h;
  const int n = ++gWrites;
  if (gFailFromWrite > 0 && n >= gFailFromWrite) return -1;
  return RealPortLibraryCalls().uWrite(h, pipe, data, length);
}

TEST_F(DownloadTest, UsbDeviceSetsItsTimeOutsAndPausesAfterTheLastBlock) {
  UseUsb(PortUSB);
  sim.setRawCapture(true);
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.SetUSBTimeouts = RecordingSetUsbTimeouts;
  calls.uWrite = FailingUWrite;
  ScopedPortLibraryCalls fakes(calls);
  torva::ScopedPrinterDelayRecorder delays;
  const Bytes file = Pattern(2 * 1024 + 3, 3);
  OpenDownload();
  Choose(MakeFile("main.jk", file));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download Success!Please reopen the port!");
  EXPECT_TRUE(PrinterGot(file));
  const int h = USBParameter.m_hdev;
  EXPECT_GT(h, 0);  // left open
  EXPECT_EQ(gWrites, 3);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"SetUSBTimeouts " + Join(h, 20, 90),
                                               "SetUSBTimeouts " + Join(h, 20, 30)}));
  const std::vector<int> waits = delays.waits();
  EXPECT_NE(std::find(waits.begin(), waits.end(), 1000), waits.end());

  // A write that fails: the time-outs go back and the device is closed.
  gFailFromWrite = gWrites + 2;
  ClearCalls();
  delays.clear();
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download failure!");
  const int h2 = gWrittenHandle;
  EXPECT_EQ(Calls(), (std::vector<std::string>{"SetUSBTimeouts " + Join(h2, 20, 90),
                                               "SetUSBTimeouts " + Join(h2, 20, 30)}));
  EXPECT_EQ(USBParameter.m_hdev, -1);
  EXPECT_EQ(UsbDevice::CloseDevice(h2), 0);  // already closed
  for (int w : delays.waits()) EXPECT_NE(w, 1000);
}

// Esc and the close box do nothing while the blocks go; the buttons are
// disabled and the caption says so. Afterwards Esc closes as usual.
int GatedUWrite(int h, int pipe, const uint8_t* data, int length) {
  {
    std::unique_lock<std::mutex> lock(gGate.mu);
    if (gGate.pass > 0) {
      --gGate.pass;
    } else {
      gGate.waiting = true;
      gGate.cv.notify_all();
      gGate.cv.wait(lock, [] { return !gGate.closed; });
    }
  }
  return RealPortLibraryCalls().uWrite(h, pipe, data, length);
}

TEST_F(DownloadTest, EscAndCloseDoNothingMidTransfer) {
  UseUsb(PortUSB);
  sim.setRawCapture(true);
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uWrite = GatedUWrite;
  ScopedPortLibraryCalls fakes(calls);
  gGate.close();
  const Bytes file = Pattern(5000, 4);
  TFirmwareUpdateForm& d = OpenDownload();
  Choose(MakeFile("A.FNT", file));
  messages.clear();
  d.DownLoadButtonClick();
  ASSERT_TRUE(gGate.waitUntilHeld());
  EXPECT_TRUE(d.transferring());
  EXPECT_EQ(d.windowTitle(), "Downloading......");
  EXPECT_FALSE(DownLoadButton()->isEnabled());
  EXPECT_FALSE(ExitButton()->isEnabled());
  QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&d, &esc);
  d.close();
  d.DownLoadButtonClick();  // a click that reached it anyway
  QApplication::processEvents();
  EXPECT_TRUE(d.isVisible());
  EXPECT_TRUE(d.transferring());
  gGate.open();
  ASSERT_TRUE(WaitFor([&] { return !d.transferring() && !messages.messages().empty(); }, 20000));
  EXPECT_EQ(messages.texts(), std::vector<QString>{"Download Success!"});
  EXPECT_TRUE(PrinterGot(file));
  QKeyEvent again(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
  QApplication::sendEvent(&d, &again);
  EXPECT_FALSE(d.isVisible());
  EXPECT_EQ(d.result(), QDialog::Rejected);
}

// --- the file while it is sent

// A file in `folder` that a test process holds mapped shared and writable,
// with every page already written (dirty): a write through the mapping then
// changes the file's bytes without changing any of its times.
class DirtyMapping {
 public:
  DirtyMapping(const std::string& path, const Bytes& content) {
    fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    EXPECT_GE(fd_, 0);
    size_ = content.size();
    EXPECT_EQ(::ftruncate(fd_, static_cast<off_t>(size_)), 0);
    void* m = ::mmap(nullptr, size_, PROT_READ | PROT_WRITE, MAP_SHARED, fd_, 0);
    EXPECT_NE(m, MAP_FAILED);
    map_ = static_cast<uint8_t*>(m);
    std::memcpy(map_, content.data(), size_);
  }
  ~DirtyMapping() {
    if (map_) ::munmap(map_, size_);
    if (fd_ >= 0) ::close(fd_);
  }
  // Writes `content` over the file through the mapping; true when the file's
  // modification and change time stayed as they were.
  bool rewrite(const Bytes& content) {
    struct stat before {};
    struct stat after {};
    ::fstat(fd_, &before);
    std::memcpy(map_, content.data(), std::min(size_, content.size()));
    ::fstat(fd_, &after);
    return before.st_mtim.tv_sec == after.st_mtim.tv_sec && before.st_mtim.tv_nsec == after.st_mtim.tv_nsec &&
           before.st_ctim.tv_sec == after.st_ctim.tv_sec && before.st_ctim.tv_nsec == after.st_ctim.tv_nsec;
  }

 private:
  int fd_ = -1;
  size_t size_ = 0;
  uint8_t* map_ = nullptr;
};

// Where a mapped file's dirty pages are never written back (tmpfs): there a
// write through the mapping changes no time stamp, however long the test
// takes and whatever else the machine writes. The test's own folder
// otherwise.
std::string MappedFileFolder(const std::string& fallback) {
  struct statfs fs {};
  if (::statfs("/dev/shm", &fs) == 0 && fs.f_type == TMPFS_MAGIC && ::access("/dev/shm", W_OK) == 0)
    return "/dev/shm";
  return fallback;
}

// Dates the file a second back, as a file chosen for a download is: a
// rewrite's new modification time then always differs.
void DateBack(const std::string& path) {
  timespec times[2];
  clock_gettime(CLOCK_REALTIME, &times[0]);
  times[0].tv_sec -= 1;
  times[1] = times[0];
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// A case's file at `path`, dated back: held through a dirty mapping (which
// is returned) when `mapped`, else written plainly.
std::unique_ptr<DirtyMapping> PutFile(const std::string& path, const Bytes& content, bool mapped) {
  std::unique_ptr<DirtyMapping> mapping;
  if (mapped) {
    mapping = std::make_unique<DirtyMapping>(path, content);
  } else {
    EXPECT_TRUE(consoletest::WriteFile(QString::fromStdString(path), consoletest::ToBytes(content)));
  }
  DateBack(path);
  return mapping;
}

void RewriteInPlace(const std::string& path, const Bytes& content) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
  ::close(fd);
}

// The first block's write changes the file as the case says, on the
// transfer's own thread.
std::function<void()> gOnFirstWrite;
std::atomic<size_t> gWrittenBytes{0};  // what the device took, all told
int ChangingUWrite(int h, int pipe, const uint8_t* data, int length) {
  if (++gWrites == 1 && gOnFirstWrite) gOnFirstWrite();
  const int r = RealPortLibraryCalls().uWrite(h, pipe, data, length);
  if (r > 0) gWrittenBytes += static_cast<size_t>(r);
  return r;
}

// The file is read whole before the port is opened, twice, and the two reads
// must agree. A change that lands between the open's look at the file and a
// read, between two pieces of a read, or between the two reads fails the
// download before the printer gets a byte. A rewrite changes the file's
// times; a write through a shared mapping whose pages are already dirty
// changes none, and only the second read's comparison sees it. (Each change
// is made from the seam before the read it names, on the transfer's thread.)
TEST_F(DownloadTest, AFileChangedWhileItIsReadFailsBeforeAnyByteIsSent) {
  UseUsb(PortUSB);
  sim.setRawCapture(true);
  const Bytes file = Pattern(200 * 1024, 7);
  const Bytes other = Pattern(200 * 1024, 8);
  enum class Change { Rewrite, Shrink, Mapped };
  struct Case {
    const char* what;
    Change change;
    uint64_t offset;  // of the read the change comes before
    bool comparing;   // in the second read
  } cases[] = {
      {"rewritten between the open and the first read", Change::Rewrite, 0, false},
      {"rewritten between two pieces of the first read", Change::Rewrite, 64 * 1024, false},
      {"shrunk between two pieces of the first read", Change::Shrink, 128 * 1024, false},
      {"rewritten between the two reads", Change::Rewrite, 0, true},
      {"written through a mapping between two pieces of the first read", Change::Mapped, 64 * 1024, false},
      {"written through a mapping between the two reads", Change::Mapped, 0, true},
      {"written through a mapping between two pieces of the second read", Change::Mapped, 128 * 1024, true},
  };
  const std::string folder = MappedFileFolder(dir);
  OpenDownload();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = folder + "/torva-download-" + std::to_string(getpid()) + ".DAT";
    std::unique_ptr<DirtyMapping> mapping = PutFile(path, file, c.change == Change::Mapped);
    std::atomic<bool> changed{false};
    bool timesKept = false;
    torva::tools::ScopedBeforeDownloadRead seam([&](const torva::tools::DownloadRead& read) {
      if (read.offset != c.offset || read.comparing != c.comparing || changed.exchange(true)) return;
      switch (c.change) {
        case Change::Rewrite:
          RewriteInPlace(path, other);
          break;
        case Change::Shrink:
          ASSERT_EQ(::truncate(path.c_str(), 100 * 1024), 0);
          break;
        case Change::Mapped:
          timesKept = mapping->rewrite(other);
          break;
      }
    });
    if (dlg->state() == TFirmwareUpdateForm::ButtonState::Browse) Choose(QString::fromStdString(path));
    sim.clearLog();
    ASSERT_TRUE(Send());
    EXPECT_TRUE(changed);
    if (c.change == Change::Mapped) {
      EXPECT_TRUE(timesKept) << "the mapping's write changed the file's times";
    }
    EXPECT_EQ(LastText(), "Download failure!");
    EXPECT_EQ(sim.receivedCount(), 0u);
    EXPECT_EQ(USBParameter.m_hdev, -1);  // never opened
    mapping.reset();
    ::unlink(path.c_str());
  }
}

// Once the file has been read, nothing done to it reaches the printer: it
// gets the version read at the start, whole, never half of one version and
// half of another. A file rewritten, grown or shrunk meanwhile no longer
// holds what the printer got, and the download fails; renaming and deleting
// leave its bytes alone but change its change time, which fails the download
// unless it falls in the same clock tick as the file's last change. A write
// through a shared mapping whose pages are already dirty changes no time
// stamp: the printer has the version read at the start, and that is a
// success.
TEST_F(DownloadTest, AFileChangedDuringTheTransferReachesThePrinterAsItWasRead) {
  UseUsb(PortUSB);
  sim.setRawCapture(true);
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uWrite = ChangingUWrite;
  ScopedPortLibraryCalls fakes(calls);
  const Bytes file = Pattern(200 * 1024, 7);
  const Bytes other = Pattern(200 * 1024, 8);
  enum Outcome { Succeeds, Fails, Either };
  struct Case {
    const char* what;
    std::function<void(const std::string& path, DirtyMapping* mapping)> change;
    Outcome outcome;
    bool mapped = false;
  } cases[] = {
      {"untouched", [](const std::string&, DirtyMapping*) {}, Succeeds},
      {"rewritten in place", [&](const std::string& path, DirtyMapping*) { RewriteInPlace(path, other); },
       Fails},
      {"appended to",
       [](const std::string& path, DirtyMapping*) {
         const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
         ASSERT_GE(fd, 0);
         ASSERT_EQ(::write(fd, "x", 1), 1);
         ::close(fd);
       },
       Fails},
      {"shrunk", [](const std::string& path, DirtyMapping*) { ASSERT_EQ(::truncate(path.c_str(), 1000), 0); },
       Fails},
      {"renamed",
       [](const std::string& path, DirtyMapping*) {
         ASSERT_EQ(::rename(path.c_str(), (path + ".old").c_str()), 0);
       },
       Either},
      {"deleted", [](const std::string& path, DirtyMapping*) { ASSERT_EQ(::unlink(path.c_str()), 0); },
       Either},
      {"written through a mapping",
       [&](const std::string&, DirtyMapping* mapping) { EXPECT_TRUE(mapping->rewrite(other)); }, Succeeds,
       true},
  };
  const std::string folder = MappedFileFolder(dir);
  OpenDownload();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = folder + "/torva-download-" + std::to_string(getpid()) + ".DAT";
    std::unique_ptr<DirtyMapping> mapping = PutFile(path, file, c.mapped);
    gWrites = 0;
    gWrittenBytes = 0;
    gOnFirstWrite = [&c, path, m = mapping.get()] { c.change(path, m); };
    if (dlg->state() == TFirmwareUpdateForm::ButtonState::Browse) Choose(QString::fromStdString(path));
    sim.clearLog();
    ASSERT_TRUE(Send());
    gOnFirstWrite = nullptr;
    // Everything the device took has reached the printer (none of it is
    // left to land in the next case's log).
    ASSERT_TRUE(sim.waitForReceived(gWrittenBytes.load(), 10000));
    EXPECT_TRUE(PrinterGot(file));
    if (c.outcome != Either) {
      EXPECT_EQ(LastText(), c.outcome == Succeeds ? "Download Success!" : "Download failure!");
    }
    mapping.reset();
    ::unlink(path.c_str());
    ::unlink((path + ".old").c_str());
  }
  gOnFirstWrite = nullptr;
}

// A file larger than the download takes is refused at the click, before the
// port is opened, with a box saying why; the dialog goes back to Browse. A
// file of exactly the largest size is taken: its transfer starts (its first
// write fails here, so that it ends at once). The file is sparse.
TEST_F(DownloadTest, AFileLargerThanTheDownloadTakesIsRefused) {
  UseUsb(PortUSB);
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uWrite = FailingUWrite;
  ScopedPortLibraryCalls fakes(calls);
  gFailFromWrite = 1;
  TFirmwareUpdateForm& d = OpenDownload();
  const std::string big = dir + "/BIG.FNT";
  ::close(::open(big.c_str(), O_CREAT | O_WRONLY, 0600));
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(torva::tools::kDownloadMaxBytes + 1)), 0);
  for (const char* language : {"English", "Chinese"}) {
    SCOPED_TRACE(language);
    Language = language;
    d.SetCaptions();
    Choose(QString::fromStdString(big));
    messages.clear();
    d.DownLoadButtonClick();
    ASSERT_EQ(messages.messages().size(), 1u);
    EXPECT_EQ(messages.messages()[0].kind, MessageKind::Error);
    EXPECT_EQ(messages.messages()[0].text,
              Language == "English" ? "The selected file is larger than 64 MiB and can't be downloaded!"
                                    : QString::fromUtf8("所选文件大于 64 MiB，无法下载！"));
    EXPECT_FALSE(d.transferring());
    EXPECT_EQ(d.state(), TFirmwareUpdateForm::ButtonState::Browse);
    EXPECT_TRUE(DownLoadButton()->isEnabled());
    EXPECT_TRUE(ExitButton()->isEnabled());
  }
  EXPECT_EQ(gWrites, 0);
  EXPECT_EQ(USBParameter.m_hdev, -1);
  Language = "English";
  d.SetCaptions();
  ASSERT_EQ(::truncate(big.c_str(), static_cast<off_t>(torva::tools::kDownloadMaxBytes)), 0);
  Choose(QString::fromStdString(big));
  ASSERT_TRUE(Send(60000));
  EXPECT_EQ(messages.texts(), std::vector<QString>{"Download failure!"});
  EXPECT_EQ(gWrites, 1);
}

// The bar hears of the transfer at most every 50 ms, and only when the
// percentage it shows changes: a fast download does not wake the window for
// each of its blocks.
TEST_F(DownloadTest, ProgressReachesTheBarAtMostEvery50Ms) {
  UseUsb(PortUSB);
  sim.setRawCapture(true);
  const Bytes file = Pattern(8 << 20, 9);
  TFirmwareUpdateForm& d = OpenDownload();
  Choose(MakeFile("BIG.FNT", file));
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(Send(120000));
  const qint64 ms = t.elapsed();
  EXPECT_EQ(LastText(), "Download Success!");
  EXPECT_TRUE(PrinterGot(file, 30000));
  EXPECT_GE(d.progressUpdates(), 1);
  EXPECT_LE(d.progressUpdates(), 101);  // one a percent at most
  EXPECT_LE(d.progressUpdates(), ms / 50 + 2) << ms << " ms";
}

// A transfer that stalls (the printer takes no more bytes for a while) shows
// on the bar what has gone so far: the bar looks at the position every 50
// ms, not only when a later block goes. (Before, four quick blocks and a
// stall left the bar at 0 for as long as the stall lasted.)
TEST_F(DownloadTest, TheBarShowsWhatHasGoneWhileTheTransferStalls) {
  UseUsb(PortUSB);
  sim.setRawCapture(true);
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.uWrite = GatedUWrite;
  ScopedPortLibraryCalls fakes(calls);
  gGate.close(4);
  const Bytes file = Pattern(10 * 1024, 12);
  TFirmwareUpdateForm& d = OpenDownload();
  Choose(MakeFile("STALL.DAT", file));
  messages.clear();
  d.DownLoadButtonClick();
  ASSERT_TRUE(gGate.waitUntilHeld());  // the fifth block
  EXPECT_TRUE(WaitFor([&] { return d.barValue() == 4 * 1024; }, 5000)) << d.barValue();
  EXPECT_TRUE(d.transferring());
  gGate.open();
  ASSERT_TRUE(WaitFor([&] { return !d.transferring() && !messages.messages().empty(); }, 20000));
  EXPECT_EQ(LastText(), "Download Success!");
  EXPECT_TRUE(PrinterGot(file));
}

// --- USB printer

int RecordingSetTimeout(int a, int b) {
  Note("SetTimeout " + Join(a, b));
  return RealPortLibraryCalls().SetTimeout(a, b);
}
int RecordingSetPortTimeout(int a, int b) {
  Note("SetPortTimeout " + Join(a, b));
  return RealPortLibraryCalls().SetPortTimeout(a, b);
}
int FailingWriteUsbPrinter(int h, const uint8_t* data, int length, int* written) {
  gWrittenHandle = h;
  const int n = ++gWrites;
  if (gFailFromWrite > 0 && n >= gFailFromWrite) {
    *written = 0;
    return 0;
  }
  return RealPortLibraryCalls().WriteUSBPrinter(h, data, length, written);
}

TEST_F(DownloadTest, UsbPrinterPlainAndTheCustomModesFailure) {
  UseUsb(PortUSBPrinter);
  sim.setRawCapture(true);
  PortLibraryCalls calls = RealPortLibraryCalls();
  calls.SetTimeout = RecordingSetTimeout;
  calls.SetPortTimeout = RecordingSetPortTimeout;
  calls.WriteUSBPrinter = FailingWriteUsbPrinter;
  ScopedPortLibraryCalls fakes(calls);
  const Bytes file = Pattern(4096, 5);
  OpenDownload();
  Choose(MakeFile("IMAGE.DAT", file));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download Success!");
  EXPECT_TRUE(PrinterGot(file));
  EXPECT_GT(USBPrinterParameter.m_hdev, 0);
  EXPECT_EQ(Calls(), (std::vector<std::string>{"SetTimeout 9000 2000", "SetTimeout 3000 2000"}));

  // The VD-K773 in its custom mode: opened by name all the same, and a
  // failure closes that handle with the printer-class call.
  sim.setModel(ModelVDK773);
  sim.setK773Custom(true, 1, 2);
  PrinterName = ModelVDK773;
  is773Costom = 1;
  iUSBClassMode = 1;
  iStatusBytes = 2;
  USBPrinterParameter.Name = sim.printerName();
  ClearCalls();
  gFailFromWrite = gWrites + 2;
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download failure!");
  EXPECT_EQ(Calls(), (std::vector<std::string>{"SetTimeout 9000 2000", "SetTimeout 3000 2000"}));
  EXPECT_EQ(USBPrinterParameter.m_hdev, -1);
  EXPECT_EQ(UsbPrinter::CloseUSBPrinter(gWrittenHandle), 0);  // closed already
  EXPECT_EQ(UsbPrinter::CloseQfUSBPrinter(), 0);              // never opened
}

// --- Ethernet, parallel, nibble, spooler

TEST_F(DownloadTest, EthernetUsesTheOpenConnectionAndFailsAtOnceWithoutOne) {
  const int tcp = sim.startTcp(0);
  ASSERT_GT(tcp, 0);
  sim.setRawCapture(true);
  setenv("TORVA_NET_PORT", std::to_string(tcp).c_str(), 1);
  PNET.IPAddress = "127.0.0.1";
  PNET.connecttime = 3;
  PNET.writetime = 5;
  PNET.readtime = 1;
  ASSERT_TRUE(OpenNetPort());
  PortType = PortNet;
  const int connection = PNET.handle;
  const Bytes file = Pattern(3000, 6);
  OpenDownload();
  Choose(MakeFile("net.bin", file));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download Success!");
  EXPECT_TRUE(PrinterGot(file));
  EXPECT_EQ(PNET.handle, connection);  // left to Close Port
  CloseNetPort();
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download failure!");
  EXPECT_EQ(sim.receivedCount(), file.size());
  unsetenv("TORVA_NET_PORT");
}

TEST_F(DownloadTest, ParallelPortIntoAFile) {
  const std::string port = dir + "/lpt1";
  ::close(::open(port.c_str(), O_CREAT | O_WRONLY, 0600));
  setenv("TORVA_LPT1", port.c_str(), 1);
  PortType = PortLPT;
  const Bytes file = Pattern(1024 * 5, 7);
  OpenDownload();
  Choose(MakeFile("lpt.DAT", file));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download Success!");
  EXPECT_GT(LPTParameter.m_hdev, 0);
  EXPECT_EQ(consoletest::ReadFile(QString::fromStdString(port)), consoletest::ToBytes(file));
  // No device: the open fails.
  setenv("TORVA_LPT1", (dir + "/none").c_str(), 1);
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download failure!");
  EXPECT_EQ(LPTParameter.m_hdev, -1);
  unsetenv("TORVA_LPT1");
}

// A parallel printer that stops taking bytes part-way (the FIFO's reader
// stops after 64 KiB): the download fails about 4 s after the last byte was
// taken, with "Download failure!", and the dialog can be used again; before,
// one 1024-byte block could hold it for 34 minutes with Exit disabled.
TEST_F(DownloadTest, AParallelPrinterThatStallsPartWayFailsWithinSeconds) {
  const std::string fifo = dir + "/lpt1";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  setenv("TORVA_LPT1", fifo.c_str(), 1);
  PortType = PortLPT;
  const Bytes file = Pattern(1 << 20, 11);
  // The printer takes the first 64 KiB, then nothing more.
  std::atomic<size_t> taken{0};
  std::thread printer([&] {
    uint8_t buf[4096];
    while (taken < 64 * 1024) {
      pollfd p{reader, POLLIN, 0};
      if (poll(&p, 1, 5000) <= 0) break;
      const ssize_t n = ::read(reader, buf, std::min(sizeof buf, 64 * 1024 - taken.load()));
      if (n > 0) taken += static_cast<size_t>(n);
    }
  });
  TFirmwareUpdateForm& d = OpenDownload();
  Choose(MakeFile("STALL.DAT", file));
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(Send(20000));
  const qint64 ms = t.elapsed();
  printer.join();
  EXPECT_EQ(LastText(), "Download failure!");
  EXPECT_GE(ms, 3900);
  EXPECT_LT(ms, 10000);
  EXPECT_EQ(LPTParameter.m_hdev, -1);
  EXPECT_TRUE(DownLoadButton()->isEnabled());
  EXPECT_TRUE(ExitButton()->isEnabled());
  EXPECT_EQ(d.windowTitle(), "Download");
  ::close(reader);
  unsetenv("TORVA_LPT1");
}

TEST_F(DownloadTest, NibbleModeThatDoesNotOpenFails) {
  setenv("TORVA_PARPORT1", (dir + "/none").c_str(), 1);
  PortType = PortNibbleLPT;
  OpenDownload();
  Choose(MakeFile("n.ZK", {1, 2, 3}));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download failure!");
  unsetenv("TORVA_PARPORT1");
}

TEST_F(DownloadTest, SpoolerSendsTheFileAsOneRawJob) {
  torva::test::CupsTestServer cups;
  const std::string why = cups.start();
  TORVA_REQUIRE_FACILITY(why.empty() ? why : "no private cupsd here: " + why);
  const int port = sim.startTcp(0);
  ASSERT_GT(port, 0);
  sim.setRawCapture(true);
  ASSERT_EQ(cups.addRawQueue("torva", "socket://127.0.0.1:" + std::to_string(port)), "");
  DriverParameter.DriverName = "torva";
  PortType = PortDriver;
  const Bytes file = Pattern(5 * 1024 + 100, 8);
  OpenDownload();
  Choose(MakeFile("spool.DAT", file));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download Success!");
  EXPECT_EQ(DriverParameter.hPrinter, -1);  // the spooler is closed after it
  ASSERT_TRUE(cups.waitIdle("torva", 20000));
  EXPECT_TRUE(PrinterGot(file, 20000));
  EXPECT_EQ(cups.jobs("torva").size(), 1u);
  // A queue that is not there.
  DriverParameter.DriverName = "missing";
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download failure!");
  EXPECT_EQ(DriverParameter.hPrinter, -1);
  EXPECT_EQ(cups.jobs("torva").size(), 1u);
  // An empty file makes no document (the spooler takes none) and succeeds.
  // (After a failure the button sends the same file again: another file
  // takes the dialog opened anew.)
  DriverParameter.DriverName = "torva";
  OpenDownload();
  Choose(MakeFile("empty.DAT", {}));
  ASSERT_TRUE(Send());
  EXPECT_EQ(LastText(), "Download Success!");
  EXPECT_EQ(DriverParameter.hPrinter, -1);
  EXPECT_EQ(cups.jobs("torva").size(), 1u);
}

}  // namespace
