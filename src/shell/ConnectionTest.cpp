#include "shell/ConnectionTest.h"

#include <algorithm>
#include <cstring>

#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/LPTUnit.h"
#include "link/NetUnit.h"
#include "link/ParReverse.h"
#include "link/PortState.h"
#include "link/USBUnit.h"
#include "link/UsbPrinterHandle.h"


namespace portset {

namespace {

struct ModelRow {
  const char* text;  // as the list stores it, trailing blanks included
  int code;
};

constexpr std::array<ModelRow, kModelRowCount> kModelRows = {{
    {"VD-M512     ", ModelVDM512},
    {"VD-M512II ", ModelVDM512II},
    {"VD-N512  ", ModelVDN512},
    {"VD-K201    ", ModelVDK201},
    {"VD-K305 ", ModelVDK305},
    {"VD-K466     ", ModelVDK466},
    {"VD-K512     ", ModelVDK512},
    {"VD-K9034", ModelVDK9034},
    {"VD-K772", ModelVDK772},
    {"VD-K772II", ModelVDK772II},
    {"VD-K773", ModelVDK773},
    {"VD-H738", ModelVDH738},
    {"RW-K201 ", ModelRWK201},
    {"RW-K201E", ModelRWK201E},
    {"RW-K305", ModelRWK305},
    {"RW-K305GII ", ModelRWK305GII},
    {"RW-K305W     ", ModelRWK305W},
    {"RW-K305E    ", ModelRWK305E},
    {"RWN-K409 ", ModelRWNK409},
}};

std::string TrimRight(std::string s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) s.pop_back();
  return s;
}

std::string Trim(const std::string& s) {
  size_t b = 0;
  while (b < s.size() && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  size_t e = s.size();
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  return s.substr(b, e - b);
}

// How long the USB device test may spend emptying what the device had
// queued before the test (a device that never stops sending, or a broken
// library that reports errors forever, cannot hold the dialog). A device
// still sending at that bound fails the test: its next byte could not be
// told from the printer's reply.
constexpr uint64_t kUsbDrainLimitMs = 2000;

constexpr uint8_t kTransmitStatus[] = {0x1D, 0x72, 0x01};
constexpr uint8_t kTransmitStatusLF[] = {0x1D, 0x72, 0x01, 0x0A};
constexpr uint8_t kFeedLine[] = {0x0A};
constexpr uint8_t kAutoStatusOn[] = {0x1D, 0x61, 0xFF};

bool SerialTest(int handle) {
  if (!POSWritePort(PortCOM, handle, kTransmitStatus, 3)) return false;
  uint8_t status = 0;
  if (!POSReadPort(PortCOM, handle, &status, 1, 3000)) return false;
  return POSWritePort(PortCOM, handle, kFeedLine, 1);
}

OpenOutcome OpenSerial(const PortRequest& r) {
  const SerialChoice& s = r.serial;
  int h = OpenCOM1(s.name, s.baudrate, s.databits, s.stopbits, s.handshake, s.parity);
  if (h <= 0) {
    ComParameter.m_hdev = -1;
    return OpenOutcome::Failed;
  }
  ComParameter.m_hdev = h;
  if (r.test && !SerialTest(h)) {
    CloseCOM(h);
    ComParameter.m_hdev = -1;
    return OpenOutcome::Failed;
  }
  CloseCOM(h);
  ComParameter.m_hdev = -1;
  ComParameter.Databits = s.databits;
  ComParameter.Name = s.name;
  ComParameter.Baudrate = s.baudrate;
  ComParameter.Stopbits = s.stopbits;
  ComParameter.Handshake = s.handshake;
  ComParameter.Parity = s.parity;
  PortDisplay = s.name;
  PortType = PortCOM;
  return OpenOutcome::Opened;
}

OpenOutcome OpenParallel(const PortRequest& r) {
  if (r.lptName.empty() || r.lptIndex < 0) return OpenOutcome::Failed;
  int h = OpenLPT(r.lptName);
  if (h <= 0) {
    LPTParameter.m_hdev = -1;
    return OpenOutcome::Failed;
  }
  LPTParameter.m_hdev = h;
  CloseLPT(h);
  LPTParameter.m_hdev = -1;
  LPTParameter.Name = r.lptName;
  LPTParameter.Number = r.lptIndex + 1;
  PortDisplay = r.lptName;
  PortType = PortLPT;
  return OpenOutcome::Opened;
}

OpenOutcome OpenNibble(const PortRequest& r) {
  if (r.lptName.empty() || r.lptIndex < 0) return OpenOutcome::Failed;
  const uint16_t port = static_cast<uint16_t>(r.lptIndex + 1);
  if (ParReverse::DriverOpenEx(port, 1, 0, ProgramDirectory()) != 1) return OpenOutcome::Failed;
  if (r.test) {
    int status = 0;
    bool ok = ParReverse::NibbleModeWrite(kTransmitStatusLF, 4, &status) != 0;
    if (ok) {
      std::array<uint8_t, 256> reply{};
      ok = ParReverse::NibbleModeRead(reply.data(), static_cast<int>(reply.size()), &status) > 0;
    }
    if (!ok) {
      ParReverse::DriverClose();
      return OpenOutcome::Failed;
    }
  }
  ParReverse::DriverClose();
  LPTParameter.m_hdev = -1;
  LPTParameter.Name = r.lptName;
  LPTParameter.Number = r.lptIndex + 1;
  PortDisplay = r.lptName;
  PortType = PortNibbleLPT;
  return OpenOutcome::Opened;
}

bool UsbDeviceTest(int h) {
  using namespace UsbDevice;
  std::array<uint8_t, 500> drain{};
  SetUSBTimeouts(h, 2, 30);
  const uint64_t limit = torva::TickMs() + kUsbDrainLimitMs;
  while (uRead(h, 1, drain.data(), static_cast<int>(drain.size())) > 0) {
    if (torva::TickMs() >= limit) return false;  // never quiet: no answer can be picked out
  }
  SetUSBTimeouts(h, 20, 30);
  if (uWrite(h, 0, kTransmitStatusLF, 4) != 4) return false;
  uint8_t status[2] = {0, 0};
  if (uRead(h, 1, status, 1) != 1) return false;
  SetUSBTimeouts(h, 2, 30);
  uRead(h, 1, status + 1, 1);
  SetUSBTimeouts(h, 20, 30);
  return true;
}

OpenOutcome OpenUsbDevice(const PortRequest& r) {
  if (r.usbEntries.size() >= 2) return OpenOutcome::TwoUsbDevices;
  if (r.usbSelected < 0 || r.usbSelected >= static_cast<int>(r.usbEntries.size())) return OpenOutcome::Failed;
  const std::string& entry = r.usbEntries[static_cast<size_t>(r.usbSelected)];
  const int index = UsbEntryIndex(entry);
  if (index < 0) return OpenOutcome::Failed;
  int h = UsbDevice::OpenDeviceX(index);
  if (h <= 0) {
    USBParameter.m_hdev = -1;
    return OpenOutcome::Failed;
  }
  USBParameter.m_hdev = h;
  UsbDevice::SetUSBTimeouts(h, 20, 30);
  if (r.test && !UsbDeviceTest(h)) {
    UsbDevice::CloseDevice(h);
    USBParameter.m_hdev = -1;
    return OpenOutcome::Failed;
  }
  PortType = PortUSB;
  UsbDevice::CloseDevice(h);
  USBParameter.m_hdev = -1;
  USBParameter.X = index;
  USBParameter.Name = entry;
  if (r.usbSelected < static_cast<int>(r.usbIds.size())) USBParameter.ID = r.usbIds[static_cast<size_t>(r.usbSelected)];
  PortDisplay = entry;
  return OpenOutcome::Opened;
}

bool UsbPrinterTest(int h) {
  using namespace UsbPrinter;
  int written = 0;
  if (WriteUSBPrinter(h, kTransmitStatusLF, 4, &written) == 0 || written != 4) return false;
  std::vector<uint8_t> reply(2000, 0);
  int got = 0;
  if (ReadUSBPrinter(h, reply.data(), static_cast<int>(reply.size()), &got) == 0) return false;
  return got == 1;
}

// Both USB printer roads end alike once the printer has passed: the kind is
// set, the connection closed with its own call and the name kept.
OpenOutcome UsbPrinterConfigured(const std::string& name) {
  PortType = PortUSBPrinter;
  CloseUsbPrinterHandle();
  USBPrinterParameter.Name = name;
  PortDisplay = name;
  return OpenOutcome::Opened;
}

const std::string* SelectedUsbEntry(const PortRequest& r) {
  if (r.usbSelected < 0 || r.usbSelected >= static_cast<int>(r.usbEntries.size())) return nullptr;
  return &r.usbEntries[static_cast<size_t>(r.usbSelected)];
}

OpenOutcome OpenUsbPrinter(const PortRequest& r) {
  const std::string* name = SelectedUsbEntry(r);
  if (!name || name->empty()) return OpenOutcome::Failed;
  int h = UsbPrinter::OpenUSBPrinter(*name);
  if (h <= 0) {
    USBPrinterParameter.m_hdev = -1;
    return OpenOutcome::Failed;
  }
  USBPrinterParameter.m_hdev = h;
  RememberUsbPrinterHandle(h, UsbPrinterChannel::Plain);
  UsbPrinter::SetTimeout(3000, 2000);
  // Automatic status is switched on whether or not the test runs; it stays
  // on in the printer.
  int written = 0;
  bool ok = UsbPrinter::WriteUSBPrinter(h, kAutoStatusOn, 3, &written) != 0 && written == 3;
  if (ok && r.test) ok = UsbPrinterTest(h);
  if (!ok) {
    CloseUsbPrinterHandle();
    return OpenOutcome::Failed;
  }
  return UsbPrinterConfigured(*name);
}

OpenOutcome OpenK773(const PortRequest& r) {
  const std::string* name = SelectedUsbEntry(r);
  if (!name || name->empty() || !r.usbNames) return OpenOutcome::Failed;
  const int position = FindPinterIDByPrinterName(*r.usbNames, *name);
  iPrinterID = position;
  if (position <= 0) return OpenOutcome::Failed;
  int h = UsbPrinter::OpenQfUSBPrinter(position);
  if (h <= 0) {
    USBPrinterParameter.m_hdev = -1;
    return OpenOutcome::Failed;
  }
  USBPrinterParameter.m_hdev = h;
  RememberUsbPrinterHandle(h, UsbPrinterChannel::Custom);
  UsbPrinter::SetPortTimeout(3000, 2000);
  K773Probe probe;
  if (!RunK773Probe(r.test, probe)) {
    CloseUsbPrinterHandle();
    return OpenOutcome::Failed;
  }
  iUSBClassMode = probe.classMode;
  iStatusBytes = probe.statusBytes;
  is773Costom = probe.custom;
  return UsbPrinterConfigured(*name);
}

OpenOutcome OpenNet(const PortRequest& r) {
  if (r.ipAddress.empty()) return OpenOutcome::Failed;
  PNET.connecttime = 3;
  PNET.writetime = 5;
  PNET.readtime = 5;
  PNET.PrinterName = ModelRowText(r.modelRow);
  PNET.IPAddress = r.ipAddress;
  PNET.TestPrinterName = r.test;
  if (!OpenNetPort()) {
    CloseNetPort();
    PNET.handle = -1;
    return OpenOutcome::Failed;
  }
  PortType = PortNet;
  PortDisplay = r.ipAddress;
  return OpenOutcome::Opened;
}

}  // namespace

std::string ModelRowText(int row) {
  if (row < 0 || row >= kModelRowCount) return {};
  return kModelRows[static_cast<size_t>(row)].text;
}

int ModelCodeForRow(int row) {
  if (row < 0 || row >= kModelRowCount) return -1;
  return kModelRows[static_cast<size_t>(row)].code;
}

int ModelRowForCode(int code) {
  for (int row = 0; row < kModelRowCount; ++row)
    if (kModelRows[static_cast<size_t>(row)].code == code) return row;
  return -1;
}

bool RowUsesNibbleLPT(int row) { return TrimRight(ModelRowText(row)) == "VD-K512"; }

int EnumerateUsbPrinters(UsbNameBuffer& buffer) {
  buffer.fill(0);
  int count = UsbPrinter::EnumUSBPrinter(buffer.data(), kUsbNameBufferSize);
  buffer[kUsbNameBufferSize - 1] = 0;
  std::replace(buffer.begin(), buffer.end(), '@', '\0');
  return count;
}

namespace {
// Calls f(name) for each zero-separated name from the start of the buffer
// until f returns false, the buffer ends or an empty name (the zero padding
// after the last name) is met.
template <typename F>
void WalkNames(const UsbNameBuffer& buffer, F f) {
  size_t pos = 0;
  while (pos < buffer.size()) {
    size_t end = pos;
    while (end < buffer.size() && buffer[end] != '\0') ++end;
    if (end == pos) return;
    if (!f(std::string(buffer.data() + pos, end - pos))) return;
    pos = end + 1;
  }
}
}  // namespace

std::vector<std::string> UsbPrinterNames(const UsbNameBuffer& buffer, int count) {
  std::vector<std::string> names;
  if (count <= 0) return names;
  WalkNames(buffer, [&](const std::string& n) {
    names.push_back(n);
    return static_cast<int>(names.size()) < count;
  });
  return names;
}

int FindPinterIDByPrinterName(const UsbNameBuffer& buffer, const std::string& name) {
  int position = 0, found = 0;
  WalkNames(buffer, [&](const std::string& n) {
    ++position;
    if (n == name) {
      found = position;
      return false;
    }
    return true;
  });
  return found;
}

std::string IpAddressText(bool setIp, bool autoIp, const std::array<std::string, 4>& boxes,
                          const std::string& found) {
  if (autoIp) return found;
  if (!setIp) return {};
  std::string text;
  for (size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i].size() > 255) return {};
    if (i) text += '.';
    text += boxes[i];
  }
  return text;
}

std::vector<std::string> SplitAddressList(const std::string& text) {
  std::vector<std::string> parts;
  const std::string t = Trim(text);
  size_t start = 0;
  while (start < t.size()) {
    size_t at = t.find('@', start);
    if (at == std::string::npos) {
      parts.push_back(t.substr(start));
      break;
    }
    parts.push_back(t.substr(start, at - start));
    start = at + 1;
  }
  return parts;
}

int UsbEntryIndex(const std::string& entry) {
  if (entry.empty()) return -1;
  const char c = entry.back();
  if (c < '0' || c > '9') return -1;
  return c - '0';
}

bool RunK773Probe(bool test, K773Probe& out) {
  using namespace UsbPrinter;
  static constexpr uint8_t kQuery1[] = {0x1B, 0x6A, 0x6F};
  static constexpr uint8_t kQuery2[] = {0x1B, 0x6A, 0xC4};
  std::array<uint8_t, kK773ProbeBufferSize> reply{};

  // Query 1: which framing the printer uses. The reply is used only when all
  // nine bytes came.
  if (WriteQfUSBPrinter(kQuery1, 3) != 3) return false;
  torva::PrinterDelay(30);
  if (ReadQfUSBPrinter(reply.data(), 9) != 9) return false;
  const int classMode = reply[7] != 0 ? 1 : 0;
  const int statusBytes = reply[0];
  if (statusBytes > kK773MaxStatusBytes) return false;

  // Query 2: whether the printer runs in its custom mode; the answer byte
  // follows the status bytes and the class byte.
  if (WriteQfUSBPrinter(kQuery2, 3) != 3) return false;
  reply.fill(0);
  torva::PrinterDelay(30);
  const int wanted = classMode == 1 ? statusBytes + 3 : 9;
  const int got = ReadQfUSBPrinter(reply.data(), wanted);
  if (got != wanted) return false;
  const int offset = statusBytes + 1;
  if (offset >= got) return false;

  if (test && WriteQfUSBPrinter(kFeedLine, 1) != 1) return false;

  out.classMode = classMode;
  out.statusBytes = statusBytes;
  out.custom = reply[static_cast<size_t>(offset)];
  return true;
}

OpenOutcome OpenRequestedPort(const PortRequest& request) {
  switch (request.kind) {
    case PortCOM:
      return OpenSerial(request);
    case PortLPT:
      return OpenParallel(request);
    case PortNibbleLPT:
      return OpenNibble(request);
    case PortUSB:
      return OpenUsbDevice(request);
    case PortUSBPrinter:
      if (PrinterName == ModelVDK773) return OpenK773(request);
      return OpenUsbPrinter(request);
    case PortNet:
      return OpenNet(request);
    default:
      return OpenOutcome::NoBranch;
  }
}

Texts FailureText(int kind) {
  switch (kind) {
    case PortCOM:
      return {"Can't open the COM port!", "打开端口失败！"};
    case PortLPT:
    case PortNibbleLPT:
      return {"Can't open the LPT port!", "打开端口失败！"};
    case PortUSB:
    case PortUSBPrinter:
      return {"Can't open the USB port!", "打开端口失败！"};
    case PortNet:
      return {"Can't open the Net port!", "打开端口失败！"};
    default:
      return {"", ""};
  }
}

const char* PortLabel() { return Language == "English" ? "Port:" : "端口:"; }

}  // namespace portset
