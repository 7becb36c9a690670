#include "link/NetLib.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "link/Clock.h"

namespace NetLib {
namespace {

constexpr int kDefaultConnectSec = 3;
constexpr int kDefaultTransferSec = 5;
constexpr int kSearchMs = 2000;

int EnvPort(const char* name, int fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (*end != '\0' || value <= 0 || value > 65535) return fallback;
  return static_cast<int>(value);
}

uint64_t Deadline(int timeoutSec, int fallbackSec) {
  const int sec = timeoutSec > 0 ? timeoutSec : fallbackSec;
  return torva::TickMs() + static_cast<uint64_t>(sec) * 1000u;
}

// Waits until `fd` reports one of `events` or the deadline passes.
// 1: ready (or an error condition the next call will report), 0: time-out,
// -1: poll failed.
int WaitFor(int fd, short events, uint64_t deadline) {
  for (;;) {
    const uint64_t now = torva::TickMs();
    if (now >= deadline) return 0;
    const uint64_t left = deadline - now;
    pollfd p{fd, events, 0};
    const int r = ::poll(&p, 1, static_cast<int>(std::min<uint64_t>(left, 60000)));
    if (r > 0) return 1;
    if (r < 0 && errno != EINTR) return -1;
  }
}

bool MakeAddress(const char* address, int port, sockaddr_in& out) {
  if (!address || port <= 0 || port > 65535) return false;
  std::memset(&out, 0, sizeof out);
  out.sin_family = AF_INET;
  out.sin_port = htons(static_cast<uint16_t>(port));
  return ::inet_pton(AF_INET, address, &out.sin_addr) == 1;
}

}  // namespace

int DataPort() { return EnvPort("TORVA_NET_PORT", 9100); }
int NamePort() { return EnvPort("TORVA_NAME_PORT", 3000); }

int OpenPort(const char* address, int port, int timeoutSec) {
  sockaddr_in to{};
  if (!MakeAddress(address, port, to)) return -1;
  const uint64_t deadline = Deadline(timeoutSec, kDefaultConnectSec);
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      ::close(fd);
      return -1;
    }
    if (WaitFor(fd, POLLOUT, deadline) != 1) {
      ::close(fd);
      return -1;
    }
    int err = 0;
    socklen_t len = sizeof err;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0 || err != 0) {
      ::close(fd);
      return -1;
    }
  }
  return fd;
}

int WritePort(int handle, const uint8_t* data, int length, int timeoutSec) {
  if (handle <= 0 || length < 0 || (length > 0 && !data)) return -1;
  // The deadline is taken when the socket first has no room: a write that
  // the socket takes at once (a download's every block, mostly) reads no
  // clock.
  uint64_t deadline = 0;
  int sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(handle, data + sent, static_cast<size_t>(length - sent), MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (deadline == 0) deadline = Deadline(timeoutSec, kDefaultTransferSec);
    if (WaitFor(handle, POLLOUT, deadline) != 1) return -1;
  }
  return sent;
}

int ReadPort(int handle, uint8_t* buffer, int length, int timeoutSec) {
  if (handle <= 0 || length < 0 || (length > 0 && !buffer)) return -1;
  const uint64_t deadline = Deadline(timeoutSec, kDefaultTransferSec);
  int got = 0;
  while (got < length) {
    const ssize_t n = ::recv(handle, buffer + got, static_cast<size_t>(length - got), 0);
    if (n > 0) {
      got += static_cast<int>(n);
      continue;
    }
    if (n == 0) return -1;  // the printer closed the connection first
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (WaitFor(handle, POLLIN, deadline) != 1) return -1;
  }
  return got;
}

void ClosePort(int handle) {
  if (handle > 0) ::close(handle);
}

int CreatSocket(int family, int kind) {
  if (family != AF_INET || kind != 0) return -1;
  return ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
}

int SendComm(int sock, const char* address, int port, const uint8_t* data, int length, int timeoutSec) {
  sockaddr_in to{};
  if (sock <= 0 || length < 0 || (length > 0 && !data) || !MakeAddress(address, port, to)) return -1;
  // Connected to the printer, the socket takes replies from it alone and
  // learns at once when nothing listens there (ECONNREFUSED on receive).
  if (::connect(sock, reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0) return -1;
  const uint64_t deadline = Deadline(timeoutSec, kDefaultTransferSec);
  for (;;) {
    const ssize_t n = ::send(sock, data, static_cast<size_t>(length), MSG_NOSIGNAL);
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (WaitFor(sock, POLLOUT, deadline) != 1) return -1;
  }
}

int RecievComm(int sock, const char* address, int port, uint8_t* buffer, int capacity, int timeoutSec) {
  sockaddr_in want{};
  if (sock <= 0 || capacity < 0 || (capacity > 0 && !buffer) || !MakeAddress(address, port, want)) return -1;
  const uint64_t deadline = Deadline(timeoutSec, kDefaultTransferSec);
  for (;;) {
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = ::recvfrom(sock, buffer, static_cast<size_t>(capacity), 0,
                                 reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n >= 0) {
      if (from.sin_family == AF_INET && from.sin_addr.s_addr == want.sin_addr.s_addr &&
          from.sin_port == want.sin_port) {
        return static_cast<int>(n);
      }
      continue;  // not the printer we asked
    }
    if (errno == EINTR) continue;
    // A refused earlier datagram shows up here as ECONNREFUSED: nobody
    // listens at the printer's name port.
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    if (WaitFor(sock, POLLIN, deadline) != 1) return -1;
  }
}

void CloseSocket(int sock) {
  if (sock > 0) ::close(sock);
}

int NetGetPrinterIP(char* buffer, int capacity) {
  if (!buffer || capacity <= 0) return -1;
  buffer[0] = '\0';
  const int sock = CreatSocket(AF_INET, 0);
  if (sock < 0) return -1;

  const char* target = std::getenv("TORVA_NET_SEARCH");
  std::string address = (target && *target) ? target : "255.255.255.255";
  if (address == "255.255.255.255") {
    const int one = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
  }
  sockaddr_in to{};
  if (!MakeAddress(address.c_str(), NamePort(), to)) {
    CloseSocket(sock);
    return -1;
  }
  // Sent unconnected: the answers come from every printer's own address.
  static const uint8_t query[2] = {'B', 'G'};
  if (WaitFor(sock, POLLOUT, torva::TickMs() + 1000) != 1 ||
      ::sendto(sock, query, sizeof query, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to) !=
          2) {
    CloseSocket(sock);
    return -1;
  }

  std::vector<std::string> found;
  const uint64_t deadline = torva::TickMs() + kSearchMs;
  uint8_t reply[2048];
  for (;;) {
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n = ::recvfrom(sock, reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n >= 0) {
      char text[INET_ADDRSTRLEN] = {};
      if (from.sin_family == AF_INET && from.sin_port == to.sin_port &&
          ::inet_ntop(AF_INET, &from.sin_addr, text, sizeof text) &&
          std::find(found.begin(), found.end(), text) == found.end()) {
        found.emplace_back(text);
      }
      continue;
    }
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) break;
    if (WaitFor(sock, POLLIN, deadline) != 1) break;
  }
  CloseSocket(sock);

  int count = 0;
  size_t used = 0;
  for (const std::string& a : found) {
    const size_t need = a.size() + 1;  // the address and its "@"
    if (used + need > static_cast<size_t>(capacity) - 1) break;
    std::memcpy(buffer + used, a.data(), a.size());
    buffer[used + a.size()] = '@';
    used += need;
    ++count;
  }
  buffer[used] = '\0';
  return count;
}

}  // namespace NetLib
