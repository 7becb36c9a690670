// The simulated printer's core: settings memory, status, the frame parser,
// faults and the log. Endpoints live in files of their own.
#include "sim/SimPrinter.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "sim/ModelDefaults.h"
#include "sim/SimInternal.h"

namespace torva::sim {

namespace {

// A frame left incomplete this long is given up: the host went away in the
// middle of a command (a real printer's parser times out the same way).
constexpr auto kFrameGap = std::chrono::milliseconds(1000);

const char* const kModelNames[] = {
    "VD-N512",    "VD-M512",  "VD-M512II", "VD-K305",  "RW-K201", "RWN-K409", "RW-K305",
    "VD-K201",    "VD-K512",  "RW-K305E",  "RW-K201E", "VD-K772", "VD-K773",  "VD-K9034",
    "RW-K305GII", "RW-K305W", "VD-K772II", "VD-K466",  "VD-H738",
};

int StatusLengthOf(int model) {
  switch (model) {
    case 8:   // VD-K512 with receipt paper (see statusLengthNow)
    case 11:  // VD-K772
    case 13:  // VD-K9034
      return 8;
    case 12:  // VD-K773 custom record
      return 6;
    default:
      return 4;
  }
}

}  // namespace

std::string ModelName(int code) {
  if (code < 0 || code >= static_cast<int>(std::size(kModelNames))) return {};
  return kModelNames[code];
}

// ---------------------------------------------------------------- Session

Session::Session(SimPrinter& printer, std::string channel, Sink sink, bool autoStatusInBand)
    : printer_(printer), channel_(std::move(channel)), sink_(std::move(sink)), inBand_(autoStatusInBand) {}

Session::~Session() = default;

void Session::hostBytes(const uint8_t* data, size_t n, const std::function<void()>& taken) {
  SimPrinter::Impl& p = *printer_.impl_;
  std::vector<Outgoing> out;
  int late;
  {
    std::lock_guard<std::mutex> lock(p.mu);
    late = p.hostBytesDelayMs;
  }
  p.pause(late);
  std::lock_guard<std::mutex> replying(replyMu_);
  takeHostBytes(data, n, out);
  // The endpoint is told (with no lock held: it takes its own) once the
  // replies that go out at once are on their way, before the first one that
  // waits.
  bool told = false;
  for (auto& o : out) {
    if (!told && (o.waitMs > 0 || o.bytesPerSecond > 0)) {
      told = true;
      if (taken) taken();
    }
    p.deliver(*this, std::move(o));
  }
  if (!told && taken) taken();
}

void Session::takeHostBytes(const uint8_t* data, size_t n, std::vector<Outgoing>& out) {
  SimPrinter::Impl& p = *printer_.impl_;
  std::lock_guard<std::mutex> lock(p.mu);
  {
    std::lock_guard<std::mutex> sl(sendMu_);
    if (!open_ || hungUp_) return;
  }
  if (n == 0) return;
  if (p.rawCapture) {
    p.addReceived(data, n);
    p.captureBytes(channel_, data, n);
    p.cv.notify_all();  // waitForReceived, the end of the burst
    return;
  }
  auto now = std::chrono::steady_clock::now();
  if (!pending_.empty() && now - lastByte_ > kFrameGap) {
    p.addLog(channel_, "Data", pending_);
    pending_.clear();
  }
  lastByte_ = now;
  p.addReceived(data, n);
  pending_.insert(pending_.end(), data, data + n);
  out = p.parse(*this);
  p.cv.notify_all();  // waitForReceived
}

bool Session::autoStatusOn() const {
  std::lock_guard<std::mutex> lock(printer_.impl_->mu);
  return autoStatus_;
}

bool Session::customStatusOn() const {
  std::lock_guard<std::mutex> lock(printer_.impl_->mu);
  return customStatus_;
}

bool Session::hungUp() const {
  std::lock_guard<std::mutex> lock(sendMu_);
  return hungUp_;
}

void Session::setHangupHandler(std::function<void()> handler) {
  std::lock_guard<std::mutex> lock(sendMu_);
  onHangup_ = std::move(handler);
}

// ---------------------------------------------------------------- Impl

CommandIndex::CommandIndex(std::vector<CommandRow> rows) : rows_(std::move(rows)) {
  // Longer prefixes first, so a command whose prefix extends another's wins;
  // rows of the same length keep the table's order.
  std::stable_sort(rows_.begin(), rows_.end(), [](const CommandRow& a, const CommandRow& b) {
    return a.prefix.size() > b.prefix.size();
  });
  for (const CommandRow& row : rows_) {
    if (row.prefix.empty()) {
      for (auto& bucket : byFirst_) bucket.push_back(&row);  // matches whatever comes
    } else {
      byFirst_[row.prefix[0]].push_back(&row);
    }
  }
}

SimPrinter::Impl::Impl(SimPrinter& owner) : self(owner), commands(BuildCommandTable()) {}

void SimPrinter::Impl::loadModel(int code) {
  model = code;
  for (auto& bank : memory) bank.fill(0xFFFF);
  for (const SettingDefault& d : ModelDefaults(code)) {
    if ((d.bank == 1 || d.bank == 2) && d.address >= 0 && d.address < 256)
      memory[d.bank - 1][d.address] = d.value;
  }
  status.assign(statusLengthNow(), 0);
  status4.assign(4, 0);
}

size_t SimPrinter::Impl::statusLengthNow() const {
  if (model == 8 && memory[0][0x12] == 0x0001) return 4;  // VD-K512 with another paper type
  return static_cast<size_t>(StatusLengthOf(model));
}

void SimPrinter::Impl::fitStatus() { status.resize(statusLengthNow(), 0); }

void SimPrinter::Impl::setCustomStatus(Session& s, bool on) {
  s.customStatus_ = on;
  if (on && s.inBand_ && !streamThread.joinable() && !stopping)
    streamThread = std::thread([this] { streamLoop(); });
  cv.notify_all();
}

void SimPrinter::Impl::streamLoop() {
  std::unique_lock<std::mutex> lock(mu);
  auto last = std::chrono::steady_clock::now();
  for (;;) {
    // The interval is read again on every wake-up, so a change takes effect
    // at once.
    const auto next = last + std::chrono::milliseconds(std::max(1, customIntervalMs));
    cv.wait_until(lock, next);
    if (stopping) return;
    const auto now = std::chrono::steady_clock::now();
    if (now < last + std::chrono::milliseconds(std::max(1, customIntervalMs))) continue;
    last = now;
    std::vector<std::shared_ptr<Session>> targets;
    for (auto& s : sessions)
      if (s->customStatus_ && s->inBand_) targets.push_back(s);
    if (targets.empty()) continue;
    const Bytes rec = status;
    lock.unlock();
    for (auto& s : targets) send(*s, rec);
    lock.lock();
  }
}

void SimPrinter::Impl::addLog(const std::string& channel, const std::string& name, const Bytes& frame) {
  addLog(LogEntry{std::chrono::steady_clock::now(), channel, name, frame, 0, {}});
}

void SimPrinter::Impl::addLog(LogEntry entry) {
  logBytes += entry.frame.size();
  ++logTotal;
  log.push_back(std::move(entry));
  if (frameObserver) frameObserver(log.back());
  // The newest entry stays, however long its frame.
  while (log.size() > 1 && (log.size() > kLogEntriesKept || logBytes > kLogBytesKept)) {
    logBytes -= log.front().frame.size();
    log.pop_front();
    ++logForgotten;
  }
  cv.notify_all();
}

void SimPrinter::Impl::addReceived(const uint8_t* data, size_t n) {
  received.insert(received.end(), data, data + n);
  // Dropped in steps of kReceivedKept, so each byte is moved at most once.
  if (received.size() >= 2 * kReceivedKept) {
    const size_t drop = received.size() - kReceivedKept;
    received.erase(received.begin(), received.begin() + static_cast<std::ptrdiff_t>(drop));
    receivedDropped += drop;
  }
}

// ---------------------------------------------------------------- raw capture

void SimPrinter::Impl::startCapture(FILE* file, const std::string& path) {
  endCapture();
  capture.report = CaptureReport{};
  capture.report.on = true;
  capture.report.file = file ? path : std::string();
  capture.crc = Crc32{};
  capture.sha = Sha256{};
  capture.file = file;
}

void SimPrinter::Impl::endCapture() {
  endBurst();
  if (capture.file) {
    if (std::fclose(capture.file) != 0 && capture.report.fileError.empty())
      capture.report.fileError = std::strerror(errno);
    capture.file = nullptr;
  }
  capture.report.on = false;
}

void SimPrinter::Impl::dropCaptureFile(int error) {
  if (capture.report.fileError.empty()) capture.report.fileError = std::strerror(error);
  std::fclose(capture.file);
  capture.file = nullptr;
}

void SimPrinter::Impl::captureBytes(const std::string& channel, const uint8_t* data, size_t n) {
  Capture& c = capture;
  CaptureReport& r = c.report;
  r.count += n;
  c.crc.update(data, n);
  c.sha.update(data, n);
  const size_t edge = CaptureReport::kEdge;
  if (r.first.size() < edge) r.first.insert(r.first.end(), data, data + std::min(n, edge - r.first.size()));
  r.last.insert(r.last.end(), data + (n > edge ? n - edge : 0), data + n);
  if (r.last.size() > edge) r.last.erase(r.last.begin(), r.last.end() - static_cast<std::ptrdiff_t>(edge));
  if (c.file && std::fwrite(data, 1, n, c.file) != n) dropCaptureFile(errno);
  const auto now = std::chrono::steady_clock::now();
  if (c.burstOpen && (channel != c.burstChannel || now - c.burstLast > std::chrono::milliseconds(kBurstGapMs)))
    endBurst();
  if (!c.burstOpen) {
    c.burstOpen = true;
    c.burstChannel = channel;
    c.burstStart = now;
    c.burstHead.clear();
    c.burstBytes = 0;
    ++r.bursts;
  }
  if (c.burstHead.size() < edge)
    c.burstHead.insert(c.burstHead.end(), data, data + std::min(n, edge - c.burstHead.size()));
  c.burstBytes += n;
  c.burstLast = now;
  if (!burstThread.joinable() && !stopping) burstThread = std::thread([this] { burstLoop(); });
}

void SimPrinter::Impl::endBurst() {
  Capture& c = capture;
  if (!c.burstOpen) return;
  c.burstOpen = false;
  if (c.file && std::fflush(c.file) != 0) dropCaptureFile(errno);
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08X", c.crc.value());
  LogEntry e{c.burstStart, c.burstChannel, "Capture", c.burstHead, 0, {}};
  e.length = c.burstBytes;
  e.note = "capture so far " + std::to_string(c.report.count) + " bytes, CRC-32 " + crc;
  addLog(std::move(e));
}

void SimPrinter::Impl::burstLoop() {
  std::unique_lock<std::mutex> lock(mu);
  while (!stopping) {
    if (!capture.burstOpen) {
      cv.wait(lock);
      continue;
    }
    const auto due = capture.burstLast + std::chrono::milliseconds(kBurstGapMs);
    if (std::chrono::steady_clock::now() >= due)
      endBurst();
    else
      cv.wait_until(lock, due);
  }
}

void SimPrinter::setRawCapture(bool on) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (on)
    impl_->startCapture(nullptr, {});
  else if (impl_->rawCapture)
    impl_->endCapture();
  impl_->rawCapture = on;
}

bool SimPrinter::rawCapture() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->rawCapture;
}

bool SimPrinter::saveCapture(const std::string& path, std::string* error) {
  FILE* f = path.empty() ? nullptr : std::fopen(path.c_str(), "wbe");
  if (!f) {
    if (error) *error = path.empty() ? "no file named" : std::strerror(errno);
    return false;
  }
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->startCapture(f, path);
  impl_->rawCapture = true;
  return true;
}

CaptureReport SimPrinter::captureReport() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  // What the file holds is on disk by the time the report is read, or the
  // report says why it is not.
  if (impl_->capture.file && std::fflush(impl_->capture.file) != 0) impl_->dropCaptureFile(errno);
  CaptureReport r = impl_->capture.report;
  r.crc32 = impl_->capture.crc.value();
  r.sha256 = impl_->capture.sha.hex();
  return r;
}

void SimPrinter::Impl::setAutoStatus(Session& s, bool on, std::vector<Reply>& replies) {
  s.autoStatus_ = on;
  if (on && s.inBand_) {
    s.lastStatusSent_ = autoRecord();
    replies.push_back({autoRecord(), -1});
  }
}

Outgoing SimPrinter::Impl::decide(const Reply& reply) {
  Outgoing o;
  o.bytes = reply.bytes;
  o.waitMs = replyDelayMs + std::max(0, reply.extraDelayMs);
  o.bytesPerSecond = std::max(0, reply.bytesPerSecond);
  FaultSpec* chosen = nullptr;
  if (reply.address >= 0) {
    auto banked = bankAddressFaults.find({reply.bank, reply.address});
    if (banked != bankAddressFaults.end() && banked->second.kind != Fault::None && banked->second.count != 0) {
      chosen = &banked->second;
    } else {
      auto it = addressFaults.find(reply.address);
      if (it != addressFaults.end()) chosen = &it->second;
    }
  }
  if (!chosen && fault.kind != Fault::None) chosen = &fault;
  if (chosen && chosen->kind != Fault::None && chosen->count != 0) {
    o.fault = chosen->kind;
    if (o.fault == Fault::LateReply) o.waitMs += std::max(0, chosen->lateMs);
    if (chosen->count > 0 && --chosen->count == 0) chosen->kind = Fault::None;
  }
  return o;
}

bool SimPrinter::Impl::acceptUsbWrite(const Bytes& data) {
  usbWriteLengths.push_back(static_cast<int>(data.size()));
  if (usbSettingWriteFaults.empty()) return true;
  static const uint8_t kPrefix[] = {0x1B, 0x73, 0x5C, 0x31, 0xE7};
  for (size_t i = 0; i + 9 <= data.size(); ++i) {
    if (!std::equal(std::begin(kPrefix), std::end(kPrefix), data.begin() + static_cast<std::ptrdiff_t>(i))) continue;
    const uint8_t signature = data[i + 5];
    const int bank = signature == 0x08 ? 1 : signature == 0x0A ? 2 : 0;
    auto it = usbSettingWriteFaults.find({bank, data[i + 8]});
    if (it == usbSettingWriteFaults.end() || it->second == 0) continue;
    if (it->second > 0) --it->second;
    return false;
  }
  return true;
}

std::vector<Outgoing> SimPrinter::Impl::parse(Session& s) {
  std::vector<Outgoing> out;
  Bytes& buf = s.pending_;
  size_t pos = 0;
  size_t dataStart = 0;
  bool inData = false;
  auto flushData = [&](size_t end) {
    if (inData && end > dataStart)
      addLog(s.channel_, "Data", Bytes(buf.begin() + dataStart, buf.begin() + end));
    inData = false;
  };
  while (pos < buf.size()) {
    const uint8_t* p = buf.data() + pos;
    const size_t avail = buf.size() - pos;
    const auto& candidates = commands.startingWith(*p);
    if (candidates.empty()) {
      // A run of bytes that start no command: print data, one look-up each.
      if (!inData) {
        inData = true;
        dataStart = pos;
      }
      ++pos;
      while (pos < buf.size() && !commands.startsCommand(buf[pos])) ++pos;
      continue;
    }
    const CommandRow* full = nullptr;
    bool waitMore = false;
    for (const CommandRow* row : candidates) {
      const size_t k = std::min(avail, row->prefix.size());
      if (std::memcmp(p, row->prefix.data(), k) != 0) continue;
      if (avail >= row->length) {
        full = row;
        break;
      }
      waitMore = true;  // a prefix of this command so far: wait for the rest
    }
    if (full) {
      flushData(pos);
      Bytes frame(p, p + full->length);
      addLog(s.channel_, full->name, frame);
      std::vector<Reply> replies;
      if (full->handler) {
        FrameContext ctx{*this, s, frame, replies};
        full->handler(ctx);
      }
      for (const Reply& r : replies) out.push_back(decide(r));
      pos += full->length;
      continue;
    }
    if (waitMore) break;
    // A byte that may start a command but starts none here: print data.
    if (!inData) {
      inData = true;
      dataStart = pos;
    }
    ++pos;
  }
  flushData(pos);
  buf.erase(buf.begin(), buf.begin() + pos);
  return out;
}

void SimPrinter::Impl::pause(int ms) {
  if (ms <= 0) return;
  std::unique_lock<std::mutex> lock(mu);
  cv.wait_for(lock, std::chrono::milliseconds(ms), [&] { return stopping; });
}

void ShapeReply(Outgoing& o) {
  if (o.fault == Fault::ShortReply && o.bytes.size() > 1) o.bytes.resize(1);
  if (o.fault == Fault::Garbage) {
    for (auto& b : o.bytes) b = static_cast<uint8_t>(~b);
  }
  if (o.fault == Fault::LongReply && !o.bytes.empty()) o.bytes.push_back(kLongReplyByte);
  // The stray byte and the reply in one piece: the host cannot see where
  // one ends and the other starts.
  if (o.fault == Fault::EarlyByte && !o.bytes.empty()) o.bytes.insert(o.bytes.begin(), kEarlyByte);
}

void SimPrinter::Impl::deliver(Session& s, Outgoing o) {
  switch (o.fault) {
    case Fault::NoReply:
      return;
    case Fault::Hangup:
      hangupSession(s);
      return;
    default:
      break;
  }
  pause(o.waitMs);
  ShapeReply(o);
  if (o.bytesPerSecond > 0) {
    sendPaced(s, o.bytes, o.bytesPerSecond);
    return;
  }
  send(s, o.bytes);
}

void SimPrinter::Impl::sendPaced(Session& s, const Bytes& bytes, int bytesPerSecond) {
  // A piece every 5 ms, so the line is never quiet for long while it talks.
  constexpr int kPieceMs = 5;
  const size_t piece = std::max<size_t>(1, static_cast<size_t>(bytesPerSecond) * kPieceMs / 1000);
  const auto start = std::chrono::steady_clock::now();
  for (size_t at = 0; at < bytes.size(); at += piece) {
    {
      std::unique_lock<std::mutex> lock(mu);
      // Each piece at its time from the start, so the rate holds however
      // late a wake-up comes.
      const auto due = start + std::chrono::microseconds(static_cast<int64_t>(at) * 1000000 / bytesPerSecond);
      cv.wait_until(lock, due, [&] { return stopping; });
      if (stopping) return;
    }
    const size_t end = std::min(bytes.size(), at + piece);
    send(s, Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at), bytes.begin() + static_cast<std::ptrdiff_t>(end)));
  }
}

void SimPrinter::Impl::send(Session& s, const Bytes& bytes) {
  if (bytes.empty()) return;
  // Lock order: mu before a session's sendMu_, never the other way round.
  std::function<void(const std::string&, const Bytes&)> observer;
  {
    std::lock_guard<std::mutex> l(mu);
    observer = replyObserver;
  }
  std::lock_guard<std::mutex> lock(s.sendMu_);
  if (!s.open_ || s.hungUp_ || !s.sink_) return;
  if (observer) observer(s.channel_, bytes);
  s.sink_(bytes);
}

void SimPrinter::Impl::hangupSession(Session& s) {
  // The handler runs under the session's lock, so it cannot race with the
  // endpoint closing the session and going away; it only wakes the endpoint.
  std::lock_guard<std::mutex> lock(s.sendMu_);
  if (!s.open_ || s.hungUp_) return;
  s.hungUp_ = true;
  if (s.onHangup_) s.onHangup_();
}

// ---------------------------------------------------------------- SimPrinter

SimPrinter::SimPrinter(int modelCode) : impl_(std::make_unique<Impl>(*this)) { impl_->loadModel(modelCode); }

SimPrinter::~SimPrinter() {
  stop();
  std::thread stream, bursts;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    // A stream switched on by an in-process session after stop() ends here.
    impl_->stopping = true;
    stream.swap(impl_->streamThread);
    bursts.swap(impl_->burstThread);
  }
  impl_->cv.notify_all();
  if (stream.joinable()) stream.join();
  if (bursts.joinable()) bursts.join();
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->endCapture();
  impl_->sessions.clear();
}

int SimPrinter::model() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->model;
}

void SimPrinter::setModel(int code) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->loadModel(code);
}

uint16_t SimPrinter::setting(int address, int bank) const {
  if (address < 0 || address > 255 || (bank != 1 && bank != 2)) return 0xFFFF;
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->memory[bank - 1][address];
}

void SimPrinter::setSetting(int address, uint16_t value, int bank) {
  if (address < 0 || address > 255 || (bank != 1 && bank != 2)) return;
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->memory[bank - 1][address] = value;
  impl_->fitStatus();
}

int SimPrinter::dataBits() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->dataBits;
}

void SimPrinter::powerCycle() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->dataBits = 8;
  for (auto& s : impl_->sessions) {
    s->autoStatus_ = false;
    s->customStatus_ = false;
    s->pending_.clear();
    s->lastStatusSent_.clear();
  }
}

int SimPrinter::statusLength() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return static_cast<int>(impl_->status.size());
}

Bytes SimPrinter::statusRecord() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->status;
}

void SimPrinter::setStatusRecord(const Bytes& record) {
  std::vector<std::shared_ptr<Session>> targets;
  Bytes rec;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (impl_->model == 12 && record.size() == 4) {
      impl_->status4 = record;
    } else {
      impl_->status = record;
      impl_->fitStatus();
    }
    rec = impl_->autoRecord();
    for (auto& s : impl_->sessions) {
      if (s->autoStatus_ && s->inBand_ && s->lastStatusSent_ != rec) {
        s->lastStatusSent_ = rec;
        targets.push_back(s);
      }
    }
  }
  // After the replies on their way: one decided before the change carries
  // the old record, and the new one follows it.
  for (auto& s : targets) {
    std::lock_guard<std::mutex> replying(s->replyMu_);
    impl_->send(*s, rec);
  }
}

void SimPrinter::setStatusByte(size_t index, uint8_t value) {
  Bytes rec = statusRecord();
  if (index >= rec.size()) return;
  rec[index] = value;
  setStatusRecord(rec);
}

Bytes SimPrinter::autoStatusRecord() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->autoRecord();
}

uint8_t SimPrinter::transmitStatus() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->transmitStatus;
}

void SimPrinter::setTransmitStatus(uint8_t value) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->transmitStatus = value;
}

void SimPrinter::setCustomStatusIntervalMs(int ms) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->customIntervalMs = std::max(1, ms);
  impl_->cv.notify_all();
}

int SimPrinter::customStatusIntervalMs() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->customIntervalMs;
}

int SimPrinter::customStatusSessions() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  int n = 0;
  for (auto& s : impl_->sessions)
    if (s->customStatus_) ++n;
  return n;
}

void SimPrinter::setReplyDelayMs(int ms) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->replyDelayMs = std::max(0, ms);
}

int SimPrinter::replyDelayMs() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->replyDelayMs;
}

void SimPrinter::setFault(const FaultSpec& fault) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->fault = fault;
}

void SimPrinter::setAddressFault(int address, const FaultSpec& fault) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (fault.kind == Fault::None)
    impl_->addressFaults.erase(address);
  else
    impl_->addressFaults[address] = fault;
}

void SimPrinter::setWriteFault(int n) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->writeFaultIn = std::max(0, n);
}

bool SimPrinter::Impl::takeWriteFault() {
  if (writeFaultIn <= 0) return false;
  return --writeFaultIn == 0;
}

void SimPrinter::setAddressFault(int address, int bank, const FaultSpec& fault) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (fault.kind == Fault::None)
    impl_->bankAddressFaults.erase({bank, address});
  else
    impl_->bankAddressFaults[{bank, address}] = fault;
}

void SimPrinter::setUsbSettingWriteFault(int bank, int address, int count) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  if (count == 0)
    impl_->usbSettingWriteFaults.erase({bank, address});
  else
    impl_->usbSettingWriteFaults[{bank, address}] = count;
}

std::vector<int> SimPrinter::usbWriteLengths() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->usbWriteLengths;
}

void SimPrinter::clearFault() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->fault = FaultSpec{};
  impl_->addressFaults.clear();
  impl_->writeFaultIn = 0;
  impl_->bankAddressFaults.clear();
  impl_->usbSettingWriteFaults.clear();
}

void SimPrinter::sendUnsolicited(const Bytes& bytes) {
  std::vector<std::shared_ptr<Session>> targets;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    targets = impl_->sessions;
  }
  for (auto& s : targets) impl_->send(*s, bytes);
}

void SimPrinter::hangUp() {
  std::vector<std::shared_ptr<Session>> targets;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    targets = impl_->sessions;
  }
  for (auto& s : targets) impl_->hangupSession(*s);
  // Give the endpoints a moment to close what they held.
  std::unique_lock<std::mutex> lock(impl_->mu);
  impl_->cv.wait_for(lock, std::chrono::seconds(1), [&] {
    for (auto& s : impl_->sessions) {
      std::lock_guard<std::mutex> sl(s->sendMu_);
      if (s->hungUp_) return false;
    }
    return true;
  });
}

std::vector<LogEntry> SimPrinter::log() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return {impl_->log.begin(), impl_->log.end()};
}

size_t SimPrinter::logForgotten() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->logForgotten;
}

std::vector<LogEntry> SimPrinter::log(const std::string& name) const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  std::vector<LogEntry> out;
  for (const auto& e : impl_->log)
    if (e.name == name) out.push_back(e);
  return out;
}

void SimPrinter::clearLog() {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->log.clear();
  impl_->logBytes = 0;
  impl_->logTotal = 0;
  impl_->logForgotten = 0;
  impl_->received.clear();
  impl_->received.shrink_to_fit();
  impl_->receivedDropped = 0;
  impl_->usbWriteLengths.clear();
}

bool SimPrinter::waitForLog(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(impl_->mu);
  return impl_->cv.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                            [&] { return impl_->logTotal >= n; });
}

Bytes SimPrinter::receivedBytes() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->received;
}

size_t SimPrinter::receivedCount() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->receivedDropped + impl_->received.size();
}

bool SimPrinter::waitForReceived(size_t n, int timeoutMs) const {
  std::unique_lock<std::mutex> lock(impl_->mu);
  return impl_->cv.wait_for(lock, std::chrono::milliseconds(std::max(0, timeoutMs)),
                            [&] { return impl_->receivedDropped + impl_->received.size() >= n; });
}

void SimPrinter::setFrameObserver(std::function<void(const LogEntry&)> observer) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->frameObserver = std::move(observer);
}

void SimPrinter::setReplyObserver(std::function<void(const std::string&, const Bytes&)> observer) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->replyObserver = std::move(observer);
}

std::string SimPrinter::serialPath() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->serialPath;
}

void SimPrinter::setPrinterName(const std::string& name) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->printerName = name;
}

std::string SimPrinter::printerName() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->printerName.empty() ? ModelName(impl_->model) : impl_->printerName;
}

void SimPrinter::setWifiReply(bool wifi) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->wifiReply = wifi;
}

void SimPrinter::setUsbBabble(bool on) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->usbBabble = on;
}

bool SimPrinter::usbBabble() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->usbBabble;
}

void SimPrinter::setUsbKeepsUnreadBytes(bool on) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->usbKeepsUnread = on;
}

bool SimPrinter::usbKeepsUnreadBytes() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->usbKeepsUnread;
}

void SimPrinter::setUsbReadWaitFloorMs(int ms) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->usbReadWaitFloorMs = std::max(0, ms);
}

void SimPrinter::setHostBytesDelayMs(int ms) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->hostBytesDelayMs = std::max(0, ms);
}

int SimPrinter::usbReadWaitFloorMs() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->usbReadWaitFloorMs;
}

bool SimPrinter::wifiReply() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->wifiReply;
}

void SimPrinter::setK773Custom(bool on, int classMode, int statusBytes) {
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->k773 = K773Custom{on, classMode, statusBytes};
}

SimPrinter::K773Custom SimPrinter::k773Custom() const {
  std::lock_guard<std::mutex> lock(impl_->mu);
  return impl_->k773;
}

void SimPrinter::stop() {
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->stopping = true;
  }
  impl_->cv.notify_all();
  std::vector<std::unique_ptr<Endpoint>> endpoints;
  std::vector<std::pair<std::shared_ptr<void>, std::function<void()>>> external;
  {
    std::lock_guard<std::mutex> lock(impl_->endpointMu);
    endpoints.swap(impl_->endpoints);
    external.swap(impl_->external);
    impl_->serialStarted = false;
    impl_->tcpPort = -1;
  }
  for (auto& e : endpoints) e->stop();
  endpoints.clear();
  for (auto& e : external)
    if (e.second) e.second();
  external.clear();
  std::thread stream, bursts;
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    stream.swap(impl_->streamThread);
    bursts.swap(impl_->burstThread);
  }
  if (stream.joinable()) stream.join();
  if (bursts.joinable()) bursts.join();
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->endBurst();  // its entry is logged now, not after the next byte
  impl_->serialPath.clear();
  impl_->stopping = false;
}

void SimPrinter::addEndpoint(std::shared_ptr<void> state, std::function<void()> stopFn) {
  std::lock_guard<std::mutex> lock(impl_->endpointMu);
  impl_->external.emplace_back(std::move(state), std::move(stopFn));
}

std::shared_ptr<Session> SimPrinter::openSession(const std::string& channel, Session::Sink sink,
                                                 bool autoStatusInBand) {
  auto s = std::make_shared<Session>(*this, channel, std::move(sink), autoStatusInBand);
  std::lock_guard<std::mutex> lock(impl_->mu);
  impl_->sessions.push_back(s);
  return s;
}

void SimPrinter::closeSession(const std::shared_ptr<Session>& session) {
  if (!session) return;
  {
    std::lock_guard<std::mutex> sl(session->sendMu_);
    session->open_ = false;
  }
  {
    std::lock_guard<std::mutex> lock(impl_->mu);
    auto& v = impl_->sessions;
    v.erase(std::remove(v.begin(), v.end(), session), v.end());
  }
  impl_->cv.notify_all();
}

}  // namespace torva::sim
