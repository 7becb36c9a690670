// torva-printer-sim: runs the simulated printer by hand until SIGINT/SIGTERM.
#include <pthread.h>
#include <signal.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "link/Descriptors.h"
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
    "  --usb-socket PATH    Unix socket for the USB layers (TORVA_USB_SIM=PATH)\n"
    "  --printer-name NAME  name answered to the name query and shown on USB\n"
    "  --reply-delay MS     delay before each reply (default 3)\n"
    "  --status HEX         initial status record, e.g. \"00 00 00 00\"\n"
    "  --log                print every frame and reply with a time stamp\n"
    "  --help               this text\n";

bool ParseInt(const char* s, int& out) {
  char* end = nullptr;
  long v = std::strtol(s, &end, 10);
  if (!s[0] || *end || v < -1000000 || v > 1000000) return false;
  out = static_cast<int>(v);
  return true;
}

bool ParseHex(const std::string& text, torva::sim::Bytes& out) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)))
      digits += c;
    else if (c != ' ' && c != ',' && c != ':')
      return false;
  }
  if (digits.size() % 2) return false;
  out.clear();
  for (size_t i = 0; i < digits.size(); i += 2)
    out.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
  return true;
}

std::string Hex(const torva::sim::Bytes& b) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < b.size(); ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", b[i]);
    s += buf;
  }
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();

  int model = 2, tcpPort = -2, namePort = -2, replyDelay = -1;
  bool serial = false, log = false;
  std::string serialLink, usbSocket, printerName, statusHex;
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
    } else if (a == "--printer-name") {
      printerName = value("--printer-name");
    } else if (a == "--reply-delay") {
      number("--reply-delay", replyDelay);
    } else if (a == "--status") {
      statusHex = value("--status");
      haveStatus = true;
    } else if (a == "--log") {
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

  // Signals are taken by sigwait below; block them before any thread starts.
  // A shell starts background jobs with SIGINT ignored, and an ignored
  // signal never reaches sigwait: give both a handler first.
  struct sigaction sa {};
  sa.sa_handler = [](int) {};
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigset_t sigs;
  sigemptyset(&sigs);
  sigaddset(&sigs, SIGINT);
  sigaddset(&sigs, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &sigs, nullptr);

  torva::sim::SimPrinter printer(model);
  if (!printerName.empty()) printer.setPrinterName(printerName);
  if (replyDelay >= 0) printer.setReplyDelayMs(replyDelay);
  if (haveStatus) {
    torva::sim::Bytes rec;
    if (!ParseHex(statusHex, rec)) {
      std::fprintf(stderr, "torva-printer-sim: --status: not hex bytes: %s\n", statusHex.c_str());
      return 2;
    }
    printer.setStatusRecord(rec);
  }
  if (log) {
    auto start = std::chrono::steady_clock::now();
    auto stamp = [start](std::chrono::steady_clock::time_point t) {
      return std::chrono::duration<double>(t - start).count();
    };
    printer.setFrameObserver([stamp](const torva::sim::LogEntry& e) {
      std::printf("[%10.3f] %-6s <- %-16s %s\n", stamp(e.time), e.channel.c_str(), e.name.c_str(),
                  Hex(e.frame).c_str());
      std::fflush(stdout);
    });
    printer.setReplyObserver([stamp](const std::string& channel, const torva::sim::Bytes& b) {
      std::printf("[%10.3f] %-6s -> %-16s %s\n", stamp(std::chrono::steady_clock::now()), channel.c_str(),
                  "Reply", Hex(b).c_str());
      std::fflush(stdout);
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
    if (!torva::sim::StartUsbSocket(printer, usbSocket, torva::sim::UsbSimOptions{})) {
      std::fprintf(stderr, "torva-printer-sim: cannot listen on the USB socket %s\n", usbSocket.c_str());
      return 1;
    }
    std::printf("usb: %s (TORVA_USB_SIM=%s)\n", usbSocket.c_str(), usbSocket.c_str());
  }
  std::fflush(stdout);

  int sig = 0;
  sigwait(&sigs, &sig);
  std::printf("torva-printer-sim: stopping\n");
  printer.stop();
  return 0;
}
