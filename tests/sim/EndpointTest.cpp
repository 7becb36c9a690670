// The simulated printer over its real endpoints: a pseudo-terminal opened
// as the host opens a serial port, and loopback TCP.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/socket.h>
#include <netinet/in.h>
#include <arpa/inet.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "SimHelpers.h"
#include "sim/SimPrinter.h"

using simtest::Bytes;
using simtest::ReadFor;
using simtest::WriteBytes;
using torva::sim::Fault;
using torva::sim::SimPrinter;

namespace {

const Bytes kRead06{0x1B, 0x6A, 0x06};

TEST(SimSerial, AnswersOverThePtyAndSurvivesCloseAndReopen) {
  simtest::TempDir dir;
  std::string link = dir.path + "/COM1";
  SimPrinter p(2);
  std::string path = p.startSerial(link);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(p.serialPath(), path);
  EXPECT_EQ(p.startSerial(link), path);  // already running: same port
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), path);

  p.setSetting(0x06, 0x0096);
  for (int round = 0; round < 2; ++round) {
    int fd = simtest::OpenSerial(link);
    ASSERT_GT(fd, 0);
    // A write-setting frame whose value bytes are 0A and 1B, split over two
    // writes, then a read of the same address in the same write as the rest.
    ASSERT_TRUE(WriteBytes(fd, {0x1B, 0x73, 0x5C, 0x31}));
    ASSERT_TRUE(WriteBytes(fd, {0xE7, 0x08, 0x0A, 0x1B, 0x0A, 0x1B, 0x6A, 0x0A}));
    EXPECT_EQ(ReadFor(fd, 2, 2000), (Bytes{0x0A, 0x1B}));
    ASSERT_TRUE(WriteBytes(fd, kRead06));
    EXPECT_EQ(ReadFor(fd, 2, 2000), (Bytes{0x96, 0x00}));
    close(fd);  // the host closes the port; the pty stays up
  }
  EXPECT_EQ(p.log("WriteSetting").size(), 2u);
  EXPECT_EQ(p.log("ReadSetting").size(), 4u);
  EXPECT_EQ(p.log()[0].channel, "serial");
  p.stop();
  struct stat st {};
  EXPECT_NE(lstat(link.c_str(), &st), 0);  // the link goes with the port
  EXPECT_TRUE(p.serialPath().empty());
}

TEST(SimSerial, StatusAndUnsolicitedBytesArriveInBand) {
  SimPrinter p(2);
  std::string path = p.startSerial();
  ASSERT_FALSE(path.empty());
  int fd = simtest::OpenSerial(path);
  ASSERT_GT(fd, 0);
  p.setStatusRecord({0x00, 0x00, 0x01, 0x00});
  ASSERT_TRUE(WriteBytes(fd, {0x1D, 0x61, 0xFF}));
  EXPECT_EQ(ReadFor(fd, 4, 2000), (Bytes{0x00, 0x00, 0x01, 0x00}));
  p.setStatusByte(0, 0x04);
  EXPECT_EQ(ReadFor(fd, 4, 2000), (Bytes{0x04, 0x00, 0x01, 0x00}));
  p.sendUnsolicited({0x7E});
  EXPECT_EQ(ReadFor(fd, 1, 2000), (Bytes{0x7E}));
  close(fd);
}

TEST(SimSerial, HangupReplacesThePtyAndMovesTheLink) {
  simtest::TempDir dir;
  std::string link = dir.path + "/COM2";
  SimPrinter p(2);
  std::string first = p.startSerial(link);
  ASSERT_FALSE(first.empty());
  int fd = simtest::OpenSerial(link);
  ASSERT_GT(fd, 0);
  p.setFault({Fault::Hangup, 1, 0});
  ASSERT_TRUE(WriteBytes(fd, kRead06));
  // The old line goes dead: it polls as hung up and reads fail.
  pollfd pf{fd, POLLIN, 0};
  ASSERT_EQ(poll(&pf, 1, 2000), 1);
  EXPECT_TRUE(pf.revents & (POLLHUP | POLLERR));
  uint8_t b;
  EXPECT_LE(read(fd, &b, 1), 0);
  close(fd);
  // The link now leads to a fresh port that answers.
  std::string second;
  for (int i = 0; i < 200 && (second = p.serialPath()) == first; ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_NE(second, first);
  fd = simtest::OpenSerial(link);
  ASSERT_GT(fd, 0);
  ASSERT_TRUE(WriteBytes(fd, kRead06));
  EXPECT_EQ(ReadFor(fd, 2, 2000).size(), 2u);
  // hangUp() from outside does the same and returns once it is done.
  p.hangUp();
  EXPECT_NE(p.serialPath(), second);
  close(fd);
}

TEST(SimSerial, LinkOverARegularFileIsRefused) {
  simtest::TempDir dir;
  std::string file = dir.path + "/notalink";
  FILE* f = fopen(file.c_str(), "w");
  ASSERT_TRUE(f);
  fclose(f);
  SimPrinter p;
  EXPECT_TRUE(p.startSerial(file).empty());
  struct stat st {};
  ASSERT_EQ(lstat(file.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST(SimTcp, EachConnectionIsASession) {
  SimPrinter p(2);
  int port = p.startTcp(0);
  ASSERT_GT(port, 0);
  EXPECT_EQ(p.startTcp(0), port);
  p.setSetting(0x06, 0x0102);
  int a = simtest::ConnectTcp(port);
  int b = simtest::ConnectTcp(port);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  ASSERT_TRUE(WriteBytes(a, {0x1B, 0x6A}));
  ASSERT_TRUE(WriteBytes(b, {0x1D, 0x61, 0xFF}));
  EXPECT_EQ(ReadFor(b, 4, 2000).size(), 4u);
  ASSERT_TRUE(WriteBytes(a, {0x06}));
  EXPECT_EQ(ReadFor(a, 2, 2000), (Bytes{0x02, 0x01}));
  // Status changes reach only the connection that switched it on.
  p.setStatusByte(1, 0x80);
  EXPECT_EQ(ReadFor(b, 4, 2000), (Bytes{0x00, 0x80, 0x00, 0x00}));
  EXPECT_TRUE(ReadFor(a, 1, 50).empty());
  close(a);
  close(b);
  EXPECT_EQ(p.log()[0].channel, "tcp");
}

TEST(SimTcp, ABurstOfConnectionsIsServed) {
  // More hosts connect at once than the old listen queue held; every one is
  // accepted and answered.
  SimPrinter p;
  p.setReplyDelayMs(0);
  int port = p.startTcp(0);
  ASSERT_GT(port, 0);
  std::vector<int> fds;
  for (int i = 0; i < 40; ++i) {
    int fd = simtest::ConnectTcp(port);
    ASSERT_GT(fd, 0);
    fds.push_back(fd);
  }
  for (int fd : fds) ASSERT_TRUE(WriteBytes(fd, kRead06));
  for (int fd : fds) EXPECT_EQ(ReadFor(fd, 2, 3000).size(), 2u);
  EXPECT_EQ(p.log("ReadSetting").size(), fds.size());
  for (int fd : fds) close(fd);
}

TEST(SimTcp, JobThatSendsAndClosesIsLoggedWhole) {
  SimPrinter p;
  int port = p.startTcp(0);
  ASSERT_GT(port, 0);
  int fd = simtest::ConnectTcp(port);
  ASSERT_GT(fd, 0);
  ASSERT_TRUE(WriteBytes(fd, {'J', 'o', 'b', 0x0A, 0x1D, 0x56, 0x42, 0x10}));
  close(fd);
  ASSERT_TRUE(p.waitForLog(3, 2000));
  std::vector<std::string> names;
  for (const auto& e : p.log()) names.push_back(e.name);
  EXPECT_EQ(names, (std::vector<std::string>{"Data", "FeedLine", "CutPaper"}));
}

// CPU time of this process so far.
double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST(SimTcp, AcceptOutOfDescriptorsBacksOffAndServesLater) {
  SimPrinter p(2);
  p.setReplyDelayMs(0);
  p.setSetting(0x06, 0x0096);
  const int port = p.startTcp(0);
  ASSERT_GT(port, 0);
  // The client's socket is made first; then the process runs out of
  // descriptors, so the printer's accept fails with EMFILE.
  const int client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  ASSERT_GE(client, 0);
  rlimit old{};
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  // A low limit just above the descriptors open now, so filling it is quick.
  int highest = 0;
  for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
    highest = std::max(highest, std::atoi(e.path().filename().c_str()));
  rlimit low = old;
  low.rlim_cur = static_cast<rlim_t>(highest + 8);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
  std::vector<int> filler;
  for (int fd; (fd = dup(0)) >= 0;) filler.push_back(fd);
  ASSERT_EQ(errno, EMFILE);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);  // queued by the kernel
  // A second of the printer failing to accept takes next to no CPU; a loop
  // that polls the still-readable listener again at once takes most of it.
  const double cpu0 = CpuSeconds();
  const auto wall0 = std::chrono::steady_clock::now();
  // The wait is on a read that cannot be answered yet (the connection is
  // not accepted), bounded by time.
  const Bytes early = ReadFor(client, 1, 1000);
  const double cpu = CpuSeconds() - cpu0;
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
  for (int fd : filler) close(fd);
  setrlimit(RLIMIT_NOFILE, &old);
  EXPECT_TRUE(early.empty());
  EXPECT_LT(cpu, 0.25 * wall) << cpu << " s of CPU in " << wall << " s";
  // With descriptors free again the connection is taken and served.
  ASSERT_TRUE(WriteBytes(client, kRead06));
  EXPECT_EQ(ReadFor(client, 2, 5000), (Bytes{0x96, 0x00}));
  close(client);
}

TEST(SimTcp, HangupDropsTheConnection) {
  SimPrinter p;
  int port = p.startTcp(0);
  ASSERT_GT(port, 0);
  int fd = simtest::ConnectTcp(port);
  ASSERT_GT(fd, 0);
  p.setAddressFault(0x06, {Fault::Hangup, 1, 0});
  ASSERT_TRUE(WriteBytes(fd, kRead06));
  uint8_t buf[4];
  pollfd pf{fd, POLLIN, 0};
  ASSERT_EQ(poll(&pf, 1, 2000), 1);
  EXPECT_LE(recv(fd, buf, sizeof buf, 0), 0);  // closed, no reply
  close(fd);
  // A new connection is served; hangUp() drops it from outside.
  fd = simtest::ConnectTcp(port);
  ASSERT_GT(fd, 0);
  ASSERT_TRUE(WriteBytes(fd, kRead06));
  EXPECT_EQ(ReadFor(fd, 2, 2000).size(), 2u);
  p.hangUp();
  pf = {fd, POLLIN, 0};
  ASSERT_EQ(poll(&pf, 1, 2000), 1);
  EXPECT_LE(recv(fd, buf, sizeof buf, 0), 0);
  close(fd);
}

TEST(SimEndpoints, StopWithOpenConnectionsAndARunningLateReply) {
  SimPrinter p;
  std::string path = p.startSerial();
  int port = p.startTcp(0);
  ASSERT_FALSE(path.empty());
  ASSERT_GT(port, 0);
  int s = simtest::OpenSerial(path);
  int t = simtest::ConnectTcp(port);
  ASSERT_GT(s, 0);
  ASSERT_GT(t, 0);
  p.setFault({Fault::LateReply, -1, 5000});
  ASSERT_TRUE(WriteBytes(s, kRead06));
  ASSERT_TRUE(WriteBytes(t, kRead06));
  ASSERT_TRUE(p.waitForLog(2, 2000));
  uint64_t start = simtest::NowMs();
  p.stop();  // cuts the late replies short and joins the threads
  EXPECT_LT(simtest::NowMs() - start, 2000u);
  // Started again after a stop, it serves as before.
  p.clearFault();
  port = p.startTcp(0);
  ASSERT_GT(port, 0);
  int t2 = simtest::ConnectTcp(port);
  ASSERT_TRUE(WriteBytes(t2, kRead06));
  EXPECT_EQ(ReadFor(t2, 2, 2000).size(), 2u);
  close(s);
  close(t);
  close(t2);
}

}  // namespace
