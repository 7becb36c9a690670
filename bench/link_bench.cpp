// Serial link figures over a pseudo-terminal to the simulated printer:
//   1. CPU time of a POSReadPort that times out after 2000 ms with no reply
//      (the reads wait in poll(); target: under 20 ms);
//   2. median and 99th-percentile round trip of a read-setting exchange
//      (write 1B 6A 06, exact read of 2 bytes) with the reply delay at 0;
//   3. a 1 MiB write: through a bare pseudo-terminal (the line's own cost),
//      fed straight into a simulator session (the simulator's cost), and the
//      whole road from POSWritePort to the simulator.
#include <fcntl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/Descriptors.h"
#include "link/EepromControl.h"
#include "link/PortState.h"
#include "sim/SimPrinter.h"

namespace {

double CpuMs(clockid_t clock) {
  timespec t{};
  clock_gettime(clock, &t);
  return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

double NowMs() {
  using namespace std::chrono;
  return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

constexpr size_t kMiB = 1 << 20;

// Writes data to the slave of a fresh raw pseudo-terminal while a thread
// reads the master and throws the bytes away; ms until all arrived, -1 when
// no pseudo-terminal opens.
double BarePtyMs(const std::vector<uint8_t>& data) {
  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return -1;
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    close(master);
    return -1;
  }
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    close(master);
    return -1;
  }
  for (int fd : {master, slave}) {
    termios t{};
    tcgetattr(fd, &t);
    cfmakeraw(&t);
    tcsetattr(fd, TCSANOW, &t);
  }
  const double t0 = NowMs();
  std::thread reader([&] {
    uint8_t buf[4096];
    size_t got = 0;
    while (got < data.size()) {
      const ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;
      got += static_cast<size_t>(n);
    }
  });
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = write(slave, data.data() + done, data.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  reader.join();
  const double ms = NowMs() - t0;
  close(slave);
  close(master);
  return ms;
}

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
  std::printf("serial link over %s to the simulated printer\n", path.c_str());

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
    printer.setReplyDelayMs(0);
    const uint8_t cmd[] = {0x1B, 0x6A, 0x06};
    std::vector<double> trips;
    trips.reserve(static_cast<size_t>(exchanges));
    int failures = 0;
    const uint16_t value = printer.setting(0x06);
    for (int i = 0; i < exchanges; ++i) {
      uint8_t reply[2];
      const double t0 = NowMs();
      bool ok = POSWritePort(PortCOM, fd, cmd, 3) && POSReadPort(PortCOM, fd, reply, 2, 1000);
      const double t = NowMs() - t0;
      ok = ok && reply[0] == (value & 0xFF) && reply[1] == (value >> 8);
      if (ok)
        trips.push_back(t);
      else
        ++failures;
    }
    std::sort(trips.begin(), trips.end());
    if (trips.empty()) {
      std::printf("2. read-setting round trip: every exchange failed\n");
    } else {
      const double median = trips[trips.size() / 2];
      const double p99 = trips[std::min(trips.size() - 1, trips.size() * 99 / 100)];
      std::printf("2. read-setting round trip (1B 6A 06 -> 2 bytes), %zu exchanges answered right, %d failed or wrong: median %.3f ms, "
                  "99th percentile %.3f ms, max %.3f ms\n",
                  trips.size(), failures, median, p99, trips.back());
    }
  }

  // 3. A 1 MiB write, taken apart.
  {
    std::vector<uint8_t> data(kMiB);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>('A' + i % 26);

    // a. What the pseudo-terminal itself costs: a bare pair, a thread that
    //    only reads the master.
    const double bare = BarePtyMs(data);
    if (bare < 0)
      std::printf("3a. 1 MiB through a bare pseudo-terminal: could not open one\n");
    else
      std::printf("3a. 1 MiB through a bare pseudo-terminal (reader does nothing): %.1f ms\n", bare);

    // b. What the simulator costs: the bytes fed straight into a session
    //    in the 4 KiB pieces its endpoints read, parsed and logged.
    const Cost plain = SessionCost(data);
    std::printf("3b. simulator cost of 1 MiB of plain data, in process: %.1f ms wall, %.1f ms CPU "
                "(%.1f ns a byte)\n",
                plain.wallMs, plain.cpuMs, plain.cpuMs * 1e6 / kMiB);
    // Print text with a line feed and an unknown escape (data) every 64
    // bytes: bytes that start commands, or might.
    std::vector<uint8_t> text(data);
    for (size_t i = 63; i + 3 < text.size(); i += 64) {
      text[i - 3] = 0x1B;
      text[i - 2] = 0x21;
      text[i - 1] = 0x00;
      text[i] = 0x0A;
    }
    const Cost lines = SessionCost(text);
    std::printf("3b. simulator cost of 1 MiB of text lines (0A and 1B 21 00 every 64 bytes): %.1f ms wall, "
                "%.1f ms CPU\n",
                lines.wallMs, lines.cpuMs);

    // c. The whole road: POSWritePort to the simulator's pseudo-terminal,
    //    timed until the simulator has received every byte.
    printer.clearLog();
    const double t0 = NowMs();
    const bool ok = POSWritePort(PortCOM, fd, data.data(), static_cast<int>(data.size()));
    const double written = NowMs() - t0;
    printer.waitForReceived(data.size(), 20000);
    const double all = NowMs() - t0;
    const size_t got = printer.receivedCount();
    std::printf("3c. write of 1 MiB to the simulator: POSWritePort %s in %.1f ms; the simulator had %zu bytes "
                "after %.1f ms: %.2f MiB/s\n",
                ok ? "true" : "false", written, got, all, (got / 1048576.0) / (all / 1000.0));
  }

  CloseCOM(fd);
  printer.stop();
  return 0;
}
