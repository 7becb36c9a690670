#include "tools/GetBufThread.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "link/SerialIo.h"
#include "tools/ConsoleCommands.h"

namespace torva::tools {

std::atomic<bool> bDisplay{false};
std::atomic<bool> Include1DE0{false};

namespace {
std::atomic<int> gLiveThreads{0};
}  // namespace

ReaderPort CurrentReaderPort() {
  ReaderPort p;
  p.portType = PortType.load();
  p.handle = torva::link::ConfiguredHandle(p.portType);
  p.model = PrinterName.load();
  p.is773Costom = is773Costom.load();
  p.k773Custom = IsK773CustomMode();
  return p;
}

int TGetBufThread::LiveThreads() { return gLiveThreads.load(); }

TGetBufThread::TGetBufThread() : worker_(gLiveThreads) {}

TGetBufThread::~TGetBufThread() { stopAndJoin(); }

uint64_t TGetBufThread::start(const ReaderPort& port, Reporter reporter) {
  stopAndJoin();
  reporter_ = std::move(reporter);
  return worker_.launch([this, port](uint64_t gen) { Execute(port, gen); });
}

void TGetBufThread::requestStop() { worker_.requestStop(); }

void TGetBufThread::stopAndJoin() { worker_.stopAndJoin(); }

bool TGetBufThread::waitInput(int fd, int ms, bool* gone) {
  *gone = false;
  if (worker_.stopRequested()) return true;
  pollfd fds[2] = {{fd, POLLIN, 0}, {worker_.wakeFd(), POLLIN, 0}};
  const int r = ::poll(fds, 2, std::max(ms, 0));
  if (worker_.stopRequested()) return true;
  if (r > 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) && serialio::QueuedInput(fd) <= 0) *gone = true;
  return false;
}

void TGetBufThread::report(ReaderReport r) {
  if (reporter_) reporter_(r);
}

void TGetBufThread::received(uint64_t gen, ReceivedKind kind, const uint8_t* data, int count) {
  if (count <= 0) return;
  ReaderReport r;
  r.type = ReaderReport::Type::Received;
  r.generation = gen;
  r.kind = kind;
  r.bytes.assign(data, data + count);
  report(std::move(r));
}

void TGetBufThread::Execute(ReaderPort port, uint64_t gen) {
  switch (port.portType) {
    case PortCOM: SerialLoop(port, gen); break;
    case PortNibbleLPT: NibblePass(gen); break;
    case PortUSB: UsbDevicePass(port, gen); break;
    case PortUSBPrinter: UsbPrinterPass(port, gen); break;
    default: break;  // the parallel port, Ethernet and the spooler are not read
  }
  ReaderReport end;
  end.type = ReaderReport::Type::Ended;
  end.generation = gen;
  report(std::move(end));
}

void TGetBufThread::SerialLoop(const ReaderPort& port, uint64_t gen) {
  const int fd = port.handle;
  auto fail = [&] {
    ReaderReport r;
    r.type = ReaderReport::Type::ReceiveFailed;
    r.generation = gen;
    report(std::move(r));
  };
  while (bDisplay && !worker_.stopRequested()) {
    const uint64_t t0 = torva::TickMs();
    uint64_t last = t0;
    while (t0 + kSerialCycleMs > last) {
      if (worker_.stopRequested()) return;
      const int queued = fd > 0 ? serialio::QueuedInput(fd) : 0;
      if (queued < 0) return fail();
      if (queued > 0) {
        // Exactly what is queued, so the read never blocks.
        std::vector<uint8_t> buf(static_cast<size_t>(queued) + 1, 0);
        if (serialio::ReadQueued(fd, buf.data(), queued) != queued) return fail();
        received(gen, ReceivedKind::Data, buf.data(), queued);
      } else if (fd > 0) {
        bool gone = false;
        if (waitInput(fd, kIdlePauseMs, &gone)) return;
        if (gone) return fail();  // the line has gone: nothing more will come
      } else if (pause(kIdlePauseMs)) {
        return;
      }
      last = torva::TickMs();
    }
    if (pause(kIdlePauseMs)) return;
  }
}

void TGetBufThread::NibblePass(uint64_t gen) {
  std::vector<uint8_t> buf(kNibbleReadSize, 0);
  int status = 0;
  const int n = CurrentPortLibraryCalls().NibbleModeRead(buf.data(), kNibbleReadSize, &status);
  if (n > 0)
    received(gen, ReceivedKind::Data, buf.data(), std::min(n, kNibbleReadSize));
  else
    pause(kIdlePauseMs);
}

void TGetBufThread::UsbDevicePass(const ReaderPort& port, uint64_t gen) {
  const PortLibraryCalls calls = CurrentPortLibraryCalls();
  if (Include1D61 || Include1DE0) {
    uint8_t area[kStatusAreaSize] = {};
    const UsbStatusAsk ask = UsbDeviceStatusAsk(port.model, port.is773Costom == 1);
    int got = 0;
    calls.GetSpecStatus(port.handle, area, ask.asked, &got);
    if (got > 0 && (got == ask.accepted1 || got == ask.accepted2)) {
      Include1D61 = false;
      Include1DE0 = false;
      received(gen, ReceivedKind::StatusRecord, area, got);
    } else if (pause(kIdlePauseMs)) {
      return;
    }
  }
  std::vector<uint8_t> buf(kUsbReadSize, 0);
  const int r = calls.uRead(port.handle, 1, buf.data(), kUsbReadSize);
  if (r > 0)
    received(gen, ReceivedKind::Data, buf.data(), std::min(r, kUsbReadSize));
  else
    pause(kIdlePauseMs);
}

void TGetBufThread::UsbPrinterPass(const ReaderPort& port, uint64_t gen) {
  const PortLibraryCalls calls = CurrentPortLibraryCalls();
  // In custom mode with class mode 1 the record's transfer is the printer's
  // whole answer: no data follows it in this pass.
  bool recordWasWholeReply = false;
  if (Include1D61 || Include1DE0) {
    uint8_t area[kStatusAreaSize] = {};
    if (port.model == ModelVDK772 || port.model == ModelVDK9034) {
      int got = 0;
      calls.GetPrnStatus(port.handle, area, kStatusAreaSize, &got);
      if (got == kStatusAreaSize) {
        Include1D61 = false;
        Include1DE0 = false;
        received(gen, ReceivedKind::StatusRecord, area, got);
      } else if (pause(kIdlePauseMs)) {
        return;
      }
    } else if (port.k773Custom) {
      if (!ReadCustomStatusRecord(port.handle, area, kCustomRecordSize)) return;
      received(gen, ReceivedKind::StatusRecord, area, kCustomRecordSize);
      recordWasWholeReply = iUSBClassMode.load() == 1;
    } else if (port.model == ModelVDK773) {
      int got = 0;
      calls.GetPrnStatus(port.handle, area, kStatusAreaSize, &got);
      if (got <= 0) return;
      received(gen, ReceivedKind::StatusRecord, area, std::min(got, kStatusAreaSize));
    }
  }
  if (recordWasWholeReply) {
    pause(kIdlePauseMs);
    return;
  }
  std::vector<uint8_t> buf(kUsbPrinterReadSize, 0);
  const int n = ReadUsbPrinterReply(port.handle, buf.data(), kUsbPrinterReadSize);
  if (n < 0) return;  // nothing came: the pass ends at once
  if (n > 0)
    received(gen, ReceivedKind::Data, buf.data(), n);
  else
    pause(kIdlePauseMs);
}

}  // namespace torva::tools
