// torva-printer-sim as a program: commands on its standard input change the
// printer a host sees; the end of standard input leaves it running (scripts
// start it in the background); quit and SIGTERM stop it cleanly; its USB
// socket offers a USB device or a USB printer, and the VD-K773's custom mode.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <ostream>
#include <string>
#include <vector>

#include "SimHelpers.h"
#include "link/USBUnit.h"

extern char** environ;

using simtest::Bytes;
using simtest::ReadFor;
using simtest::WriteBytes;

namespace {

class SimProgram {
 public:
  // With errorsToOutput, its standard error goes to the same pipe as its
  // standard output.
  explicit SimProgram(std::vector<std::string> args, bool errorsToOutput = false) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    if (errorsToOutput) posix_spawn_file_actions_adddup2(&fa, out[1], 2);
    args.insert(args.begin(), std::string(TORVA_BINARY_DIR) + "/torva-printer-sim");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &fa, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&fa);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~SimProgram() {
    closeInput();
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (out_ >= 0) close(out_);
  }
  bool started() const { return pid_ > 0; }
  void type(const std::string& line) {
    const std::string l = line + "\n";
    ASSERT_EQ(write(in_, l.data(), l.size()), static_cast<ssize_t>(l.size()));
  }
  void closeInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
  }
  // Reads standard output until it holds `what`; everything read so far.
  std::string waitFor(const std::string& what, int ms = 5000) {
    return waitUntil([&](const std::string& out) { return out.find(what) != std::string::npos; }, ms);
  }
  template <typename Done>
  std::string waitUntil(Done done, int ms = 5000) {
    const uint64_t deadline = simtest::NowMs() + ms;
    while (!done(output_)) {
      const uint64_t now = simtest::NowMs();
      if (now >= deadline) break;
      pollfd p{out_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(deadline - now)) <= 0) break;
      char buf[512];
      const ssize_t n = read(out_, buf, sizeof buf);
      if (n <= 0) break;
      output_.append(buf, static_cast<size_t>(n));
    }
    return output_;
  }
  // Waits for the program to end; its exit status, or -1.
  int wait(int ms = 5000) {
    const uint64_t deadline = simtest::NowMs() + ms;
    for (;;) {
      int status = 0;
      if (waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (simtest::NowMs() >= deadline) return -1;
      waitUntil([](const std::string&) { return false; }, 20);  // keeps its output pipe from filling
    }
  }
  void terminate() { kill(pid_, SIGTERM); }

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string output_;
};

// The port from the line "tcp: 127.0.0.1:PORT" once it is whole.
int TcpPort(SimProgram& sim) {
  const std::string key = "tcp: 127.0.0.1:";
  const std::string out = sim.waitUntil([&](const std::string& o) {
    const auto at = o.find(key);
    return at != std::string::npos && o.find('\n', at) != std::string::npos;
  });
  const auto at = out.find(key);
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + key.size());
}

TEST(SimProgram, CommandsChangeThePrinterAndEndOfInputLeavesItRunning) {
  SimProgram sim({"--tcp", "0", "--reply-delay", "0"});
  ASSERT_TRUE(sim.started());
  const int port = TcpPort(sim);
  ASSERT_GT(port, 0);
  int fd = simtest::ConnectTcp(port);
  ASSERT_GT(fd, 0);
  ASSERT_TRUE(WriteBytes(fd, {0x1D, 0x61, 0xFF}));
  EXPECT_EQ(ReadFor(fd, 4, 3000), (Bytes{0x00, 0x00, 0x00, 0x00}));
  sim.type("status 00 00 01 00");
  EXPECT_NE(sim.waitFor("status: 00 00 01 00\n").find("status: 00 00 01 00\n"), std::string::npos);
  EXPECT_EQ(ReadFor(fd, 4, 3000), (Bytes{0x00, 0x00, 0x01, 0x00}));
  sim.type("set 06 0A1B");
  sim.waitFor("setting 06 (bank 1) = 0A1B\n");
  // No more input: the simulator serves on.
  sim.closeInput();
  sim.waitFor("standard input closed");
  ASSERT_TRUE(WriteBytes(fd, {0x1B, 0x6A, 0x06}));
  EXPECT_EQ(ReadFor(fd, 2, 3000), (Bytes{0x1B, 0x0A}));
  close(fd);
  sim.terminate();
  EXPECT_EQ(sim.wait(), 0);
  EXPECT_NE(sim.waitFor("stopping").find("torva-printer-sim: stopping"), std::string::npos);
}

TEST(SimProgram, QuitStops) {
  SimProgram sim({"--tcp", "0"});
  ASSERT_TRUE(sim.started());
  ASSERT_GT(TcpPort(sim), 0);
  sim.type("bogus");
  EXPECT_NE(sim.waitFor("unknown command").find("unknown command 'bogus'"), std::string::npos);
  sim.type("quit");
  EXPECT_EQ(sim.wait(), 0);
}

// What the program's USB socket shows the console: the device indexes the
// device library opens (the port dialog lists USB printers only when there
// is none), the printers the printer library lists, and what the dialog's
// framing probe of a VD-K773 reads on the custom channel.
struct UsbView {
  std::vector<int> devices;
  std::string printers;  // as EnumUSBPrinter returns them, "@" after each
  int classMode = -1;    // offset 7 of the mode report (1D 6A 6F), not 0: 1
  int statusBytes = -1;  // offset 0 of the mode report
  int customFlag = -1;   // the low byte of setting C4 behind the framing
};

UsbView LookAtUsb(const std::string& socket) {
  setenv("TORVA_USB_SIM", socket.c_str(), 1);
  UsbView v;
  for (int i = 0; i < 8; ++i) {
    const int h = UsbDevice::OpenDeviceX(i);
    if (h < 0) continue;
    v.devices.push_back(i);
    UsbDevice::CloseDevice(h);
  }
  char names[UsbPrinter::kEnumBufferSize] = {};
  if (UsbPrinter::EnumUSBPrinter(names, sizeof names) > 0) v.printers = names;
  if (UsbPrinter::OpenQfUSBPrinter(1) <= 0) return v;
  UsbPrinter::SetPortTimeout(3000, 2000);
  const uint8_t modeQuery[] = {0x1B, 0x6A, 0x6F}, flagQuery[] = {0x1B, 0x6A, 0xC4};
  uint8_t reply[64] = {};
  if (UsbPrinter::WriteQfUSBPrinter(modeQuery, 3) == 3 && UsbPrinter::ReadQfUSBPrinter(reply, 9) == 9) {
    v.classMode = reply[7] != 0 ? 1 : 0;
    v.statusBytes = reply[0];
    const int length = v.classMode == 1 ? v.statusBytes + 3 : 9;
    if (UsbPrinter::WriteQfUSBPrinter(flagQuery, 3) == 3 && UsbPrinter::ReadQfUSBPrinter(reply, length) == length)
      v.customFlag = reply[v.statusBytes + 1];
  }
  UsbPrinter::CloseQfUSBPrinter();
  return v;
}

struct UsbCase {
  const char* name;
  std::vector<std::string> args;
  const char* typed;  // a command typed before the console looks, or null
  std::vector<int> devices;
  const char* printers;
  int classMode, statusBytes, customFlag;
};

// The case by its name in the test list, not by its bytes.
void PrintTo(const UsbCase& c, std::ostream* os) { *os << c.name; }

class SimProgramUsb : public ::testing::TestWithParam<UsbCase> {};

TEST_P(SimProgramUsb, SocketOffersWhatTheOptionsSay) {
  const UsbCase& c = GetParam();
  simtest::TempDir dir;
  const std::string socket = dir.path + "/usb";
  std::vector<std::string> args = {"--usb-socket", socket, "--reply-delay", "0"};
  args.insert(args.end(), c.args.begin(), c.args.end());
  SimProgram sim(args);
  ASSERT_TRUE(sim.started());
  const std::string out = sim.waitFor("usb: " + socket);
  ASSERT_NE(out.find("usb: " + socket), std::string::npos) << out;
  if (c.typed) {
    sim.type(c.typed);
    sim.waitFor("setting C4 (bank 1) = ");
  }
  const UsbView v = LookAtUsb(socket);
  EXPECT_EQ(v.devices, c.devices);
  EXPECT_EQ(v.printers, c.printers);
  EXPECT_EQ(v.classMode, c.classMode);
  EXPECT_EQ(v.statusBytes, c.statusBytes);
  EXPECT_EQ(v.customFlag, c.customFlag);
  sim.terminate();
  EXPECT_EQ(sim.wait(), 0);
}

// Model 2 keeps no setting C4 (it reads FF FF); the VD-K773 holds 0000 until
// --k773-custom or "set C4 0001" puts it in its custom mode.
INSTANTIATE_TEST_SUITE_P(
    Options, SimProgramUsb,
    ::testing::Values(UsbCase{"DeviceAndPrinter", {}, nullptr, {0}, "VD-M512II@", 1, 2, 0xFF},
                      UsbCase{"PrinterOnly", {"--usb-printer"}, nullptr, {}, "VD-M512II@", 1, 2, 0xFF},
                      UsbCase{"K773Plain", {"--usb-printer", "--model", "12"}, nullptr, {}, "VD-K773@", 1, 2, 0},
                      UsbCase{"K773SwitchedByCommand",
                              {"--usb-printer", "--model", "12"},
                              "set C4 0001",
                              {},
                              "VD-K773@",
                              1,
                              2,
                              1},
                      UsbCase{"K773Custom", {"--k773-custom"}, nullptr, {}, "VD-K773@", 1, 2, 1},
                      UsbCase{"K773CustomFourStatusBytes", {"--k773-custom=1,4"}, nullptr, {}, "VD-K773@", 1, 4, 1},
                      UsbCase{"K773CustomClassMode0", {"--model", "12", "--k773-custom=0"}, nullptr, {}, "VD-K773@", 0,
                              0, 1}),
    [](const ::testing::TestParamInfo<UsbCase>& i) { return std::string(i.param.name); });

TEST(SimProgram, UsbOptionsThatCannotBeServedAreRefused) {
  struct Case {
    std::vector<std::string> args;
    const char* said;
  } const cases[] = {
      {{"--usb-printer", "--tcp", "0"}, "--usb-printer needs --usb-socket"},
      {{"--k773-custom", "--tcp", "0"}, "--k773-custom needs --usb-socket"},
      {{"--k773-custom", "--model", "2", "--usb-socket", "/nonexistent/usb"}, "the custom USB mode is the VD-K773's"},
      {{"--k773-custom=2", "--usb-socket", "/nonexistent/usb"}, "CLASS 0 or 1"},
      {{"--k773-custom=1,x", "--usb-socket", "/nonexistent/usb"}, "CLASS 0 or 1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.said);
    SimProgram sim(c.args, /*errorsToOutput=*/true);
    ASSERT_TRUE(sim.started());
    EXPECT_EQ(sim.wait(), 2);
    EXPECT_NE(sim.waitFor(c.said).find(c.said), std::string::npos);
  }
}

}  // namespace
