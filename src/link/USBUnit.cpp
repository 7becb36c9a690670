#include "link/USBUnit.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "link/UsbBackend.h"

namespace {

using torva::usb::PortClass;
using torva::usb::UsbConnection;

struct Port {
  std::shared_ptr<UsbConnection> conn;
  PortClass cls = PortClass::Device;
  int readMs = 0;  // device ports only; printers use the library's time-outs
  int writeMs = 0;
};

// The open ports by handle. Handles count up to kMaxHandle and then start again
// at 1, skipping those in use, so a stale handle does not soon name a new port.
constexpr int kMaxHandle = 0x7FFF;
std::mutex g_mu;
std::map<int, Port> g_ports;
int g_nextHandle = 1;
int g_printerReadMs = UsbPrinter::kDefaultReadTimeoutMs;
int g_printerWriteMs = UsbPrinter::kDefaultWriteTimeoutMs;
int g_customReadMs = UsbPrinter::kDefaultReadTimeoutMs;
int g_customWriteMs = UsbPrinter::kDefaultWriteTimeoutMs;
int g_customHandle = -1;

int AddPort(Port port) {
  std::lock_guard<std::mutex> lock(g_mu);
  for (int tries = 0; tries < kMaxHandle; ++tries) {
    const int h = g_nextHandle;
    g_nextHandle = g_nextHandle >= kMaxHandle ? 1 : g_nextHandle + 1;
    if (!g_ports.count(h)) {
      g_ports.emplace(h, std::move(port));
      return h;
    }
  }
  return -1;
}

// The port of a handle, when it is open and of one of the classes given.
bool Find(int handle, std::initializer_list<PortClass> classes, Port& out) {
  std::lock_guard<std::mutex> lock(g_mu);
  auto it = g_ports.find(handle);
  if (it == g_ports.end()) return false;
  if (std::find(classes.begin(), classes.end(), it->second.cls) == classes.end()) return false;
  out = it->second;
  return true;
}

bool Remove(int handle, std::initializer_list<PortClass> classes) {
  std::shared_ptr<UsbConnection> conn;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    auto it = g_ports.find(handle);
    if (it == g_ports.end()) return false;
    if (std::find(classes.begin(), classes.end(), it->second.cls) == classes.end()) return false;
    conn = std::move(it->second.conn);
    g_ports.erase(it);
    if (handle == g_customHandle) g_customHandle = -1;
  }
  // A call still running on another thread keeps its own reference; the
  // connection closes when that call has returned.
  conn->abort();
  return true;
}

int StatusCall(int handle, uint8_t* buffer, int asked, int* got, std::initializer_list<PortClass> classes) {
  if (got) *got = 0;
  Port p;
  if (!buffer || asked <= 0 || !Find(handle, classes, p)) return 0;
  const int n = p.conn->statusRecord(buffer, asked);
  if (n <= 0) return 0;
  if (got) *got = n;
  return 1;
}

bool CustomPort(Port& out, int& readMs, int& writeMs) {
  std::lock_guard<std::mutex> lock(g_mu);
  auto it = g_ports.find(g_customHandle);
  if (g_customHandle <= 0 || it == g_ports.end()) return false;
  out = it->second;
  readMs = g_customReadMs;
  writeMs = g_customWriteMs;
  return true;
}

}  // namespace

namespace UsbDevice {

int OpenDeviceX(int index) {
  if (index < 0 || index > 7) return -1;
  auto conn = torva::usb::CurrentBackend().open(PortClass::Device, index);
  if (!conn) return -1;
  Port p;
  p.conn = std::move(conn);
  p.cls = PortClass::Device;
  p.readMs = kDefaultReadTimeoutUnits * 10;
  p.writeMs = kDefaultWriteTimeoutUnits * 100;
  return AddPort(std::move(p));
}

int CloseDevice(int handle) { return Remove(handle, {PortClass::Device}) ? 1 : 0; }

int GetPrinterInternalID(int handle) {
  Port p;
  if (!Find(handle, {PortClass::Device}, p)) return 0;
  return p.conn->internalId();
}

int SetUSBTimeouts(int handle, int first, int second) {
  std::lock_guard<std::mutex> lock(g_mu);
  auto it = g_ports.find(handle);
  if (it == g_ports.end() || it->second.cls != PortClass::Device) return 0;
  it->second.readMs = std::clamp(first, 1, 600000 / 10) * 10;
  it->second.writeMs = std::clamp(second, 1, 600000 / 100) * 100;
  return 1;
}

int uWrite(int handle, int /*pipe*/, const uint8_t* buffer, int length) {
  Port p;
  if (length < 0 || (length > 0 && !buffer) || !Find(handle, {PortClass::Device}, p)) return -1;
  return p.conn->bulkWrite(buffer, length, p.writeMs);
}

int uRead(int handle, int /*pipe*/, uint8_t* buffer, int length) {
  Port p;
  if (length < 0 || (length > 0 && !buffer) || !Find(handle, {PortClass::Device}, p)) return -1;
  return p.conn->bulkRead(buffer, length, p.readMs);
}

int uReadWaiting(int handle, uint8_t* buffer, int length) {
  Port p;
  if (length < 0 || (length > 0 && !buffer) || !Find(handle, {PortClass::Device}, p)) return -1;
  return p.conn->bulkRead(buffer, length, 0);
}

int GetSpecStatus(int handle, uint8_t* buffer, int asked, int* got) {
  return StatusCall(handle, buffer, asked, got, {PortClass::Device});
}

int SendSpecCommand(int handle, int code) {
  Port p;
  if (!Find(handle, {PortClass::Device}, p)) return 0;
  return p.conn->vendorCommand(code) ? 1 : 0;
}

}  // namespace UsbDevice

namespace UsbPrinter {

int EnumUSBPrinter(char* buffer, int capacity) {
  if (!buffer || capacity <= 0) return 0;
  std::memset(buffer, 0, static_cast<size_t>(capacity));
  const auto names = torva::usb::CurrentBackend().printerNames();
  int used = 0, count = 0;
  for (const std::string& own : names) {
    const std::string name = ListedPrinterName(own);
    const int need = static_cast<int>(name.size()) + 1;  // the name and its '@'
    if (used + need + 1 > capacity) break;               // keep the final zero
    std::memcpy(buffer + used, name.data(), name.size());
    buffer[used + static_cast<int>(name.size())] = '@';
    used += need;
    ++count;
  }
  return count;
}

std::string ListedPrinterName(std::string name) {
  std::replace(name.begin(), name.end(), '@', '_');
  return name;
}

int OpenUSBPrinter(const std::string& name) {
  if (name.empty()) return -1;
  auto& backend = torva::usb::CurrentBackend();
  const auto names = backend.printerNames();
  // Matched as listed: the user chose the name from EnumUSBPrinter's list.
  auto it = std::find_if(names.begin(), names.end(),
                         [&](const std::string& own) { return ListedPrinterName(own) == name; });
  if (it == names.end()) return -1;
  auto conn = backend.open(PortClass::Printer, static_cast<int>(it - names.begin()));
  if (!conn) return -1;
  Port p;
  p.conn = std::move(conn);
  p.cls = PortClass::Printer;
  return AddPort(std::move(p));
}

int SetTimeout(int first, int second) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_printerReadMs = std::max(1, first);
  g_printerWriteMs = std::max(1, second);
  return 1;
}

int WriteUSBPrinter(int handle, const uint8_t* buffer, int length, int* written) {
  if (written) *written = 0;
  Port p;
  if (length < 0 || (length > 0 && !buffer) || !Find(handle, {PortClass::Printer}, p)) return 0;
  int ms;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    ms = g_printerWriteMs;
  }
  const int n = p.conn->bulkWrite(buffer, length, ms);
  if (n < 0) return 0;
  if (written) *written = n;
  return 1;
}

int ReadUSBPrinter(int handle, uint8_t* buffer, int length, int* read) {
  if (read) *read = 0;
  Port p;
  if (length < 0 || (length > 0 && !buffer) || !Find(handle, {PortClass::Printer}, p)) return 0;
  int ms;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    ms = g_printerReadMs;
  }
  const int n = p.conn->bulkRead(buffer, length, ms);
  if (n < 0) return 0;
  if (read) *read = n;
  return 1;
}

int ReadUSBPrinterWaiting(int handle, uint8_t* buffer, int length) {
  Port p;
  if (length < 0 || (length > 0 && !buffer) || !Find(handle, {PortClass::Printer}, p)) return -1;
  return p.conn->bulkRead(buffer, length, 0);
}

int GetPrnStatus(int handle, uint8_t* buffer, int asked, int* got) {
  return StatusCall(handle, buffer, asked, got, {PortClass::Printer, PortClass::CustomPrinter});
}

int CloseUSBPrinter(int handle) {
  return Remove(handle, {PortClass::Printer, PortClass::CustomPrinter}) ? 1 : 0;
}

int OpenQfUSBPrinter(int printerId) {
  CloseQfUSBPrinter();
  if (printerId < 1) return -1;
  auto conn = torva::usb::CurrentBackend().open(PortClass::CustomPrinter, printerId - 1);
  if (!conn) return -1;
  Port p;
  p.conn = std::move(conn);
  p.cls = PortClass::CustomPrinter;
  const int h = AddPort(std::move(p));
  if (h > 0) {
    std::lock_guard<std::mutex> lock(g_mu);
    g_customHandle = h;
  }
  return h;
}

int SetPortTimeout(int first, int second) {
  std::lock_guard<std::mutex> lock(g_mu);
  g_customReadMs = std::max(1, first);
  g_customWriteMs = std::max(1, second);
  return 1;
}

int WriteQfUSBPrinter(const uint8_t* buffer, int length) {
  Port p;
  int readMs = 0, writeMs = 0;
  if (length < 0 || (length > 0 && !buffer) || !CustomPort(p, readMs, writeMs)) return -1;
  return p.conn->bulkWrite(buffer, length, writeMs);
}

int ReadQfUSBPrinter(uint8_t* buffer, int length) {
  Port p;
  int readMs = 0, writeMs = 0;
  if (length < 0 || (length > 0 && !buffer) || !CustomPort(p, readMs, writeMs)) return -1;
  return p.conn->bulkRead(buffer, length, readMs);
}

int ReadQfUSBPrinterWaiting(uint8_t* buffer, int length) {
  Port p;
  int readMs = 0, writeMs = 0;
  if (length < 0 || (length > 0 && !buffer) || !CustomPort(p, readMs, writeMs)) return -1;
  return p.conn->bulkRead(buffer, length, 0);
}

int CloseQfUSBPrinter() {
  int h;
  {
    std::lock_guard<std::mutex> lock(g_mu);
    h = g_customHandle;
  }
  return h > 0 && Remove(h, {PortClass::CustomPrinter}) ? 1 : 0;
}

}  // namespace UsbPrinter
