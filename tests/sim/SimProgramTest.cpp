// torva-printer-sim as a program: commands on its standard input change the
// printer a host sees; the end of standard input leaves it running (scripts
// start it in the background); quit and SIGTERM stop it cleanly.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include "SimHelpers.h"

extern char** environ;

using simtest::Bytes;
using simtest::ReadFor;
using simtest::WriteBytes;

namespace {

class SimProgram {
 public:
  explicit SimProgram(std::vector<std::string> args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
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

}  // namespace
