#include "link/UsbSimClient.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "link/Clock.h"
#include "link/UsbSimProtocol.h"

namespace torva::usb {
namespace {

using usbsim::Kind;
using usbsim::Op;
using usbsim::Request;

// How long a request may take beyond its own time-out before the simulator
// counts as gone.
constexpr int kReplySlackMs = 3000;

int Connect(const std::string& path) {
  sockaddr_un addr{};
  if (path.empty() || path.size() >= sizeof addr.sun_path) return -1;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// One request and its response; false when the exchange itself failed.
bool Exchange(int fd, const Request& rq, int32_t& result, std::vector<uint8_t>& data, int waitMs) {
  if (!usbsim::SendRequest(fd, rq)) return false;
  return usbsim::RecvResponse(fd, result, data,
                              torva::TickMs() + static_cast<uint64_t>(std::max(0, waitMs)) + kReplySlackMs);
}

Kind KindOf(PortClass cls) {
  switch (cls) {
    case PortClass::Device:
      return Kind::Device;
    case PortClass::Printer:
      return Kind::Printer;
    case PortClass::CustomPrinter:
      return Kind::CustomPrinter;
  }
  return Kind::Device;
}

class SimConnection : public UsbConnection {
 public:
  explicit SimConnection(int fd) : fd_(fd) {}
  ~SimConnection() override {
    {
      std::lock_guard<std::mutex> lock(mu_);
      if (!aborted_) {
        Request rq;
        rq.op = Op::Close;
        int32_t r = 0;
        std::vector<uint8_t> d;
        Exchange(fd_, rq, r, d, 0);
      }
    }
    ::close(fd_);
  }

  int bulkWrite(const uint8_t* data, int length, int timeoutMs) override {
    if (length < 0 || (length > 0 && !data)) return -1;
    if (length == 0) return 0;
    if (static_cast<uint32_t>(length) > usbsim::kMaxData) length = static_cast<int>(usbsim::kMaxData);
    // The caller's bytes go out as they are, without a copy. The answer
    // carries no data; whatever it does carry lands in a buffer kept for the
    // next write (a download makes one write a block).
    int32_t r = -1;
    if (!exchange(
            [&] {
              return usbsim::SendRequestParts(fd_, Op::Write, Kind::Device, 0, 0, data, static_cast<size_t>(length));
            },
            r, writeReply_, timeoutMs))
      return -1;
    return std::min<int32_t>(r, length);
  }

  int bulkRead(uint8_t* buffer, int length, int timeoutMs) override {
    if (length < 0 || (length > 0 && !buffer)) return -1;
    if (length == 0) return 0;
    Request rq;
    rq.op = Op::Read;
    rq.a = std::min<int>(length, static_cast<int>(usbsim::kMaxData));
    rq.b = std::max(0, timeoutMs);
    int32_t r = -1;
    std::vector<uint8_t> d;
    if (!call(rq, r, d, rq.b)) return -1;
    if (r < 0) return -1;
    // Never more than the caller asked for, whatever the other side says.
    const int n = std::min<int>({r, length, static_cast<int>(d.size())});
    if (n > 0) std::memcpy(buffer, d.data(), static_cast<size_t>(n));
    return n;
  }

  int statusRecord(uint8_t* buffer, int asked) override {
    if (asked <= 0 || !buffer) return -1;
    Request rq;
    rq.op = Op::Status;
    rq.a = asked;
    int32_t r = -1;
    std::vector<uint8_t> d;
    if (!call(rq, r, d, usbsim::kStatusRequestTimeoutMs) || r < 0) return -1;
    const int n = std::min<int>({r, asked, static_cast<int>(d.size())});
    if (n > 0) std::memcpy(buffer, d.data(), static_cast<size_t>(n));
    return n;
  }

  bool vendorCommand(int code) override {
    if (code < 0 || code > 0xFF) return false;
    Request rq;
    rq.op = Op::Vendor;
    rq.a = code;
    int32_t r = 0;
    std::vector<uint8_t> d;
    return call(rq, r, d, 0) && r > 0;
  }

  int internalId() override {
    Request rq;
    rq.op = Op::InternalId;
    int32_t r = 0;
    std::vector<uint8_t> d;
    return call(rq, r, d, 0) ? r : 0;
  }

  void abort() override {
    aborted_ = true;
    ::shutdown(fd_, SHUT_RDWR);  // wakes a call that waits for its answer
  }

 private:
  bool call(const Request& rq, int32_t& r, std::vector<uint8_t>& d, int waitMs) {
    return exchange([&] { return usbsim::SendRequest(fd_, rq); }, r, d, waitMs);
  }
  // One request sent by `send`, then its response, one exchange at a time.
  template <typename Send>
  bool exchange(Send send, int32_t& r, std::vector<uint8_t>& d, int waitMs) {
    if (aborted_) return false;
    std::lock_guard<std::mutex> lock(mu_);
    if (aborted_) return false;
    if (send() && receive(r, d, std::max(0, waitMs) + kReplySlackMs)) return true;
    // A lost exchange leaves the stream out of step: the port is dead.
    aborted_ = true;
    ::shutdown(fd_, SHUT_RDWR);
    return false;
  }

  // The response, waited for in recv() itself (the socket's receive
  // time-out) rather than in poll() first: one system call a reply, which a
  // download pays for every block of 1024 bytes.
  bool receive(int32_t& r, std::vector<uint8_t>& d, int waitMs) {
    const uint64_t deadline = torva::TickMs() + static_cast<uint64_t>(waitMs);
    if (waitMs != recvTimeoutMs_ && !setRecvTimeout(waitMs)) return false;
    // The first recv() waits at most the time-out just set, the whole wait,
    // so it needs no look at the clock (a download's blocks mostly end
    // there); each later piece does.
    bool first = true;
    return usbsim::RecvResponseWith([&](uint8_t* p, size_t n) { return recvWithin(p, n, deadline, first); },
                                    r, d);
  }
  bool recvWithin(uint8_t* p, size_t n, uint64_t deadline, bool& first) {
    while (n > 0) {
      // Each recv() may wait its whole time-out: once what is left of the
      // deadline is clearly shorter, the time-out is cut to it, so a reply
      // that comes in pieces never waits much beyond the deadline.
      if (!first) {
        const uint64_t now = torva::TickMs();
        if (now >= deadline) return false;
        const int left = static_cast<int>(std::min<uint64_t>(deadline - now, 1u << 30));
        if (left + kTimeoutSlackMs < recvTimeoutMs_ && !setRecvTimeout(left)) return false;
      }
      first = false;
      const ssize_t got = ::recv(fd_, p, n, 0);
      if (got > 0) {
        p += got;
        n -= static_cast<size_t>(got);
        continue;
      }
      if (got == 0) return false;  // the other side has gone
      if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
      return false;
    }
    return true;
  }
  bool setRecvTimeout(int ms) {
    // A zero time-out would mean wait for ever.
    ms = std::max(ms, 1);
    timeval tv{ms / 1000, static_cast<suseconds_t>(ms % 1000) * 1000};
    if (::setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return false;
    recvTimeoutMs_ = ms;
    return true;
  }

  // How far the time-out may run past the deadline before it is cut.
  static constexpr int kTimeoutSlackMs = 50;
  int fd_;
  int recvTimeoutMs_ = -1;
  std::vector<uint8_t> writeReply_;  // under mu_
  std::mutex mu_;
  std::atomic<bool> aborted_{false};
};

}  // namespace

namespace {
// One enumeration on a connection of its own: the count the simulator
// answers (0 when it cannot be reached or answers nothing) and its data.
int Enumerate(const std::string& path, Kind kind, std::vector<uint8_t>& data) {
  data.clear();
  const int fd = Connect(path);
  if (fd < 0) return 0;
  Request rq;
  rq.op = Op::Enumerate;
  rq.kind = kind;
  int32_t r = -1;
  const bool ok = Exchange(fd, rq, r, data, 0);
  ::close(fd);
  return ok && r > 0 ? r : 0;
}
}  // namespace

std::vector<int> SimBackend::devicePositions() {
  std::vector<int> out;
  std::vector<uint8_t> d;
  const int r = Enumerate(path_, Kind::Device, d);
  for (int i = 0; i < r && i < static_cast<int>(d.size()); ++i)
    if (d[static_cast<size_t>(i)] < 8) out.push_back(d[static_cast<size_t>(i)]);
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::vector<std::string> SimBackend::printerNames() {
  std::vector<std::string> out;
  std::vector<uint8_t> d;
  const int r = Enumerate(path_, Kind::Printer, d);
  size_t pos = 0;
  std::vector<std::string> models;
  for (int i = 0; i < r && pos + 2 <= d.size(); ++i) {
    size_t len = static_cast<size_t>(d[pos]) << 8 | d[pos + 1];
    if (len < 2) len = 2;
    len = std::min(len, d.size() - pos);
    models.push_back(ModelFromDeviceId(DeviceIdText(d.data() + pos, len)));
    pos += len;
  }
  // Then each printer's vendor and product IDs, which name a printer whose
  // device ID has no model (the simulated printers have no product string).
  for (size_t i = 0; i < models.size(); ++i) {
    uint16_t ids[2] = {0, 0};
    for (uint16_t& v : ids) {
      if (pos + 2 <= d.size()) v = static_cast<uint16_t>(d[pos] | d[pos + 1] << 8);
      pos += 2;
    }
    out.push_back(PrinterListName(models[i], {}, ids[0], ids[1]));
  }
  return out;
}

std::unique_ptr<UsbConnection> SimBackend::open(PortClass cls, int index) {
  if (index < 0) return nullptr;
  const int fd = Connect(path_);
  if (fd < 0) return nullptr;
  Request rq;
  rq.op = Op::Open;
  rq.kind = KindOf(cls);
  rq.a = index;
  int32_t r = -1;
  std::vector<uint8_t> d;
  if (!Exchange(fd, rq, r, d, 0) || r != 0) {
    ::close(fd);
    return nullptr;
  }
  return std::make_unique<SimConnection>(fd);
}

}  // namespace torva::usb
