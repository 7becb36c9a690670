// TCP endpoint on 127.0.0.1: the Ethernet printer's raw port, also the
// target of a CUPS queue's socket:// device. Every accepted connection is a
// session with status records in band; a connection that sends its bytes
// and closes is the normal case for a print job.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>

#include "sim/EndpointIo.h"
#include "sim/SimInternal.h"

namespace torva::sim {

namespace {

class TcpEndpoint : public Endpoint {
 public:
  explicit TcpEndpoint(SimPrinter& printer) : printer_(printer) {}
  ~TcpEndpoint() override { stop(); }

  int start(int port) {
    if (!wake_.open()) return -1;
    listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0) return -1;
    int one = 1;
    setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof a;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(listener_, SOMAXCONN) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
      close(listener_);
      listener_ = -1;
      return -1;
    }
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { run(); });
    return port_;
  }

  void stop() override {
    if (thread_.joinable()) {
      quit_ = true;
      wake_.signal();
      thread_.join();
    }
    for (auto& c : conns_) drop(c);
    conns_.clear();
    if (listener_ >= 0) close(listener_);
    listener_ = -1;
    wake_.close();
  }

 private:
  struct Conn {
    int fd = -1;
    std::shared_ptr<Session> session;
  };

  void drop(Conn& c) {
    if (c.session) printer_.closeSession(c.session);
    c.session.reset();
    if (c.fd >= 0) close(c.fd);
    c.fd = -1;
  }

  // Accepts every connection waiting on the listener, so a burst of hosts
  // (a CUPS queue and a console at once, a test's clients) is served in one
  // poll round rather than one connection a round.
  void acceptPending() {
    for (;;) {
      int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED) continue;
        // Out of descriptors or memory: the connection stays queued and the
        // listener stays readable, so polling it again at once would spin.
        // It is left alone for a while; a connection closing meanwhile
        // frees a descriptor for the next try.
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
          acceptAgainAt_ = std::chrono::steady_clock::now() + kAcceptBackoff;
        return;  // EAGAIN: none left; other errors: try again next round
      }
      int one = 1;
      setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
      Conn c;
      c.fd = fd;
      c.session = printer_.openSession(
          "tcp", [fd](const Bytes& b) { WriteAll(fd, b.data(), b.size(), 1000); }, true);
      c.session->setHangupHandler([this] { wake_.signal(); });
      conns_.push_back(std::move(c));
    }
  }

  void run() {
    uint8_t buf[4096];
    std::vector<pollfd> fds;
    while (!quit_) {
      fds.clear();
      fds.push_back({wake_.readFd(), POLLIN, 0});
      int timeoutMs = -1;
      short listen = POLLIN;
      if (acceptAgainAt_) {
        const auto left = *acceptAgainAt_ - std::chrono::steady_clock::now();
        if (left > std::chrono::steady_clock::duration::zero()) {
          listen = 0;
          timeoutMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
        } else {
          acceptAgainAt_.reset();
        }
      }
      fds.push_back({listener_, listen, 0});
      for (auto& c : conns_) fds.push_back({c.fd, POLLIN, 0});
      int r = poll(fds.data(), fds.size(), timeoutMs);
      if (r < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[0].revents) wake_.drain();
      if (quit_) break;
      // Connections polled this round are the first fds.size() - 2 of conns_.
      for (size_t i = 0; i + 2 < fds.size(); ++i) {
        Conn& c = conns_[i];
        short ev = fds[i + 2].revents;
        if (c.fd < 0 || !ev) continue;
        ssize_t n = read(c.fd, buf, sizeof buf);
        if (n > 0) {
          c.session->hostBytes(buf, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          drop(c);  // the host closed (or reset) the connection
        }
      }
      for (auto& c : conns_)
        if (c.fd >= 0 && c.session->hungUp()) drop(c);
      std::erase_if(conns_, [](const Conn& c) { return c.fd < 0; });
      if (fds[1].revents & POLLIN) acceptPending();
    }
  }

  SimPrinter& printer_;
  int listener_ = -1;
  int port_ = -1;
  WakePipe wake_;
  std::vector<Conn> conns_;  // only the endpoint thread touches it while running
  // After accept ran out of descriptors: the listener is not polled before this.
  static constexpr auto kAcceptBackoff = std::chrono::milliseconds(100);
  std::optional<std::chrono::steady_clock::time_point> acceptAgainAt_;
  std::thread thread_;
  std::atomic<bool> quit_{false};
};

}  // namespace

int SimPrinter::startTcp(int port) {
  std::lock_guard<std::mutex> lock(impl_->endpointMu);
  if (impl_->tcpPort > 0) return impl_->tcpPort;
  auto ep = std::make_unique<TcpEndpoint>(*this);
  int bound = ep->start(port);
  if (bound <= 0) return -1;
  impl_->tcpPort = bound;
  impl_->endpoints.push_back(std::move(ep));
  return bound;
}

}  // namespace torva::sim
