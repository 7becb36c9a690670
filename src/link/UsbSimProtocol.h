// Wire protocol between the USB libraries' simulator backend and the
// simulated printer's USB socket (TORVA_USB_SIM=<path of a Unix socket>).
//
// SOCK_STREAM, one request and one response at a time, little-endian:
//
//   request:  'T' 'U' op kind | int32 a | int32 b | uint32 n | n data bytes
//   response: int32 result | uint32 n | n data bytes
//
// A connection that has not opened a port may enumerate; a successful Open
// turns the connection into that port until it is closed (the socket closed or
// Close sent). One connection is one session of the simulated printer.
//
//   Enumerate kind          result = count. Device: data = one byte per device,
//                           its position 0..7, in bus order. Printer: data =
//                           count IEEE 1284 device IDs, each as the printer
//                           class's GET_DEVICE_ID answers it (2-byte big-endian
//                           length that counts itself, then the text), then
//                           for each printer its vendor and product IDs
//                           (uint16 each).
//   Open kind, a            a = device position (Device) or list index
//                           (Printer, CustomPrinter). result 0, or -1 when
//                           nothing is there or it cannot be opened.
//   Write data              result = bytes taken.
//   Read a, b               at most a bytes, waiting at most b ms for the first
//                           one; result = count (0: nothing came), data = bytes.
//                           b = 0 waits for nothing: only what the printer has
//                           already sent is answered, at once.
//   Status a                the current status record, at most a bytes;
//                           result = count (0: the printer gave no answer
//                           within kStatusRequestTimeoutMs).
//   Vendor a                vendor request a (0xC0 reset, 0xC1 clear error);
//                           result 1 when taken, 0 otherwise.
//   DeviceId                result = length, data = the open printer's ID as
//                           in Enumerate.
//   InternalId              result = the device's internal printer ID.
//   Close                   result 0; the port is closed.
// Any failure of the request itself answers result -1 with no data.
#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "link/Clock.h"

namespace torva::usbsim {

enum class Op : uint8_t {
  Enumerate = 1,
  Open = 2,
  Write = 3,
  Read = 4,
  Status = 5,
  Vendor = 6,
  DeviceId = 7,
  InternalId = 8,
  Close = 9,
};

enum class Kind : uint8_t {
  Device = 0,         // the USB device library's vendor device
  Printer = 1,        // a printer-class printer
  CustomPrinter = 2,  // the VD-K773 custom-mode connection
};

// Largest data part either side accepts in one message.
constexpr uint32_t kMaxData = 1u << 20;
constexpr size_t kRequestHeader = 16;
constexpr size_t kResponseHeader = 8;
// A status request is a control transfer: the device library gives each
// one this long (as its libusb backend does), and the printer's answer is
// no answer when it comes later.
constexpr int kStatusRequestTimeoutMs = 1000;

// The class byte that starts every reply of the simulated VD-K773 in its custom
// mode with class mode 1.
constexpr uint8_t kK773ClassByte = 0xA5;
// The vendor ID of the simulated printers; the product ID is kSimProductBase
// plus the printer's place in the list.
constexpr uint16_t kSimVendorId = 0xF0A7;
constexpr uint16_t kSimProductBase = 0x0100;

struct Request {
  Op op = Op::Close;
  Kind kind = Kind::Device;
  int32_t a = 0;
  int32_t b = 0;
  std::vector<uint8_t> data;
};

inline void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}
inline uint32_t GetU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

// Writes all n bytes; false on any error (MSG_NOSIGNAL: a closed peer is an
// error, not a signal).
inline bool SendAll(int fd, const uint8_t* p, size_t n) {
  while (n > 0) {
    const ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Reads exactly n bytes before the deadline (TickMs; 0 = no deadline); false
// on error, end of stream or time-out.
inline bool RecvAll(int fd, uint8_t* p, size_t n, uint64_t deadline) {
  while (n > 0) {
    int wait = -1;
    if (deadline != 0) {
      const uint64_t now = torva::TickMs();
      if (now >= deadline) return false;
      wait = static_cast<int>(deadline - now);
    }
    pollfd pfd{fd, POLLIN, 0};
    const int pr = ::poll(&pfd, 1, wait);
    if (pr < 0 && errno == EINTR) continue;
    if (pr <= 0) return false;
    const ssize_t r = ::recv(fd, p, n, 0);
    if (r < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// One request, its header and `n` data bytes sent in one message without
// copying the data (a download writes every block through here).
inline bool SendRequestParts(int fd, Op op, Kind kind, int32_t a, int32_t b, const uint8_t* data, size_t n) {
  if (n > kMaxData || (n > 0 && !data)) return false;
  uint8_t h[kRequestHeader];
  h[0] = 'T';
  h[1] = 'U';
  h[2] = static_cast<uint8_t>(op);
  h[3] = static_cast<uint8_t>(kind);
  PutU32(&h[4], static_cast<uint32_t>(a));
  PutU32(&h[8], static_cast<uint32_t>(b));
  PutU32(&h[12], static_cast<uint32_t>(n));
  iovec iov[2] = {{h, sizeof h}, {const_cast<uint8_t*>(data), n}};
  msghdr m{};
  m.msg_iov = iov;
  m.msg_iovlen = n > 0 ? 2 : 1;
  ssize_t w;
  do {
    w = ::sendmsg(fd, &m, MSG_NOSIGNAL);
  } while (w < 0 && errno == EINTR);
  if (w < 0) return false;
  // What the socket did not take at once goes after it.
  size_t sent = static_cast<size_t>(w);
  if (sent < sizeof h) {
    if (!SendAll(fd, h + sent, sizeof h - sent)) return false;
    sent = sizeof h;
  }
  const size_t dataSent = sent - sizeof h;
  return dataSent >= n || SendAll(fd, data + dataSent, n - dataSent);
}

inline bool SendRequest(int fd, const Request& rq) {
  return SendRequestParts(fd, rq.op, rq.kind, rq.a, rq.b, rq.data.data(), rq.data.size());
}

inline bool RecvRequest(int fd, Request& rq, uint64_t deadline = 0) {
  uint8_t h[kRequestHeader];
  if (!RecvAll(fd, h, sizeof h, deadline)) return false;
  if (h[0] != 'T' || h[1] != 'U') return false;
  rq.op = static_cast<Op>(h[2]);
  rq.kind = static_cast<Kind>(h[3]);
  rq.a = static_cast<int32_t>(GetU32(&h[4]));
  rq.b = static_cast<int32_t>(GetU32(&h[8]));
  const uint32_t n = GetU32(&h[12]);
  if (n > kMaxData) return false;
  rq.data.assign(n, 0);
  return n == 0 || RecvAll(fd, rq.data.data(), n, deadline);
}

inline bool SendResponse(int fd, int32_t result, const uint8_t* data = nullptr, size_t n = 0) {
  if (n > kMaxData) return false;
  std::vector<uint8_t> msg(kResponseHeader + n);
  PutU32(&msg[0], static_cast<uint32_t>(result));
  PutU32(&msg[4], static_cast<uint32_t>(n));
  if (n) std::memcpy(&msg[kResponseHeader], data, n);
  return SendAll(fd, msg.data(), msg.size());
}

// A response, its header and its data, each read whole by `recvExactly(p,
// n)` (true once all n bytes are in p).
template <typename RecvExactly>
bool RecvResponseWith(RecvExactly recvExactly, int32_t& result, std::vector<uint8_t>& data) {
  uint8_t h[kResponseHeader];
  if (!recvExactly(h, sizeof h)) return false;
  result = static_cast<int32_t>(GetU32(&h[0]));
  const uint32_t n = GetU32(&h[4]);
  if (n > kMaxData) return false;
  data.assign(n, 0);
  return n == 0 || recvExactly(data.data(), n);
}

inline bool RecvResponse(int fd, int32_t& result, std::vector<uint8_t>& data, uint64_t deadline) {
  return RecvResponseWith([&](uint8_t* p, size_t n) { return RecvAll(fd, p, n, deadline); }, result, data);
}

// One IEEE 1284 device ID as GET_DEVICE_ID answers it: a 2-byte big-endian
// length that counts itself, then the text.
inline std::vector<uint8_t> EncodeDeviceId(const std::string& text) {
  const size_t n = std::min<size_t>(text.size(), 0xFFFF - 2);
  std::vector<uint8_t> out(2 + n);
  out[0] = static_cast<uint8_t>((n + 2) >> 8);
  out[1] = static_cast<uint8_t>(n + 2);
  std::memcpy(out.data() + 2, text.data(), n);
  return out;
}

}  // namespace torva::usbsim
