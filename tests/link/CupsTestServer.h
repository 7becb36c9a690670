// Test peers of the Ethernet and spooler tests, all on loopback or Unix
// sockets only:
//  - LoopbackPrinter: a TCP listener on 127.0.0.1 that records what each
//    connection sends and can answer, stay silent or never accept;
//  - NameResponder: a datagram socket on 127.0.0.1 that answers "BG" with a
//    given reply and counts the queries;
//  - CupsTestServer: a private cupsd in a temporary folder, listening on a
//    Unix socket there, with CUPS_SERVER pointing at it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace torva::test {

using Bytes = std::vector<uint8_t>;

class LoopbackPrinter {
 public:
  enum class Mode {
    Record,    // read everything; send `reply` once after the first bytes
    Silent,    // accept, then never read nor write
    NoAccept,  // listen with a backlog of 0 and never accept
  };
  explicit LoopbackPrinter(Mode mode = Mode::Record, Bytes reply = {}, bool closeAfterReply = false);
  ~LoopbackPrinter();
  LoopbackPrinter(const LoopbackPrinter&) = delete;
  LoopbackPrinter& operator=(const LoopbackPrinter&) = delete;

  int port() const { return port_; }
  // What every connection sent, in order of acceptance.
  std::vector<Bytes> connections() const;
  // Connections the peer has closed (a finished RAW job).
  size_t closedConnections() const;
  Bytes allBytes() const;
  bool waitForClosed(size_t n, int timeoutMs) const;
  bool waitForBytes(size_t n, int timeoutMs) const;
  size_t accepted() const;

 private:
  void run();
  Mode mode_;
  Bytes reply_;
  bool closeAfterReply_;
  int listenFd_ = -1;
  int wakeFd_ = -1;
  int port_ = 0;
  mutable std::mutex mu_;
  std::vector<Bytes> data_;
  size_t closed_ = 0;
  std::thread thread_;
};

class NameResponder {
 public:
  explicit NameResponder(std::string reply);
  ~NameResponder();
  int port() const { return port_; }
  int queries() const { return queries_.load(); }

 private:
  int fd_ = -1;
  int wakeFd_ = -1;
  int port_ = 0;
  std::string reply_;
  std::atomic<int> queries_{0};
  std::thread thread_;
};

// A private cupsd. start() builds the folder and its two configuration files,
// starts cupsd in the foreground as a child, waits (bounded) until its socket
// accepts, and points CUPS_SERVER (and cupsSetServer) at that socket. stop()
// ends it by its process id and removes the folder.
class CupsTestServer {
 public:
  CupsTestServer() = default;
  ~CupsTestServer();
  // Empty on success, else why cupsd could not be started.
  std::string start();
  void stop();
  bool running() const { return pid_ > 0; }
  const std::string& socketPath() const { return socket_; }
  const std::string& folder() const { return dir_; }

  // lpadmin -p NAME -E -v URI (raw queue); lpadmin -x NAME. Empty on success,
  // else the tool's output.
  std::string addRawQueue(const std::string& name, const std::string& uri);
  std::string removeQueue(const std::string& name);

  // Waits until the queue has no pending or processing job.
  bool waitIdle(const std::string& queue, int timeoutMs) const;
  struct Job {
    int id;
    int state;  // IPP job-state value (IPP_JSTATE_COMPLETED, ...)
    std::string title;
  };
  // Every job of the queue, oldest first.
  std::vector<Job> jobs(const std::string& queue) const;

 private:
  std::string runTool(const std::vector<std::string>& argv, int timeoutMs);
  std::string dir_;
  std::string socket_;
  pid_t pid_ = -1;
};

}  // namespace torva::test
