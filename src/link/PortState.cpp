#include "link/PortState.h"

#include <array>
#include <mutex>

#include "link/Clock.h"

std::atomic<int> PortType{PortNone};
std::atomic<int> PrinterName{0};
std::string PortDisplay;
std::string Language = "Chinese";
std::string Firmwarefile;

ComInfor ComParameter;
LPTInfor LPTParameter;
USBInfor USBParameter;
USBPrinterInfor USBPrinterParameter;
DriverInfor DriverParameter;
NETInfor PNET;

bool bPassword = false;
bool bCheckConnect = false;
bool bHave = false;
std::atomic<bool> bMinimize{false};

std::atomic<int> iUSBClassMode{0};
std::atomic<int> iStatusBytes{0};
std::atomic<int> iReadType{0};
std::atomic<int> is773Costom{0};
std::atomic<int> isADPress{0};

std::atomic<bool> Include1D61{false};

namespace {
constexpr std::array<const char*, kPrinterModelCount> kModelTexts = {
    "VD-N512",  "VD-M512",  "VD-M512II", "VD-K305",    "RW-K201",  "RWN-K409", "RW-K305",
    "VD-K201",  "VD-K512",  "RW-K305E",  "RW-K201E",   "VD-K772",  "VD-K773",  "VD-K9034",
    "RW-K305GII", "RW-K305W", "VD-K772II", "VD-K466", "VD-H738",
};
}  // namespace

const char* PrinterModelText(int code) {
  if (code < 0 || code >= kPrinterModelCount) return "";
  return kModelTexts[static_cast<size_t>(code)];
}

int PrinterModelFromText(const std::string& text) {
  for (int i = 0; i < kPrinterModelCount; ++i)
    if (text == kModelTexts[static_cast<size_t>(i)]) return i;
  return -1;
}

namespace {
// The note of a reply that may still be coming. The exchanges run on a
// worker thread beside the window's, one at a time.
std::mutex g_outstandingMu;
struct OutstandingNote {
  int kind = PortNone;
  std::string port;
  OutstandingReply reply;
};
std::optional<OutstandingNote> g_outstanding;

// The port of a kind as its record names it now.
std::string PortOf(int kind) {
  switch (kind) {
    case PortCOM: return ComParameter.Name;
    case PortUSB: return std::to_string(USBParameter.X);
    case PortUSBPrinter: return USBPrinterParameter.Name;
    default: return {};
  }
}
}  // namespace

void NoteOutstandingReply(int kind, int quietMs) {
  OutstandingNote note{kind, PortOf(kind), {torva::TickMs(), quietMs}};
  std::lock_guard<std::mutex> lock(g_outstandingMu);
  g_outstanding = std::move(note);
}

std::optional<OutstandingReply> TakeOutstandingReply(int kind) {
  std::lock_guard<std::mutex> lock(g_outstandingMu);
  if (!g_outstanding || g_outstanding->kind != kind || g_outstanding->port != PortOf(kind)) return std::nullopt;
  const OutstandingReply reply = g_outstanding->reply;
  g_outstanding.reset();
  return reply;
}

bool IsK773CustomMode() {
  return PortType.load() == PortUSBPrinter && PrinterName.load() == ModelVDK773 && is773Costom.load() == 1;
}

void ResetPortState() {
  PortType = PortNone;
  PrinterName = 0;
  PortDisplay.clear();
  Language = "Chinese";
  Firmwarefile.clear();

  ComParameter.Name = "COM1";
  ComParameter.Baudrate = 38400;
  ComParameter.Databits = 8;
  ComParameter.Stopbits = 1;
  ComParameter.Parity = "None";
  ComParameter.Handshake = "DTR/DSR";
  ComParameter.m_hdev = -1;

  LPTParameter.Name = "LPT1";
  LPTParameter.Number = 1;
  LPTParameter.m_hdev = -1;

  USBParameter.Name = "QFUSB-0";
  USBParameter.ID = 0;
  USBParameter.X = -1;
  USBParameter.m_hdev = -1;

  USBPrinterParameter.Name.clear();
  USBPrinterParameter.ID = 0;
  USBPrinterParameter.X = 0;
  USBPrinterParameter.m_hdev = -1;

  DriverParameter.hPrinter = -1;
  DriverParameter.DriverName.clear();
  DriverParameter.DriverPort.clear();

  PNET.PrinterName.clear();
  PNET.IPAddress = "0.0.0.0";
  PNET.TestPrinterName = false;
  PNET.status = false;
  PNET.connecttime = 0;
  PNET.writetime = 0;
  PNET.readtime = 0;
  PNET.TestConnect = false;
  PNET.handle = -1;

  bPassword = false;
  bCheckConnect = false;
  bHave = false;
  bMinimize = false;
  iUSBClassMode = 0;
  iStatusBytes = 0;
  iReadType = 0;
  is773Costom = 0;
  isADPress = 0;
  Include1D61 = false;
  std::lock_guard<std::mutex> lock(g_outstandingMu);
  g_outstanding.reset();
}
