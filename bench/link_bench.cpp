// Serial link figures over a pseudo-terminal to the simulated printer:
//   1. CPU time of a POSReadPort that times out after 2000 ms with no reply
//      (the reads wait in poll(); target: under 20 ms);
//   2. median and 99th-percentile round trip of a read-setting exchange
//      (write 1B 6A 06, exact read of 2 bytes) with the reply delay at 0;
//   3. write throughput of 1 MiB to the simulator.
#include <time.h>

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

  // 3. 1 MiB of plain data (no command bytes), timed until the simulator has
  // received all of it.
  {
    printer.clearLog();
    const size_t before = printer.receivedBytes().size();
    std::vector<uint8_t> data(1 << 20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>('A' + i % 26);
    const double t0 = NowMs();
    const bool ok = POSWritePort(PortCOM, fd, data.data(), static_cast<int>(data.size()));
    const double written = NowMs() - t0;
    size_t got = 0;
    while (NowMs() - t0 < 20000) {
      got = printer.receivedBytes().size() - before;
      if (got >= data.size()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const double all = NowMs() - t0;
    std::printf("3. write of 1 MiB: POSWritePort %s in %.1f ms; the simulator had %zu bytes after %.1f ms: "
                "%.2f MiB/s\n",
                ok ? "true" : "false", written, got, all, (got / 1048576.0) / (all / 1000.0));
  }

  CloseCOM(fd);
  printer.stop();
  return 0;
}
