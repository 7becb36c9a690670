// The USB socket endpoint: see UsbEndpoint.h for what it plays.
#include "sim/UsbEndpoint.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <thread>

#include "link/UsbSimProtocol.h"
#include "sim/EndpointIo.h"
#include "sim/SimInternal.h"

namespace torva::sim {
namespace {

using usbsim::Kind;
using usbsim::Op;
using usbsim::Request;

constexpr int kStatusStreamWaitMs = 20;
constexpr int kMaxReadWaitMs = 60000;
constexpr uint8_t kModeQueryAddress = 0x6F;
// The port dialog's second probe reads this setting; in class mode 0 the
// printer answers it with a 9-byte report as well (the value at offsets 1-2).
constexpr uint8_t kCustomFlagAddress = 0xC4;

// What the printer sends to one session, and the host's bytes waiting to be
// fed to it. Shared by the connection's thread, the session's sink and the
// feeder thread.
struct PortQueue {
  std::mutex mu;
  std::condition_variable cv;
  std::deque<Bytes> replies;  // from the printer, not yet framed
  std::deque<Bytes> host;     // to the printer, not yet fed
  bool hungUp = false;
  bool closing = false;
  // The printer holds bytes the host sent and has not yet decided what to
  // answer: a read does not time out meanwhile (see read()).
  bool working = false;
  uint64_t takenAt = 0;  // when the printer last took the host's bytes
};

struct Slot {
  int fd = -1;
  std::shared_ptr<PortQueue> queue = std::make_shared<PortQueue>();
  std::thread thread;
  std::atomic<bool> done{false};
};

class UsbServer {
 public:
  UsbServer(SimPrinter& printer, SimPrinter::Impl& impl, std::string path, UsbSimOptions options)
      : printer_(printer), impl_(impl), path_(std::move(path)), options_(std::move(options)) {}
  ~UsbServer() { stop(); }

  bool start() {
    sockaddr_un addr{};
    if (path_.empty() || path_.size() >= sizeof addr.sun_path || !wake_.open()) return false;
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (listener_ < 0) return false;
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path_.c_str(), path_.size() + 1);
    ::unlink(path_.c_str());
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 16) != 0) {
      ::close(listener_);
      listener_ = -1;
      return false;
    }
    bound_ = true;
    accept_ = std::thread([this] { acceptLoop(); });
    return true;
  }

  void stop() {
    if (stopped_.exchange(true)) return;
    quit_ = true;
    wake_.signal();
    if (accept_.joinable()) accept_.join();
    std::list<std::unique_ptr<Slot>> slots;
    {
      std::lock_guard<std::mutex> lock(mu_);
      slots.swap(slots_);
    }
    for (auto& s : slots) {
      ::shutdown(s->fd, SHUT_RDWR);
      std::lock_guard<std::mutex> lock(s->queue->mu);
      s->queue->closing = true;
      s->queue->cv.notify_all();
    }
    for (auto& s : slots) reap(*s);
    if (listener_ >= 0) ::close(listener_);
    listener_ = -1;
    if (bound_) ::unlink(path_.c_str());
    wake_.close();
  }

 private:
  struct Port {
    std::shared_ptr<Session> session;
    Kind kind = Kind::Device;
    int where = -1;  // the device position or printer index opened
    bool holds = false;  // counted in held_ (the printer keeps unread bytes)
    std::string channel;
    std::thread feeder;
    Bytes ready;          // framed, waiting for the host's reads
    int modeQueries = 0;  // mode queries whose reply has not come yet
    int flagQueries = 0;  // reads of the custom-mode flag whose reply has not come yet
    bool customStatus = false;
  };

  static void reap(Slot& s) {
    if (s.thread.joinable()) s.thread.join();
    if (s.fd >= 0) ::close(s.fd);
    s.fd = -1;
  }

  void acceptLoop() {
    while (!quit_) {
      pollfd fds[2] = {{wake_.readFd(), POLLIN, 0}, {listener_, POLLIN, 0}};
      const int r = ::poll(fds, 2, -1);
      if (r < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) wake_.drain();
      if (quit_) return;
      if (!(fds[1].revents & POLLIN)) continue;
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      auto slot = std::make_unique<Slot>();
      slot->fd = fd;
      Slot* raw = slot.get();
      std::lock_guard<std::mutex> lock(mu_);
      // Connections that have ended are joined here, so threads do not pile up.
      for (auto it = slots_.begin(); it != slots_.end();) {
        if ((*it)->done) {
          reap(**it);
          it = slots_.erase(it);
        } else {
          ++it;
        }
      }
      slots_.push_back(std::move(slot));
      raw->thread = std::thread([this, raw] {
        serve(*raw);
        raw->done = true;
      });
    }
  }

  std::vector<std::string> printerList() const {
    std::vector<std::string> list = options_.otherPrinters;
    if (options_.printer) {
      const size_t at = std::min(options_.printerIndex, list.size());
      list.insert(list.begin() + static_cast<std::ptrdiff_t>(at), printer_.printerName());
    }
    return list;
  }

  size_t simulatedIndex() const { return std::min(options_.printerIndex, options_.otherPrinters.size()); }

  std::vector<int> positions() const {
    std::vector<int> p;
    for (int v : options_.devicePositions)
      if (v >= 0 && v <= 7) p.push_back(v);
    std::sort(p.begin(), p.end());
    p.erase(std::unique(p.begin(), p.end()), p.end());
    return p;
  }

  std::string deviceId() const {
    return "MFG:TORVA;CMD:ESC/POS;MDL:" + printer_.printerName() + ";CLS:PRINTER;";
  }

  bool openPort(Slot& slot, Port& port, const Request& rq) {
    if (port.session) return false;
    if (rq.kind == Kind::Device) {
      const auto p = positions();
      if (std::find(p.begin(), p.end(), rq.a) == p.end()) return false;
      port.channel = "usb";
    } else if (rq.kind == Kind::Printer || rq.kind == Kind::CustomPrinter) {
      if (!options_.printer || rq.a < 0 || static_cast<size_t>(rq.a) != simulatedIndex()) return false;
      port.channel = "usbprinter";
    } else {
      return false;
    }
    port.kind = rq.kind;
    port.where = rq.a;
    // What the printer sent on an earlier connection to this device and the
    // host did not read comes first (when the printer keeps it). A device
    // serves one connection: the one before must have let go first, its
    // last replies delivered (a printer still answering it late holds it).
    if (printer_.usbKeepsUnreadBytes() && port.kind != Kind::CustomPrinter) {
      std::unique_lock<std::mutex> lock(mu_);
      released_.wait_for(lock, std::chrono::milliseconds(kMaxReadWaitMs),
                         [&] { return held_[UnreadKey(port)] == 0; });
      ++held_[UnreadKey(port)];
      port.holds = true;
      auto it = unread_.find(UnreadKey(port));
      if (it != unread_.end()) {
        port.ready = std::move(it->second);
        unread_.erase(it);
      }
    }
    std::shared_ptr<PortQueue> q = slot.queue;
    const int fd = slot.fd;
    port.session = printer_.openSession(
        port.channel,
        [q](const Bytes& b) {
          std::lock_guard<std::mutex> lock(q->mu);
          q->replies.push_back(b);
          q->cv.notify_all();
        },
        false);
    port.session->setHangupHandler([q, fd] {
      std::lock_guard<std::mutex> lock(q->mu);
      q->hungUp = true;
      q->cv.notify_all();
      ::shutdown(fd, SHUT_RDWR);  // the host sees the connection drop
    });
    // The host's bytes reach the printer on a thread of their own, so a write
    // returns at once and the reply comes when the printer sends it.
    std::shared_ptr<Session> session = port.session;
    port.feeder = std::thread([q, session] {
      for (;;) {
        Bytes b;
        {
          std::unique_lock<std::mutex> lock(q->mu);
          q->cv.wait(lock, [&] { return !q->host.empty() || q->closing || q->hungUp; });
          if (q->host.empty()) return;
          b = std::move(q->host.front());
          q->host.pop_front();
          q->working = true;
        }
        session->hostBytes(b.data(), b.size(), [&q] {
          std::lock_guard<std::mutex> lock(q->mu);
          q->working = false;
          q->takenAt = torva::TickMs();
          q->cv.notify_all();
        });
      }
    });
    return true;
  }

  void closePort(Slot& slot, Port& port) {
    if (!port.session) return;
    {
      std::lock_guard<std::mutex> lock(slot.queue->mu);
      slot.queue->closing = true;
      slot.queue->cv.notify_all();
    }
    if (port.feeder.joinable()) port.feeder.join();
    printer_.closeSession(port.session);
    // The bytes the host left unread stay in the printer for the next
    // connection to this device (when it keeps them), replies to the host's
    // last bytes included: the feeder has delivered them by now.
    if (port.holds) {
      collect(slot, port);
      std::lock_guard<std::mutex> lock(mu_);
      if (!port.ready.empty()) {
        Bytes& kept = unread_[UnreadKey(port)];
        kept.insert(kept.end(), port.ready.begin(), port.ready.end());
      }
      --held_[UnreadKey(port)];
      port.holds = false;
      released_.notify_all();
    }
    port.ready.clear();
    port.session.reset();
  }

  static std::pair<int, int> UnreadKey(const Port& port) { return {static_cast<int>(port.kind), port.where}; }

  bool customOn(const Port& port, SimPrinter::K773Custom& k) const {
    if (port.kind != Kind::CustomPrinter) return false;
    k = printer_.k773Custom();
    return k.on;
  }

  // One reply as the printer puts it on the wire.
  Bytes frame(Port& port, const Bytes& raw) {
    bool modeQuery = false;
    bool flagQuery = false;
    if (port.kind == Kind::CustomPrinter && port.modeQueries > 0) {
      --port.modeQueries;
      modeQuery = true;
    } else if (port.kind == Kind::CustomPrinter && port.flagQueries > 0) {
      --port.flagQueries;
      flagQuery = true;
    }
    SimPrinter::K773Custom k;
    if (!customOn(port, k)) return raw;
    const bool classMode = k.classMode == 1;
    if (modeQuery || (flagQuery && !classMode)) {
      Bytes report(9, 0);
      report[0] = classMode ? static_cast<uint8_t>(std::clamp(k.statusBytes, 0, 255)) : 0;
      report[1] = raw.size() > 0 ? raw[0] : 0;
      report[2] = raw.size() > 1 ? raw[1] : 0;
      report[7] = classMode ? 1 : 0;
      return report;
    }
    if (!classMode) return raw;
    const Bytes rec = printer_.statusRecord();
    Bytes out;
    const int n = std::max(0, k.statusBytes);
    out.reserve(1 + static_cast<size_t>(n) + raw.size());
    out.push_back(usbsim::kK773ClassByte);
    for (int i = 0; i < n; ++i) out.push_back(rec.empty() ? 0 : rec[static_cast<size_t>(i) % rec.size()]);
    out.insert(out.end(), raw.begin(), raw.end());
    return out;
  }

  // A status record sent by itself in the custom mode's data stream.
  Bytes streamedStatus(const SimPrinter::K773Custom& k) {
    Bytes out;
    if (k.classMode == 1) out.push_back(usbsim::kK773ClassByte);
    const Bytes rec = printer_.statusRecord();
    out.insert(out.end(), rec.begin(), rec.end());
    return out;
  }

  // Moves what the printer sent into port.ready, framed. False when the
  // session is gone.
  bool collect(Slot& slot, Port& port, bool* working = nullptr, uint64_t* takenAt = nullptr) {
    std::deque<Bytes> raw;
    bool alive;
    {
      std::lock_guard<std::mutex> lock(slot.queue->mu);
      raw.swap(slot.queue->replies);
      alive = !slot.queue->hungUp && !slot.queue->closing;
      if (working) *working = slot.queue->working || !slot.queue->host.empty();
      if (takenAt) *takenAt = slot.queue->takenAt;
    }
    for (const Bytes& r : raw) {
      const Bytes f = frame(port, r);
      port.ready.insert(port.ready.end(), f.begin(), f.end());
    }
    return alive;
  }

  void read(Slot& slot, Port& port, int max, int waitMs, int32_t& result, Bytes& data) {
    if (waitMs <= 0) {
      // A read that waits for nothing: what the printer has sent so far,
      // whether it still works on the host's bytes or not (the wait floor
      // is for reads that wait for a reply).
      if (!collect(slot, port)) {
        result = -1;
        return;
      }
      if (port.ready.empty() && printer_.usbBabble())
        port.ready.assign(static_cast<size_t>(std::clamp(max, 1, 64)), 0x14);
      take(port, max, result, data);
      return;
    }
    const uint64_t start = torva::TickMs();
    const int wait = std::max(waitMs, printer_.usbReadWaitFloorMs());
    const uint64_t span = static_cast<uint64_t>(std::clamp(wait, 0, kMaxReadWaitMs));
    uint64_t deadline = start + span;
    // The device's time-out counts the printer's silence, not the time the
    // printer's thread waits to be run: while the printer still holds what
    // the host sent, the read waits on (up to its longest wait), and once it
    // has taken the bytes the time-out runs from then.
    const uint64_t longest = start + static_cast<uint64_t>(kMaxReadWaitMs);
    for (;;) {
      bool working = false;
      uint64_t takenAt = 0;
      const bool alive = collect(slot, port, &working, &takenAt);
      if (!port.ready.empty()) break;
      if (takenAt > start) deadline = std::max(deadline, std::min(takenAt + span, longest));
      if (alive && printer_.usbBabble()) {
        port.ready.assign(static_cast<size_t>(std::clamp(max, 1, 64)), 0x14);
        break;
      }
      if (!alive) {
        result = -1;
        return;
      }
      SimPrinter::K773Custom k;
      const bool streaming = customOn(port, k) && (port.customStatus || port.session->autoStatusOn());
      const uint64_t now = torva::TickMs();
      if (streaming && now >= start + kStatusStreamWaitMs) {
        port.ready = streamedStatus(k);
        break;
      }
      const bool overdue = now >= deadline;
      if (overdue && (!working || now >= longest)) {
        result = 0;
        return;
      }
      uint64_t until = overdue ? longest : deadline;
      if (streaming) until = std::min(until, start + kStatusStreamWaitMs);
      std::unique_lock<std::mutex> lock(slot.queue->mu);
      slot.queue->cv.wait_for(lock, std::chrono::milliseconds(until > now ? until - now : 1), [&] {
        return !slot.queue->replies.empty() || slot.queue->hungUp || slot.queue->closing ||
               (overdue && !slot.queue->working && slot.queue->host.empty());
      });
    }
    take(port, max, result, data);
  }

  // Hands the host at most max of the bytes ready.
  static void take(Port& port, int max, int32_t& result, Bytes& data) {
    const size_t n = std::min(port.ready.size(), static_cast<size_t>(std::max(0, max)));
    data.assign(port.ready.begin(), port.ready.begin() + static_cast<std::ptrdiff_t>(n));
    port.ready.erase(port.ready.begin(), port.ready.begin() + static_cast<std::ptrdiff_t>(n));
    result = static_cast<int32_t>(n);
  }

  // Notes what the host asks the custom-mode printer for: the mode query and
  // the custom status switch.
  static void scanCustom(Port& port, const Bytes& b) {
    for (size_t i = 0; i + 2 < b.size(); ++i) {
      if (b[i] == 0x1B && b[i + 1] == 0x6A && b[i + 2] == kModeQueryAddress) {
        ++port.modeQueries;
        i += 2;
      } else if (b[i] == 0x1B && b[i + 1] == 0x6A && b[i + 2] == kCustomFlagAddress) {
        ++port.flagQueries;
        i += 2;
      } else if (b[i] == 0x1D && b[i + 1] == 0xE0) {
        port.customStatus = b[i + 2] != 0;
        i += 2;
      }
    }
  }

  // A status request: the current record, answered as any reply of the
  // printer is, after the reply delay and with the printer's fault (no
  // answer, short, late, garbled, one byte too long, the connection
  // dropped), and not at all while it takes raw data. A four-byte request
  // is the plain status of the generic dialog; the VD-K773 answers it with
  // its four-byte record. Nothing answered within the request's time-out is
  // the answer 0; the host gets at most the bytes it asked for.
  void status(Port& port, int asked, int32_t& result, Bytes& data) {
    Outgoing o;
    bool answers;
    {
      std::lock_guard<std::mutex> lock(impl_.mu);
      answers = !impl_.rawCapture;
      if (answers) o = impl_.decide(Reply{asked == 4 ? impl_.autoRecord() : impl_.status});
    }
    result = 0;
    if (o.fault == Fault::Hangup) {
      impl_.hangupSession(*port.session);
      result = -1;
      return;
    }
    if (!answers || o.fault == Fault::NoReply || o.waitMs >= usbsim::kStatusRequestTimeoutMs) {
      impl_.pause(usbsim::kStatusRequestTimeoutMs);
      return;
    }
    impl_.pause(o.waitMs);
    ShapeReply(o);
    data.assign(o.bytes.begin(),
                o.bytes.begin() + std::min<std::ptrdiff_t>(asked, static_cast<std::ptrdiff_t>(o.bytes.size())));
    result = static_cast<int32_t>(data.size());
  }

  void logVendor(const Port& port, const std::string& name, int code) {
    std::lock_guard<std::mutex> lock(impl_.mu);
    impl_.addLog(port.channel, name, Bytes{static_cast<uint8_t>(code)});
  }

  void serve(Slot& slot) {
    Port port;
    for (;;) {
      Request rq;
      if (!usbsim::RecvRequest(slot.fd, rq)) break;
      int32_t result = -1;
      Bytes data;
      bool last = false;
      switch (rq.op) {
        case Op::Enumerate:
          if (rq.kind == Kind::Device) {
            const auto p = positions();
            for (int v : p) data.push_back(static_cast<uint8_t>(v));
            result = static_cast<int32_t>(p.size());
          } else if (rq.kind == Kind::Printer || rq.kind == Kind::CustomPrinter) {
            const auto list = printerList();
            for (const auto& name : list) {
              // A printer without a name sends a device ID without MDL.
              const Bytes id = usbsim::EncodeDeviceId(name.empty() ? "MFG:TORVA;CMD:ESC/POS;CLS:PRINTER;"
                                                                   : "MFG:TORVA;CMD:ESC/POS;MDL:" + name +
                                                                         ";CLS:PRINTER;");
              data.insert(data.end(), id.begin(), id.end());
            }
            for (size_t i = 0; i < list.size(); ++i) {
              const uint16_t ids[2] = {usbsim::kSimVendorId, static_cast<uint16_t>(usbsim::kSimProductBase + i)};
              for (uint16_t v : ids) {
                data.push_back(static_cast<uint8_t>(v));
                data.push_back(static_cast<uint8_t>(v >> 8));
              }
            }
            result = static_cast<int32_t>(list.size());
          }
          break;
        case Op::Open:
          result = openPort(slot, port, rq) ? 0 : -1;
          break;
        case Op::Write:
          if (port.session) {
            bool refused;
            bool accepted = true;
            {
              std::lock_guard<std::mutex> lock(impl_.mu);
              refused = impl_.takeWriteFault();
              if (refused) {
                impl_.usbWriteLengths.push_back(static_cast<int>(rq.data.size()));
              } else {
                accepted = impl_.acceptUsbWrite(rq.data);
              }
            }
            if (refused) {
              result = 0;  // no byte taken
              break;
            }
            if (port.kind == Kind::CustomPrinter) scanCustom(port, rq.data);
            std::lock_guard<std::mutex> lock(slot.queue->mu);
            if (!accepted) {
              result = 0;  // a setting write the fault names: nothing reaches the printer
            } else if (!slot.queue->hungUp) {
              slot.queue->host.push_back(rq.data);
              slot.queue->cv.notify_all();
              result = static_cast<int32_t>(rq.data.size());
            }
          }
          break;
        case Op::Read:
          if (port.session) read(slot, port, rq.a, rq.b, result, data);
          break;
        case Op::Status:
          if (port.session && rq.a > 0) status(port, rq.a, result, data);
          break;
        case Op::Vendor:
          if (port.session) {
            result = 0;
            if (rq.a == 0xC0) {
              logVendor(port, "VendorReset", rq.a);
              result = 1;
            } else if (rq.a == 0xC1) {
              logVendor(port, "VendorClearError", rq.a);
              result = 1;
            }
          }
          break;
        case Op::DeviceId:
          if (port.session && port.kind != Kind::Device) {
            data = usbsim::EncodeDeviceId(deviceId());
            result = static_cast<int32_t>(data.size());
          }
          break;
        case Op::InternalId:
          if (port.session) result = 0x10000 + printer_.model();
          break;
        case Op::Close:
          result = 0;
          last = true;
          break;
      }
      if (last) closePort(slot, port);
      if (!usbsim::SendResponse(slot.fd, result, data.data(), data.size()) || last) break;
    }
    closePort(slot, port);
    ::shutdown(slot.fd, SHUT_RDWR);
  }

  SimPrinter& printer_;
  SimPrinter::Impl& impl_;
  std::string path_;
  UsbSimOptions options_;
  int listener_ = -1;
  bool bound_ = false;
  WakePipe wake_;
  std::thread accept_;
  std::atomic<bool> quit_{false};
  std::atomic<bool> stopped_{false};
  std::mutex mu_;
  std::list<std::unique_ptr<Slot>> slots_;
  // What each device's earlier connections left unread, by kind and
  // position, and the connections that hold each device now.
  std::map<std::pair<int, int>, Bytes> unread_;
  std::map<std::pair<int, int>, int> held_;
  std::condition_variable released_;
};

}  // namespace

namespace {
// Options given by StartUsbSocket for the startUsbSocket call it makes (the
// printer's insides are reached only from its own members), and that call's
// result.
std::mutex g_optionsMu;
std::map<const SimPrinter*, UsbSimOptions> g_options;
std::map<const SimPrinter*, bool> g_started;
}  // namespace

bool StartUsbSocket(SimPrinter& printer, const std::string& path, const UsbSimOptions& options) {
  {
    std::lock_guard<std::mutex> lock(g_optionsMu);
    g_options[&printer] = options;
  }
  printer.startUsbSocket(path);
  std::lock_guard<std::mutex> lock(g_optionsMu);
  const bool ok = g_started[&printer];
  g_started.erase(&printer);
  return ok;
}

void SimPrinter::startUsbSocket(const std::string& path) {
  UsbSimOptions options;
  bool viaHelper = false;
  {
    std::lock_guard<std::mutex> lock(g_optionsMu);
    auto it = g_options.find(this);
    if (it != g_options.end()) {
      options = it->second;
      g_options.erase(it);
      viaHelper = true;
    }
  }
  auto server = std::make_shared<UsbServer>(*this, *impl_, path, options);
  const bool ok = server->start();
  if (ok) addEndpoint(server, [server] { server->stop(); });
  if (!viaHelper) return;
  std::lock_guard<std::mutex> lock(g_optionsMu);
  g_started[this] = ok;
}

}  // namespace torva::sim
