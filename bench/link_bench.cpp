// Serial link figures over pseudo-terminals, each beside an independent
// floor in the same run (plain programs on the same kind of terminal):
//   1. CPU time of a POSReadPort that times out after 2000 ms with no reply
//      (the reads wait in poll(); target: under 20 ms);
//   2. round trip of a read-setting exchange (write 1B 6A 06, exact read of 2
//      bytes): POSWritePort + POSReadPort against a plain responder thread
//      (reads 3 bytes, answers 2) and against the simulated printer (its reply
//      delay at 0), beside the floor: plain write() and read() against the
//      same plain responder;
//   3. a 1 MiB write: POSWritePort to a terminal whose other end a plain
//      thread reads, beside the floor (plain write() to the same kind of
//      terminal); POSWritePort to the simulated printer; and the simulator's
//      own cost of 1 MiB fed into a session in process (its parsing, no line).
// Figures are the median and the minimum of the runs (at least five).
// Pauses scaled: the simulator's reply delay (3 ms by default) to 0 in 2.
//
//   link_bench [exchanges, default 1000] [runs, default 7]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <thread>
#include <vector>

#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/Descriptors.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"

#include "PlainFloor.h"

namespace {

using plainfloor::CpuMs;
using plainfloor::NowMs;
using plainfloor::PlainPty;

constexpr size_t kMiB = 1 << 20;

// A thread that reads the master of `pty` until `n` bytes came; returns
// when it has them.
std::thread Drain(const PlainPty& pty, size_t n) {
  const int master = pty.master;
  return std::thread([master, n] {
    uint8_t buf[4096];
    size_t got = 0;
    while (got < n) {
      const ssize_t r = read(master, buf, sizeof buf);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
  });
}

// 3, floor: plain write() of data to the terminal while a plain thread reads
// the master; ms until all arrived, -1 when no pseudo-terminal opens.
double BarePtyMs(const std::vector<uint8_t>& data) {
  PlainPty pty;
  if (!pty.open()) return -1;
  const double t0 = NowMs();
  std::thread reader = Drain(pty, data.size());
  plainfloor::WriteAll(pty.held, data.data(), data.size());
  reader.join();
  return NowMs() - t0;
}

// 3: POSWritePort of data to a terminal opened by OpenCOM, a plain thread
// reading the other end.
double LinkToPlainReaderMs(const std::vector<uint8_t>& data) {
  PlainPty pty;
  if (!pty.open()) return -1;
  const int fd = OpenCOM(pty.name, 115200, 8, 1, "DTR/DSR", "None");
  if (fd <= 0) return -1;
  const double t0 = NowMs();
  std::thread reader = Drain(pty, data.size());
  const bool ok = POSWritePort(PortCOM, fd, data.data(), static_cast<int>(data.size()));
  reader.join();
  const double ms = NowMs() - t0;
  CloseCOM(fd);
  return ok ? ms : -1;
}

// 2: a plain responder on the master of `pty`: reads 3 bytes, answers 2.
std::thread Responder(const PlainPty& pty, int exchanges) {
  const int master = pty.master;
  return std::thread([master, exchanges] {
    for (int i = 0; i < exchanges; ++i) {
      uint8_t cmd[3];
      if (!plainfloor::ReadExact(master, cmd, 3, -1)) return;
      const uint8_t reply[2] = {0x96, 0x00};
      if (write(master, reply, 2) != 2) return;
    }
  });
}

struct Trips {
  std::vector<double> ms;
  int failures = 0;
};

void PrintTrips(const char* what, const Trips& t) {
  if (t.ms.empty()) {
    std::printf("2. %s: every exchange failed\n", what);
    return;
  }
  const plainfloor::Stats s = plainfloor::Of(t.ms);
  std::printf("2. %-58s %5zu answered, %d failed: median %.3f ms, min %.3f ms, 99th percentile %.3f ms\n", what,
              s.count, t.failures, s.median, s.min, s.p99);
}

// The median and the least of a figure's runs (-1 when there are none).
double Median(const std::vector<double>& v) { return plainfloor::Of(v, -1).median; }
double Least(const std::vector<double>& v) { return plainfloor::Of(v, -1).min; }

struct Cost {
  double wallMs = 0;
  double cpuMs = 0;
};

// Feeds data to a session of a fresh simulator in 4 KiB pieces, as its
// endpoints do, on this thread.
Cost SessionCost(const std::vector<uint8_t>& data) {
  torva::sim::SimPrinter printer(ModelVDM512II);
  auto session = printer.openSession("bench", [](const torva::sim::Bytes&) {}, true);
  const double cpu0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
  const double wall0 = NowMs();
  for (size_t i = 0; i < data.size(); i += 4096)
    session->hostBytes(data.data() + i, std::min<size_t>(4096, data.size() - i));
  Cost c{NowMs() - wall0, CpuMs(CLOCK_THREAD_CPUTIME_ID) - cpu0};
  printer.closeSession(session);
  return c;
}

}  // namespace

int main(int argc, char** argv) {
  EnsureStdDescriptors();
  int exchanges = 1000;
  if (argc > 1) exchanges = std::max(1, std::atoi(argv[1]));
  const int runs = argc > 2 ? std::max(5, std::atoi(argv[2])) : 7;

  torva::sim::SimPrinter printer(ModelVDM512II);
  const std::string path = printer.startSerial();
  if (path.empty()) {
    std::fprintf(stderr, "link_bench: the simulator's serial endpoint did not start\n");
    return 1;
  }
  const int fd = OpenCOM(path, 115200, 8, 1, "DTR/DSR", "None");
  if (fd <= 0) {
    std::fprintf(stderr, "link_bench: cannot open %s\n", path.c_str());
    return 1;
  }
  std::printf("serial link over pseudo-terminals; %d runs of each figure of 3\n", runs);

  // 1. A read that times out: nothing was asked, so nothing comes.
  {
    uint8_t buf[2];
    const double thread0 = CpuMs(CLOCK_THREAD_CPUTIME_ID);
    const double process0 = CpuMs(CLOCK_PROCESS_CPUTIME_ID);
    const double wall0 = NowMs();
    const bool ok = POSReadPort(PortCOM, fd, buf, 2, 2000);
    const double wall = NowMs() - wall0;
    const double thread = CpuMs(CLOCK_THREAD_CPUTIME_ID) - thread0;
    const double process = CpuMs(CLOCK_PROCESS_CPUTIME_ID) - process0;
    std::printf("1. timed-out POSReadPort(2 bytes, 2000 ms): result %s after %.1f ms wall, CPU %.3f ms "
                "(calling thread), %.3f ms (whole process) %s\n",
                ok ? "true" : "false", wall, thread, process, thread < 20.0 ? "[target < 20 ms: met]"
                                                                             : "[target < 20 ms: MISSED]");
  }

  // 2. Read-setting round trips.
  {
    const uint8_t cmd[] = {0x1B, 0x6A, 0x06};
    // a. The floor: plain write() and read() against a plain responder.
    {
      PlainPty pty;
      Trips t;
      if (pty.open()) {
        std::thread responder = Responder(pty, exchanges);
        for (int i = 0; i < exchanges; ++i) {
          const double t0 = NowMs();
          uint8_t reply[2];
          const bool ok = write(pty.held, cmd, 3) == 3 && plainfloor::ReadExact(pty.held, reply, 2, -1);
          if (ok) t.ms.push_back(NowMs() - t0);
          else ++t.failures;
        }
        responder.join();
      }
      PrintTrips("floor: plain write/read, plain responder", t);
    }
    // b. The link's routines against the same plain responder.
    {
      PlainPty pty;
      Trips t;
      if (pty.open()) {
        const int link = OpenCOM(pty.name, 115200, 8, 1, "DTR/DSR", "None");
        std::thread responder = Responder(pty, exchanges);
        for (int i = 0; i < exchanges; ++i) {
          uint8_t reply[2];
          const double t0 = NowMs();
          const bool ok = POSWritePort(PortCOM, link, cmd, 3) && POSReadPort(PortCOM, link, reply, 2, 1000);
          if (ok) t.ms.push_back(NowMs() - t0);
          else ++t.failures;
        }
        responder.join();
        CloseCOM(link);
      }
      PrintTrips("POSWritePort + POSReadPort, plain responder", t);
    }
    // c. The link's routines against the simulated printer.
    {
      printer.setReplyDelayMs(0);
      Trips t;
      const uint16_t value = printer.setting(0x06);
      for (int i = 0; i < exchanges; ++i) {
        uint8_t reply[2];
        const double t0 = NowMs();
        bool ok = POSWritePort(PortCOM, fd, cmd, 3) && POSReadPort(PortCOM, fd, reply, 2, 1000);
        const double ms = NowMs() - t0;
        ok = ok && reply[0] == (value & 0xFF) && reply[1] == (value >> 8);
        if (ok) t.ms.push_back(ms);
        else ++t.failures;
      }
      PrintTrips("POSWritePort + POSReadPort, simulator (reply delay 0)", t);
    }
  }

  // 3. A 1 MiB write, taken apart.
  {
    std::vector<uint8_t> data(kMiB);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>('A' + i % 26);
    std::vector<double> bare, link, sim, simWall, simCpu, linesWall, linesCpu;
    // Print text with a line feed and an unknown escape (data) every 64
    // bytes: bytes that start commands, or might.
    std::vector<uint8_t> text(data);
    for (size_t i = 63; i + 3 < text.size(); i += 64) {
      text[i - 3] = 0x1B;
      text[i - 2] = 0x21;
      text[i - 1] = 0x00;
      text[i] = 0x0A;
    }
    size_t simGot = 0;
    for (int r = 0; r < runs; ++r) {
      bare.push_back(BarePtyMs(data));
      link.push_back(LinkToPlainReaderMs(data));
      printer.clearLog();
      const double t0 = NowMs();
      const bool ok = POSWritePort(PortCOM, fd, data.data(), static_cast<int>(data.size()));
      printer.waitForReceived(data.size(), 20000);
      sim.push_back(ok ? NowMs() - t0 : -1);
      simGot = printer.receivedCount();
      const Cost plain = SessionCost(data);
      simWall.push_back(plain.wallMs);
      simCpu.push_back(plain.cpuMs);
      const Cost lines = SessionCost(text);
      linesWall.push_back(lines.wallMs);
      linesCpu.push_back(lines.cpuMs);
    }
    std::printf("3. floor: 1 MiB by plain write() through a pseudo-terminal, a plain reader: median %.1f ms, min "
                "%.1f ms\n",
                Median(bare), Least(bare));
    std::printf("3. POSWritePort of 1 MiB, the same plain reader: median %.1f ms, min %.1f ms (%.0f %% of the "
                "floor's speed)\n",
                Median(link), Least(link), Median(link) > 0 ? Median(bare) / Median(link) * 100 : 0);
    std::printf("3. POSWritePort of 1 MiB to the simulator, until it had every byte: median %.1f ms, min %.1f ms "
                "(%zu bytes arrived in the last run)\n",
                Median(sim), Least(sim), simGot);
    std::printf("3. the simulator's own cost of 1 MiB of plain data fed into a session in process: wall median "
                "%.1f ms, min %.1f ms; CPU median %.1f ms (%.1f ns a byte)\n",
                Median(simWall), Least(simWall), Median(simCpu), Median(simCpu) * 1e6 / kMiB);
    std::printf("3. the same for 1 MiB of text lines (0A and 1B 21 00 every 64 bytes): wall median %.1f ms, min "
                "%.1f ms; CPU median %.1f ms\n",
                Median(linesWall), Least(linesWall), Median(linesCpu));
  }

  CloseCOM(fd);
  printer.stop();
  return 0;
}
