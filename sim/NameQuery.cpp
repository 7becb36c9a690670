// The name query endpoint: a datagram socket on 127.0.0.1 that answers the
// two bytes "BG" with the printer's name, as an Ethernet printer answers on
// port 3000.
//
// Ethernet layout: the name text alone. Wi-Fi layout (setWifiReply(true)):
// "ID:" first, then ";"-separated fields, the name in the DEVICENAME field
// after one ":" separator, followed by further fields.
//
// Every query is logged on channel "udp" as "NameQuery"; the printer's fault
// and reply delay apply to the answer as to any other (a hang-up, having no
// connection to drop, swallows the answer). Queries are not part of
// receivedBytes(), which holds the data streams.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "sim/SimInternal.h"
#include "sim/SimPrinter.h"

namespace torva::sim {
namespace {

struct NameQueryState {
  int sock = -1;
  int wake = -1;
  std::thread thread;
  std::atomic<bool> stopped{false};

  ~NameQueryState() { stop(); }

  void stop() {
    if (stopped.exchange(true)) return;
    if (wake >= 0) {
      const uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);
    }
    if (thread.joinable()) thread.join();
    if (sock >= 0) ::close(sock);
    if (wake >= 0) ::close(wake);
    sock = wake = -1;
  }
};

std::string ReplyText(const std::string& name, bool wifi) {
  if (!wifi) return name;
  return "ID:0001;MODE:STA;DEVICENAME:" + name + ";IP:127.0.0.1;MAC:00-1A-2B-3C-4D-5E;";
}

// Waits ms, or less when the endpoint is being stopped. False when stopped.
bool Pause(const NameQueryState& state, int ms) {
  if (ms <= 0) return true;
  pollfd p{state.wake, POLLIN, 0};
  return ::poll(&p, 1, ms) == 0;
}

void Serve(SimPrinter& printer, SimPrinter::Impl& impl, NameQueryState& state) {
  for (;;) {
    pollfd fds[2] = {{state.sock, POLLIN, 0}, {state.wake, POLLIN, 0}};
    const int r = ::poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      return;
    }
    if (fds[1].revents) return;
    if (!(fds[0].revents & POLLIN)) continue;
    uint8_t query[64];
    sockaddr_in from{};
    socklen_t fromLen = sizeof from;
    const ssize_t n =
        ::recvfrom(state.sock, query, sizeof query, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n <= 0) continue;
    const Bytes frame(query, query + n);
    const bool isQuery = n == 2 && query[0] == 'B' && query[1] == 'G';
    const std::string name = printer.printerName();
    const bool wifi = printer.wifiReply();
    Outgoing out;
    {
      std::lock_guard<std::mutex> lock(impl.mu);
      impl.addLog("udp", isQuery ? "NameQuery" : "Data", frame);
      if (!isQuery) continue;
      const std::string text = ReplyText(name, wifi);
      out = impl.decide(Reply{Bytes(text.begin(), text.end()), -1});
    }
    if (out.fault == Fault::NoReply || out.fault == Fault::Hangup) continue;
    if (!Pause(state, out.waitMs)) return;
    if (out.fault == Fault::ShortReply && out.bytes.size() > 1) out.bytes.resize(1);
    if (out.fault == Fault::Garbage) {
      for (auto& b : out.bytes) b = static_cast<uint8_t>(~b);
    }
    ::sendto(state.sock, out.bytes.data(), out.bytes.size(), MSG_NOSIGNAL,
             reinterpret_cast<const sockaddr*>(&from), fromLen);
  }
}

}  // namespace

int SimPrinter::startNameQuery(int port) {
  if (port < 0 || port > 65535) return -1;
  auto state = std::make_shared<NameQueryState>();
  state->sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  state->wake = ::eventfd(0, EFD_CLOEXEC);
  if (state->sock < 0 || state->wake < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(state->sock, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(state->sock, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return -1;
  }
  const int bound = ntohs(addr.sin_port);
  state->thread = std::thread([this, impl = impl_.get(), raw = state.get()] { Serve(*this, *impl, *raw); });
  addEndpoint(state, [state] { state->stop(); });
  return bound;
}

}  // namespace torva::sim
