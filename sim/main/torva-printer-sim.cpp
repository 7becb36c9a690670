// torva-printer-sim: runs the simulated printer by hand until SIGINT/SIGTERM
// or `quit`. Commands typed on its standard input change the printer while it
// runs (see ConsoleCommands.h); when standard input is not there or ends, the
// simulator runs on, as scripts that start it in the background expect.
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "link/Descriptors.h"
#include "sim/ConsoleCommands.h"
#include "sim/EndpointIo.h"
#include "sim/SimPrinter.h"
#include "sim/UsbEndpoint.h"

namespace {

const char kUsage[] =
    "Usage: torva-printer-sim [options]\n"
    "Plays a TORVA printer at the other end of a serial, TCP, name-query or USB link.\n"
    "\n"
    "  --model CODE         printer model code 0..18 (default 2, VD-M512II)\n"
    "  --serial-link PATH   serial port on a pseudo-terminal, with a symbolic link at PATH\n"
    "  --serial             serial port on a pseudo-terminal, no link\n"
    "  --tcp PORT           Ethernet raw port on 127.0.0.1 (0 picks a free port)\n"
    "  --name-query PORT    UDP name query on 127.0.0.1\n"
    "  --usb-socket PATH    Unix socket for the USB layers (TORVA_USB_SIM=PATH): a USB device\n"
    "                       at index 0 and a USB printer; the console lists only the device\n"
    "  --usb-printer        the USB socket offers the USB printer alone, no USB device, so the\n"
    "                       console lists it under its USB printer kind\n"
    "  --k773-custom[=CLASS[,STATUS]]\n"
    "                       a VD-K773 (model 12) in its custom USB mode, on the USB printer\n"
    "                       (implies --usb-printer): setting C4 holds 0001, as the console's\n"
    "                       framing probe reads it (\"set C4 0000\" is its plain mode). CLASS 1\n"
    "                       (default) puts a class byte and STATUS status bytes (default 2)\n"
    "                       before each reply on the custom channel, CLASS 0 neither\n"
    "  --printer-name NAME  name answered to the name query and shown on USB\n"
    "  --reply-delay MS     delay before each reply (default 3)\n"
    "  --status HEX         initial status record, e.g. \"00 00 00 00\"\n"
    "  --log                print every frame and reply with a time stamp\n"
    "  --log-file PATH      the same, appended to PATH instead of printed\n"
    "  --help               this text\n"
    "\n"
    "While it runs, it takes commands on its standard input (\"help\" lists them):\n"
    "status record, settings, faults, unsolicited bytes, log tail, power cycle, quit.\n";

// The bytes of a frame the log shows before it gives the frame's length only.
constexpr size_t kLogFileBytes = 64;

bool ParseInt(const char* s, int& out) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (!s[0] || *end || v < -1000000 || v > 1000000) return false;
  out = static_cast<int>(v);
  return true;
}

// The VD-K773's custom USB framing: "CLASS" or "CLASS,STATUS", CLASS 0 or 1
// and STATUS 0..255 status bytes.
bool ParseK773Framing(const std::string& text, int& classMode, int& statusBytes) {
  const size_t comma = text.find(',');
  const std::string first = text.substr(0, comma);
  int c = 0, n = statusBytes;
  if (!ParseInt(first.c_str(), c) || (c != 0 && c != 1)) return false;
  if (comma != std::string::npos) {
    const std::string second = text.substr(comma + 1);
    if (!ParseInt(second.c_str(), n) || n < 0 || n > 255) return false;
  }
  classMode = c;
  statusBytes = c == 1 ? n : 0;
  return true;
}

constexpr int kK773Model = 12;
// The VD-K773's printer-mode setting; its low byte 1 is the custom USB mode.
constexpr int kK773PrinterModeAddress = 0xC4;

// Reads standard input line by line and runs each line as a command, until
// quit (which stops the program), end of input or stop(). A prompt is shown
// when standard input is a terminal.
class ConsoleReader {
 public:
  ConsoleReader(torva::sim::SimPrinter& printer, std::chrono::steady_clock::time_point start)
      : printer_(printer), start_(start), tty_(isatty(0) == 1) {}
  ~ConsoleReader() { stop(); }

  void start() {
    if (!wake_.open()) return;
    if (tty_) {
      std::printf("Type commands here (help lists them).\n");
      prompt();
    }
    thread_ = std::thread([this] { run(); });
  }

  void stop() {
    if (!thread_.joinable()) return;
    quit_ = true;
    wake_.signal();
    thread_.join();
  }

 private:
  void prompt() {
    if (!tty_) return;
    std::printf("sim> ");
    std::fflush(stdout);
  }

  void run() {
    std::string line;
    bool overlong = false;
    char buf[512];
    while (!quit_) {
      pollfd fds[2] = {{wake_.readFd(), POLLIN, 0}, {0, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (quit_) return;
      if (!fds[1].revents) continue;
      const ssize_t n = read(0, buf, sizeof buf);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n < 0 && errno == EIO) {
        // A background job reading its terminal (SIGTTIN is ignored): wait
        // until it is brought to the foreground.
        pollfd w{wake_.readFd(), POLLIN, 0};
        poll(&w, 1, 1000);
        continue;
      }
      if (n <= 0) {
        std::printf("%sstandard input closed; the simulator runs on until stopped\n", tty_ ? "\n" : "");
        std::fflush(stdout);
        return;
      }
      for (ssize_t i = 0; i < n; ++i) {
        const char ch = buf[i];
        if (ch != '\n') {
          if (line.size() < 4096)
            line += ch;
          else
            overlong = true;
          continue;
        }
        if (overlong) {
          std::printf("line too long\n");
        } else if (!line.empty() && line.back() == '\r') {
          line.pop_back();
        }
        if (!overlong && execute(line)) return;
        line.clear();
        overlong = false;
        prompt();
      }
    }
  }

  // Runs one line; true after quit.
  bool execute(const std::string& line) {
    const torva::sim::ConsoleCommand c = torva::sim::ParseConsoleCommand(line);
    if (c.kind == torva::sim::ConsoleCommand::Kind::Quit) {
      kill(getpid(), SIGTERM);  // main waits for it in sigwait
      return true;
    }
    const std::string answer = torva::sim::RunConsoleCommand(printer_, c, start_);
    std::fputs(answer.c_str(), stdout);
    std::fflush(stdout);
    return false;
  }

  torva::sim::SimPrinter& printer_;
  const std::chrono::steady_clock::time_point start_;
  const bool tty_;
  torva::sim::WakePipe wake_;
  std::thread thread_;
  std::atomic<bool> quit_{false};
};

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();

  int model = 2, tcpPort = -2, namePort = -2, replyDelay = -1;
  bool modelGiven = false, serial = false, log = false, usbPrinterOnly = false, k773Custom = false;
  // The custom channel's framing: a class byte and two status bytes, as a
  // VD-K773 in its class mode sends them.
  int k773Class = 1, k773StatusBytes = 2;
  std::string serialLink, usbSocket, printerName, statusHex, logFile;
  bool haveStatus = false;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* what) -> const char* {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "torva-printer-sim: %s needs a value\n", what);
        std::exit(2);
      }
      return argv[++i];
    };
    auto number = [&](const char* what, int& out) {
      const char* v = value(what);
      if (!ParseInt(v, out)) {
        std::fprintf(stderr, "torva-printer-sim: %s: not a number: %s\n", what, v);
        std::exit(2);
      }
    };
    if (a == "--help" || a == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (a == "--model") {
      number("--model", model);
      modelGiven = true;
      if (model < 0 || model > 18) {
        std::fprintf(stderr, "torva-printer-sim: --model: code 0..18\n");
        return 2;
      }
    } else if (a == "--serial-link") {
      serialLink = value("--serial-link");
      serial = true;
    } else if (a == "--serial") {
      serial = true;
    } else if (a == "--tcp") {
      number("--tcp", tcpPort);
    } else if (a == "--name-query") {
      number("--name-query", namePort);
    } else if (a == "--usb-socket") {
      usbSocket = value("--usb-socket");
    } else if (a == "--usb-printer") {
      usbPrinterOnly = true;
    } else if (a == "--k773-custom" || a.rfind("--k773-custom=", 0) == 0) {
      k773Custom = true;
      if (a != "--k773-custom" && !ParseK773Framing(a.substr(a.find('=') + 1), k773Class, k773StatusBytes)) {
        std::fprintf(stderr,
                     "torva-printer-sim: --k773-custom=CLASS[,STATUS]: CLASS 0 or 1, STATUS 0..255 status bytes\n");
        return 2;
      }
    } else if (a == "--printer-name") {
      printerName = value("--printer-name");
    } else if (a == "--reply-delay") {
      number("--reply-delay", replyDelay);
    } else if (a == "--status") {
      statusHex = value("--status");
      haveStatus = true;
    } else if (a == "--log") {
      log = true;
    } else if (a == "--log-file") {
      logFile = value("--log-file");
      log = true;
    } else {
      std::fprintf(stderr, "torva-printer-sim: unknown option %s\n%s", a.c_str(), kUsage);
      return 2;
    }
  }
  if (!serial && tcpPort == -2 && namePort == -2 && usbSocket.empty()) {
    std::fprintf(stderr,
                 "torva-printer-sim: no endpoint given (--serial-link, --tcp, --name-query, --usb-socket)\n");
    return 2;
  }
  if (k773Custom) {
    if (modelGiven && model != kK773Model) {
      std::fprintf(stderr, "torva-printer-sim: --k773-custom: the custom USB mode is the VD-K773's (model %d)\n",
                   kK773Model);
      return 2;
    }
    model = kK773Model;
    usbPrinterOnly = true;
  }
  if (usbPrinterOnly && usbSocket.empty()) {
    std::fprintf(stderr, "torva-printer-sim: %s needs --usb-socket\n",
                 k773Custom ? "--k773-custom" : "--usb-printer");
    return 2;
  }

  // Signals are taken by sigwait below; block them before any thread starts.
  // A shell starts background jobs with SIGINT ignored, and an ignored
  // signal never reaches sigwait: give both a handler first.
  struct sigaction sa {};
  sa.sa_handler = [](int) {};
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  // Started in the background of an interactive shell, reading or writing
  // the terminal must not stop the whole simulator: reads then fail (and
  // are tried again later), writes go through.
  signal(SIGTTIN, SIG_IGN);
  signal(SIGTTOU, SIG_IGN);
  sigset_t sigs;
  sigemptyset(&sigs);
  sigaddset(&sigs, SIGINT);
  sigaddset(&sigs, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &sigs, nullptr);

  torva::sim::SimPrinter printer(model);
  if (!printerName.empty()) printer.setPrinterName(printerName);
  // The custom channel (the USB printer opened for a VD-K773) always answers
  // in the VD-K773's framing, so the console's probe finds the printer
  // whatever model it plays now; setting C4 says whether it is in custom mode.
  printer.setK773Custom(true, k773Class, k773StatusBytes);
  if (k773Custom) printer.setSetting(kK773PrinterModeAddress, 0x0001);
  if (replyDelay >= 0) printer.setReplyDelayMs(replyDelay);
  if (haveStatus) {
    torva::sim::Bytes rec;
    if (!torva::sim::ParseHexBytes(statusHex, rec)) {
      std::fprintf(stderr, "torva-printer-sim: --status: not hex bytes: %s\n", statusHex.c_str());
      return 2;
    }
    printer.setStatusRecord(rec);
  }
  const auto start = std::chrono::steady_clock::now();
  FILE* logOut = stdout;
  if (!logFile.empty()) {
    logOut = std::fopen(logFile.c_str(), "ae");
    if (!logOut) {
      std::fprintf(stderr, "torva-printer-sim: cannot open the log file %s: %s\n", logFile.c_str(),
                   std::strerror(errno));
      return 1;
    }
  }
  if (log) {
    printer.setFrameObserver([start, logOut](const torva::sim::LogEntry& e) {
      // A long frame (print data) shows its first bytes and its length, so
      // the log grows by a line per frame, not by the data itself.
      std::fprintf(logOut, "%s\n", torva::sim::FormatLogEntry(e, start, kLogFileBytes).c_str());
      std::fflush(logOut);
    });
    printer.setReplyObserver([start, logOut](const std::string& channel, const torva::sim::Bytes& b) {
      const double t = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      std::fprintf(logOut, "[%10.3f] %-6s -> %-16s %s\n", t, channel.c_str(), "Reply",
                   torva::sim::FormatHex(b).c_str());
      std::fflush(logOut);
    });
  }

  std::printf("torva-printer-sim: model %d (%s)\n", model, printer.printerName().c_str());
  if (serial) {
    std::string path = printer.startSerial(serialLink);
    if (path.empty()) {
      std::fprintf(stderr, "torva-printer-sim: cannot start the serial port%s%s\n",
                   serialLink.empty() ? "" : " at ", serialLink.c_str());
      return 1;
    }
    if (serialLink.empty())
      std::printf("serial: %s\n", path.c_str());
    else
      std::printf("serial: %s -> %s\n", serialLink.c_str(), path.c_str());
  }
  if (tcpPort != -2) {
    int p = printer.startTcp(tcpPort < 0 ? 0 : tcpPort);
    if (p <= 0) {
      std::fprintf(stderr, "torva-printer-sim: cannot listen on 127.0.0.1:%d\n", tcpPort);
      return 1;
    }
    std::printf("tcp: 127.0.0.1:%d\n", p);
  }
  if (namePort != -2) {
    int p = printer.startNameQuery(namePort < 0 ? 0 : namePort);
    if (p <= 0) {
      std::fprintf(stderr, "torva-printer-sim: cannot start the name query on port %d\n", namePort);
      return 1;
    }
    std::printf("name query: udp 127.0.0.1:%d\n", p);
  }
  if (!usbSocket.empty()) {
    torva::sim::UsbSimOptions usb;
    if (usbPrinterOnly) usb.devicePositions.clear();
    if (!torva::sim::StartUsbSocket(printer, usbSocket, usb)) {
      std::fprintf(stderr, "torva-printer-sim: cannot listen on the USB socket %s\n", usbSocket.c_str());
      return 1;
    }
    std::printf("usb: %s (TORVA_USB_SIM=%s), %s\n", usbSocket.c_str(), usbSocket.c_str(),
                usbPrinterOnly ? "a USB printer, no USB device" : "a USB device at index 0 and a USB printer");
    if (k773Custom) {
      if (k773Class == 1)
        std::printf("VD-K773 custom USB mode: class mode 1, %d status byte%s\n", k773StatusBytes,
                    k773StatusBytes == 1 ? "" : "s");
      else
        std::printf("VD-K773 custom USB mode: class mode 0\n");
    }
  }
  if (!logFile.empty()) std::printf("log: %s\n", logFile.c_str());
  std::fflush(stdout);

  ConsoleReader console(printer, start);
  console.start();
  int sig = 0;
  sigwait(&sigs, &sig);
  console.stop();
  std::printf("torva-printer-sim: stopping\n");
  std::fflush(stdout);
  printer.stop();
  printer.setFrameObserver({});
  printer.setReplyObserver({});
  if (logOut != stdout) std::fclose(logOut);
  return 0;
}
