// Serial endpoint: a pseudo-terminal whose slave side is the host's port.
//
// The simulator keeps its own descriptor of the slave open for the whole
// life of the pseudo-terminal, so the host may close and reopen the port as
// a real serial port allows, without the pair hanging up. A pseudo-terminal
// has no real line: baud rate, data bits and parity are not enforced, and the
// printer follows its data-bits switch only logically.
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "sim/EndpointIo.h"
#include "sim/SimInternal.h"

namespace torva::sim {

namespace {

bool MakeRaw(int fd) {
  termios t{};
  if (tcgetattr(fd, &t) != 0) return false;
  cfmakeraw(&t);
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;
  return tcsetattr(fd, TCSANOW, &t) == 0;
}

struct Pty {
  int master = -1;
  int slave = -1;
  std::string path;
};

bool OpenPty(Pty& p) {
  int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (m < 0) return false;
  char name[PATH_MAX];
  if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, name, sizeof name) != 0) {
    close(m);
    return false;
  }
  int s = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (s < 0) {
    close(m);
    return false;
  }
  MakeRaw(s);
  MakeRaw(m);
  int fl = fcntl(m, F_GETFL);
  fcntl(m, F_SETFL, fl | O_NONBLOCK);
  p.master = m;
  p.slave = s;
  p.path = name;
  return true;
}

void ClosePty(Pty& p) {
  if (p.master >= 0) close(p.master);
  if (p.slave >= 0) close(p.slave);
  p = Pty{};
}

// Points linkPath at target, replacing an old symbolic link there; a file
// that is not a symbolic link is left alone and the call fails.
bool PublishLink(const std::string& linkPath, const std::string& target) {
  struct stat st {};
  if (lstat(linkPath.c_str(), &st) == 0 && !S_ISLNK(st.st_mode)) return false;
  std::string tmp = linkPath + ".new" + std::to_string(getpid());
  unlink(tmp.c_str());
  if (symlink(target.c_str(), tmp.c_str()) != 0) return false;
  if (rename(tmp.c_str(), linkPath.c_str()) != 0) {
    unlink(tmp.c_str());
    return false;
  }
  return true;
}

class SerialEndpoint : public Endpoint {
 public:
  SerialEndpoint(SimPrinter& printer, SimPrinter::Impl& impl, std::string link)
      : printer_(printer), impl_(impl), link_(std::move(link)) {}
  ~SerialEndpoint() override { stop(); }

  bool start() {
    if (!wake_.open()) return false;
    if (!OpenPty(pty_)) return false;
    if (!link_.empty() && !PublishLink(link_, pty_.path)) {
      ClosePty(pty_);
      return false;
    }
    session_ = openSessionOn(pty_.master);
    setPath(pty_.path);
    thread_ = std::thread([this] { run(); });
    return true;
  }

  void stop() override {
    if (thread_.joinable()) {
      quit_ = true;
      wake_.signal();
      thread_.join();
    }
    if (session_) printer_.closeSession(session_);
    session_.reset();
    if (!link_.empty() && !pty_.path.empty()) {
      char buf[PATH_MAX];
      ssize_t n = readlink(link_.c_str(), buf, sizeof buf - 1);
      if (n > 0 && std::string(buf, n) == pty_.path) unlink(link_.c_str());
    }
    ClosePty(pty_);
    wake_.close();
  }

 private:
  std::shared_ptr<Session> openSessionOn(int master) {
    auto s = printer_.openSession(
        "serial", [master](const Bytes& b) { WriteAll(master, b.data(), b.size(), 1000); }, true);
    s->setHangupHandler([this] {
      hangup_ = true;
      wake_.signal();
    });
    return s;
  }

  void setPath(const std::string& path) {
    std::lock_guard<std::mutex> lock(impl_.mu);
    impl_.serialPath = path;
  }

  // The line is dropped: the old pair goes away (the host's descriptor reads
  // EIO and polls as hung up) and a fresh one takes its place and its link.
  void replacePty() {
    Pty fresh;
    std::shared_ptr<Session> old = session_;
    if (OpenPty(fresh)) {
      if (!link_.empty()) PublishLink(link_, fresh.path);
      session_ = openSessionOn(fresh.master);
      setPath(fresh.path);
    } else {
      session_.reset();
      setPath({});
    }
    printer_.closeSession(old);
    ClosePty(pty_);
    pty_ = fresh;
  }

  void run() {
    uint8_t buf[4096];
    while (!quit_) {
      pollfd fds[2] = {{wake_.readFd(), POLLIN, 0}, {pty_.master, POLLIN, 0}};
      int nfds = pty_.master >= 0 ? 2 : 1;
      int r = poll(fds, nfds, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        break;
      }
      if (fds[0].revents) wake_.drain();
      if (quit_) break;
      if (nfds == 2 && (fds[1].revents & POLLIN)) {
        ssize_t n = read(pty_.master, buf, sizeof buf);
        if (n > 0 && session_) session_->hostBytes(buf, static_cast<size_t>(n));
      } else if (nfds == 2 && (fds[1].revents & (POLLHUP | POLLERR))) {
        // Should not happen while the slave is held open; do not spin.
        poll(nullptr, 0, 10);
      }
      if (hangup_.exchange(false) || (session_ && session_->hungUp())) replacePty();
    }
  }

  SimPrinter& printer_;
  SimPrinter::Impl& impl_;
  std::string link_;
  Pty pty_;
  WakePipe wake_;
  std::shared_ptr<Session> session_;
  std::thread thread_;
  std::atomic<bool> quit_{false};
  std::atomic<bool> hangup_{false};
};

}  // namespace

std::string SimPrinter::startSerial(const std::string& linkPath) {
  {
    std::lock_guard<std::mutex> lock(impl_->endpointMu);
    if (!impl_->serialStarted) {
      auto ep = std::make_unique<SerialEndpoint>(*this, *impl_, linkPath);
      if (!ep->start()) return {};
      impl_->serialStarted = true;
      impl_->endpoints.push_back(std::move(ep));
    }
  }
  return serialPath();
}

}  // namespace torva::sim
