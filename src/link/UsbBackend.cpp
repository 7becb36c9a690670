#include "link/UsbBackend.h"

#include <cstdio>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>
#include <mutex>

#include "link/UsbLibusb.h"
#include "link/UsbSimClient.h"

namespace torva::usb {

UsbBackend& CurrentBackend() {
  static std::mutex mu;
  static std::map<std::string, std::unique_ptr<SimBackend>> sims;
  // Never destroyed: a port still open when the program ends must not outlive
  // the libusb context it was opened in.
  static LibusbBackend* real = new LibusbBackend;
  const char* sim = std::getenv("TORVA_USB_SIM");
  if (!sim || !*sim) return *real;
  std::lock_guard<std::mutex> lock(mu);
  auto& slot = sims[sim];
  if (!slot) slot = std::make_unique<SimBackend>(sim);
  return *slot;
}

namespace {
std::string Trim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}
std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}
}  // namespace

std::string PrinterListName(const std::string& model, const std::string& product, uint16_t vendorId,
                            uint16_t productId) {
  auto trimmed = [](const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) return std::string();
    return s.substr(a, s.find_last_not_of(" \t\r\n") - a + 1);
  };
  if (std::string m = trimmed(model); !m.empty()) return m;
  if (std::string p = trimmed(product); !p.empty()) return p;
  char ids[32];
  std::snprintf(ids, sizeof ids, "USB Printer %04X:%04X", vendorId, productId);
  return ids;
}

std::string ModelFromDeviceId(const std::string& deviceId) {
  // "KEY:value;KEY:value;..." in any order; keys are case-insensitive.
  size_t pos = 0;
  while (pos < deviceId.size()) {
    size_t end = deviceId.find(';', pos);
    if (end == std::string::npos) end = deviceId.size();
    const std::string field = deviceId.substr(pos, end - pos);
    const size_t colon = field.find(':');
    if (colon != std::string::npos) {
      const std::string key = Upper(Trim(field.substr(0, colon)));
      if (key == "MDL" || key == "MODEL") return Trim(field.substr(colon + 1));
    }
    pos = end + 1;
  }
  return {};
}

std::string DeviceIdText(const uint8_t* data, size_t n) {
  if (!data || n < 2) return {};
  size_t len = static_cast<size_t>(data[0]) << 8 | data[1];
  // Some printers count the length little-endian; a length that cannot be
  // right either way is bounded by what arrived.
  if (len > n || len < 2) {
    const size_t le = static_cast<size_t>(data[1]) << 8 | data[0];
    len = (le >= 2 && le <= n) ? le : n;
  }
  std::string text(reinterpret_cast<const char*>(data + 2), len - 2);
  const size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

}  // namespace torva::usb
