#include "link/UsbLibusb.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace torva::usb {
namespace {

constexpr int kMaxPositions = 8;
constexpr int kMaxReadChunk = 64 * 1024;
// bmRequestType of the control requests: direction, type, recipient (interface).
constexpr uint8_t kVendorIn = 0xC1;
constexpr uint8_t kVendorOut = 0x41;
constexpr uint8_t kClassIn = 0xA1;

using Candidate = LibusbBackend::Candidate;

void UnrefAll(std::vector<Candidate>& list) {
  for (auto& c : list) {
    if (c.dev) libusb_unref_device(c.dev);
    c.dev = nullptr;
  }
  list.clear();
}

// One interface setting with the endpoints a connection would use.
struct SettingFound {
  int iface = -1, alt = 0;
  uint8_t epIn = 0, epOut = 0;
  int inPacket = 64;
};

SettingFound EndpointsOf(const libusb_interface_descriptor& d) {
  SettingFound s;
  s.iface = d.bInterfaceNumber;
  s.alt = d.bAlternateSetting;
  for (int e = 0; e < d.bNumEndpoints; ++e) {
    const libusb_endpoint_descriptor& ep = d.endpoint[e];
    if ((ep.bmAttributes & LIBUSB_TRANSFER_TYPE_MASK) != LIBUSB_TRANSFER_TYPE_BULK) continue;
    if (ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) {
      if (!s.epIn) {
        s.epIn = ep.bEndpointAddress;
        s.inPacket = std::max<int>(8, ep.wMaxPacketSize & 0x7FF);
      }
    } else if (!s.epOut) {
      s.epOut = ep.bEndpointAddress;
    }
  }
  return s;
}

// Finds the interface setting of the class wanted (ChooseInterface), in the
// first configuration that has one; false when the device has none.
bool FindInterface(libusb_device* dev, PortClass cls, Candidate& found) {
  libusb_device_descriptor dd{};
  if (libusb_get_device_descriptor(dev, &dd) != 0) return false;
  for (int ci = 0; ci < dd.bNumConfigurations; ++ci) {
    libusb_config_descriptor* cfg = nullptr;
    if (libusb_get_config_descriptor(dev, static_cast<uint8_t>(ci), &cfg) != 0 || !cfg) continue;
    std::vector<InterfaceSummary> summaries;
    std::vector<SettingFound> settings;
    for (int i = 0; i < cfg->bNumInterfaces; ++i) {
      const libusb_interface& itf = cfg->interface[i];
      for (int a = 0; a < itf.num_altsetting; ++a) {
        const libusb_interface_descriptor& d = itf.altsetting[a];
        const SettingFound s = EndpointsOf(d);
        summaries.push_back({d.bInterfaceClass, s.epIn != 0, s.epOut != 0});
        settings.push_back(s);
      }
    }
    libusb_free_config_descriptor(cfg);
    const int chosen = ChooseInterface(summaries, cls);
    if (chosen < 0) continue;
    const SettingFound& s = settings[static_cast<size_t>(chosen)];
    found.configIndex = ci;
    found.iface = s.iface;
    found.alt = s.alt;
    found.epIn = s.epIn;
    found.epOut = s.epOut;
    found.inPacket = s.inPacket;
    return true;
  }
  return false;
}

// Claims the candidate's interface on an open handle, detaching usblp (or any
// other kernel driver) for as long as it is claimed.
bool Claim(libusb_device_handle* h, const Candidate& c) {
  libusb_set_auto_detach_kernel_driver(h, 1);  // not supported everywhere: then claim tells
  if (libusb_claim_interface(h, c.iface) != 0) return false;
  if (c.alt != 0 && libusb_set_interface_alt_setting(h, c.iface, c.alt) != 0) {
    libusb_release_interface(h, c.iface);
    return false;
  }
  return true;
}

class LibusbConnection : public UsbConnection {
 public:
  LibusbConnection(libusb_device_handle* h, const Candidate& c) : h_(h), c_(c) {}
  ~LibusbConnection() override {
    // Releasing the interface attaches the kernel driver again (auto-detach).
    libusb_release_interface(h_, c_.iface);
    libusb_close(h_);
  }

  int bulkWrite(const uint8_t* data, int length, int timeoutMs) override {
    if (aborted_ || length < 0 || (length > 0 && !data)) return -1;
    if (length == 0) return 0;
    std::lock_guard<std::mutex> lock(writeMu_);
    int done = 0;
    const int rc = libusb_bulk_transfer(h_, c_.epOut, const_cast<uint8_t*>(data), length, &done,
                                        static_cast<unsigned>(std::max(1, timeoutMs)));
    if (rc == 0 || done > 0) return done;
    return rc == LIBUSB_ERROR_TIMEOUT ? 0 : -1;
  }

  int bulkRead(uint8_t* buffer, int length, int timeoutMs) override {
    if (aborted_ || length < 0 || (length > 0 && !buffer)) return -1;
    if (length == 0) return 0;
    if (!c_.epIn) return -1;
    std::lock_guard<std::mutex> lock(readMu_);
    if (pending_.empty()) {
      // Whole packets only: a device packet larger than what is left of the
      // transfer would overflow it. What the caller does not take now stays
      // for the next read.
      const int want = std::min(length, kMaxReadChunk);
      const int size = (want + c_.inPacket - 1) / c_.inPacket * c_.inPacket;
      std::vector<uint8_t> chunk(static_cast<size_t>(size));
      int got = 0;
      // A time-out of 0 would make libusb wait for ever: a read that waits
      // for nothing (timeoutMs 0) gets the shortest transfer instead.
      const int rc = libusb_bulk_transfer(h_, c_.epIn, chunk.data(), size, &got,
                                          static_cast<unsigned>(std::max(1, timeoutMs)));
      if (rc != 0 && got <= 0) return rc == LIBUSB_ERROR_TIMEOUT ? 0 : -1;
      pending_.assign(chunk.begin(), chunk.begin() + got);
    }
    const int n = std::min<int>(length, static_cast<int>(pending_.size()));
    std::memcpy(buffer, pending_.data(), static_cast<size_t>(n));
    pending_.erase(pending_.begin(), pending_.begin() + n);
    return n;
  }

  int statusRecord(uint8_t* buffer, int asked) override {
    if (aborted_ || asked <= 0 || !buffer) return -1;
    const int n = std::min(asked, 64);
    const int rc = libusb_control_transfer(h_, kVendorIn, kReqGetStatus, 0, static_cast<uint16_t>(c_.iface),
                                           buffer, static_cast<uint16_t>(n), kControlTimeoutMs);
    return rc < 0 ? -1 : rc;
  }

  bool vendorCommand(int code) override {
    if (aborted_ || code < 0 || code > 0xFF) return false;
    const int rc = libusb_control_transfer(h_, kVendorOut, static_cast<uint8_t>(code), 0,
                                           static_cast<uint16_t>(c_.iface), nullptr, 0, kControlTimeoutMs);
    return rc >= 0;
  }

  int internalId() override {
    if (aborted_) return 0;
    uint8_t b[4] = {};
    const int rc = libusb_control_transfer(h_, kVendorIn, kReqInternalId, 0, static_cast<uint16_t>(c_.iface),
                                           b, sizeof b, kControlTimeoutMs);
    if (rc == 4) return static_cast<int>(b[0] | b[1] << 8 | b[2] << 16 | static_cast<uint32_t>(b[3]) << 24);
    // A printer without the request: vendor and product ID stand for it.
    libusb_device_descriptor dd{};
    if (libusb_get_device_descriptor(c_.dev, &dd) == 0)
      return (dd.idVendor << 16 | dd.idProduct) & 0x7FFFFFFF;
    return 0;
  }

  // A transfer already running ends at its own time-out; nothing new starts.
  void abort() override { aborted_ = true; }

 private:
  libusb_device_handle* h_;
  Candidate c_;  // c_.dev is not referenced here: the handle keeps the device
  std::atomic<bool> aborted_{false};
  std::mutex readMu_, writeMu_;
  std::vector<uint8_t> pending_;
};

}  // namespace

int ChooseInterface(const std::vector<InterfaceSummary>& settings, PortClass cls) {
  for (size_t i = 0; i < settings.size(); ++i) {
    const InterfaceSummary& s = settings[i];
    const bool serves = cls == PortClass::Device ? s.interfaceClass == kVendorClass && s.bulkIn && s.bulkOut
                                                 : s.interfaceClass == kPrinterClass && s.bulkOut;
    if (serves) return static_cast<int>(i);
  }
  return -1;
}

LibusbBackend::LibusbBackend(InitFn init) : init_(init) {}

LibusbBackend::~LibusbBackend() {
  if (ctx_) libusb_exit(ctx_);
}

libusb_context* LibusbBackend::context() {
  std::lock_guard<std::mutex> lock(mu_);
  if (!ctx_) {
    libusb_context* c = nullptr;
    if (init_ && init_(&c) == 0 && c) ctx_ = c;
  }
  return ctx_;
}

bool LibusbBackend::initialised() { return context() != nullptr; }

std::vector<Candidate> LibusbBackend::scan(PortClass cls) {
  std::vector<Candidate> out;
  libusb_context* ctx = context();
  if (!ctx) return out;
  libusb_device** list = nullptr;
  const ssize_t n = libusb_get_device_list(ctx, &list);
  if (n < 0 || !list) return out;
  for (ssize_t i = 0; i < n; ++i) {
    Candidate c;
    if (!FindInterface(list[i], cls, c)) continue;
    c.dev = libusb_ref_device(list[i]);
    c.bus = libusb_get_bus_number(list[i]);
    c.address = libusb_get_device_address(list[i]);
    out.push_back(c);
  }
  libusb_free_device_list(list, 1);
  std::sort(out.begin(), out.end(), [](const Candidate& a, const Candidate& b) {
    return a.bus != b.bus ? a.bus < b.bus : a.address < b.address;
  });
  return out;
}

std::vector<int> LibusbBackend::devicePositions() {
  auto list = scan(PortClass::Device);
  std::vector<int> out;
  for (int i = 0; i < static_cast<int>(list.size()) && i < kMaxPositions; ++i) out.push_back(i);
  UnrefAll(list);
  return out;
}

std::string LibusbBackend::nameOf(const Candidate& c) {
  libusb_device_handle* h = nullptr;
  if (libusb_open(c.dev, &h) != 0 || !h) {
    // Not ours to open (no access): named by its IDs all the same.
    libusb_device_descriptor dd{};
    libusb_get_device_descriptor(c.dev, &dd);
    return PrinterListName({}, {}, dd.idVendor, dd.idProduct);
  }
  std::string name;
  // GET_DEVICE_ID: class request to the interface; wValue is the configuration
  // index, wIndex the interface in the high byte and the setting in the low.
  // The interface is claimed for it, so usblp steps aside for a moment.
  if (Claim(h, c)) {
    uint8_t buf[1024] = {};
    const int rc = libusb_control_transfer(h, kClassIn, 0, static_cast<uint16_t>(c.configIndex),
                                           static_cast<uint16_t>(c.iface << 8 | c.alt), buf, sizeof buf,
                                           kControlTimeoutMs);
    if (rc > 2) name = ModelFromDeviceId(DeviceIdText(buf, static_cast<size_t>(rc)));
    libusb_release_interface(h, c.iface);
  }
  libusb_device_descriptor dd{};
  std::string product;
  if (name.empty() && libusb_get_device_descriptor(c.dev, &dd) == 0 && dd.iProduct != 0) {
    unsigned char text[256] = {};
    const int rc = libusb_get_string_descriptor_ascii(h, dd.iProduct, text, sizeof text - 1);
    if (rc > 0) product.assign(reinterpret_cast<char*>(text), static_cast<size_t>(rc));
  }
  libusb_close(h);
  return PrinterListName(name, product, dd.idVendor, dd.idProduct);
}

std::vector<std::string> LibusbBackend::printerNames() {
  auto list = scan(PortClass::Printer);
  std::vector<std::string> out;
  for (const auto& c : list) out.push_back(nameOf(c));
  UnrefAll(list);
  return out;
}

std::unique_ptr<UsbConnection> LibusbBackend::open(PortClass cls, int index) {
  if (index < 0) return nullptr;
  if (cls == PortClass::Device && index >= kMaxPositions) return nullptr;
  auto list = scan(cls == PortClass::Device ? PortClass::Device : PortClass::Printer);
  std::unique_ptr<UsbConnection> conn;
  if (index < static_cast<int>(list.size())) {
    const Candidate& c = list[static_cast<size_t>(index)];
    libusb_device_handle* h = nullptr;
    if (libusb_open(c.dev, &h) == 0 && h) {
      if (Claim(h, c)) {
        Candidate kept = c;
        kept.dev = libusb_get_device(h);
        conn = std::make_unique<LibusbConnection>(h, kept);
      } else {
        libusb_close(h);
      }
    }
  }
  UnrefAll(list);
  return conn;
}

}  // namespace torva::usb
