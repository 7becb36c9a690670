#include "CupsTestServer.h"

#include <arpa/inet.h>
#include <cups/cups.h>
#include <fcntl.h>
#include <grp.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace torva::test {
namespace {

uint64_t NowMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void Wake(int fd) {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string Tail(const std::string& text, size_t n = 1500) {
  return text.size() <= n ? text : text.substr(text.size() - n);
}

bool WaitChild(pid_t pid, int timeoutMs, int* status) {
  const uint64_t deadline = NowMs() + static_cast<uint64_t>(timeoutMs);
  for (;;) {
    const pid_t r = ::waitpid(pid, status, WNOHANG);
    if (r == pid) return true;
    if (r < 0 && errno != EINTR) return true;
    if (NowMs() >= deadline) return false;
    ::usleep(10000);
  }
}

}  // namespace

// ---------------------------------------------------------------- LoopbackPrinter

LoopbackPrinter::LoopbackPrinter(Mode mode, Bytes reply, bool closeAfterReply)
    : mode_(mode), reply_(std::move(reply)), closeAfterReply_(closeAfterReply) {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listenFd_ < 0 || wakeFd_ < 0 ||
      ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, mode == Mode::NoAccept ? 0 : 16) != 0 ||
      ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { run(); });
}

LoopbackPrinter::~LoopbackPrinter() {
  if (wakeFd_ >= 0) Wake(wakeFd_);
  if (thread_.joinable()) thread_.join();
  if (listenFd_ >= 0) ::close(listenFd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

void LoopbackPrinter::run() {
  struct Client {
    int fd;
    size_t index;
    bool replied;
  };
  std::vector<Client> clients;
  for (;;) {
    std::vector<pollfd> fds;
    fds.push_back({wakeFd_, POLLIN, 0});
    fds.push_back({listenFd_, static_cast<short>(mode_ == Mode::NoAccept ? 0 : POLLIN), 0});
    for (const Client& c : clients)
      fds.push_back({c.fd, static_cast<short>(mode_ == Mode::Silent ? 0 : POLLIN), 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;
    for (size_t i = 0; i < clients.size();) {
      const short ev = fds[2 + i].revents;
      Client& c = clients[i];
      bool drop = false;
      if (ev & (POLLIN | POLLHUP | POLLERR)) {
        uint8_t buf[65536];
        const ssize_t n = ::recv(c.fd, buf, sizeof buf, 0);
        if (n > 0) {
          {
            std::lock_guard<std::mutex> lock(mu_);
            data_[c.index].insert(data_[c.index].end(), buf, buf + n);
          }
          if (!c.replied && !reply_.empty()) {
            c.replied = true;
            [[maybe_unused]] ssize_t s = ::send(c.fd, reply_.data(), reply_.size(), MSG_NOSIGNAL);
            if (closeAfterReply_) drop = true;
          }
        } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
          drop = true;
        }
      }
      // fds is rebuilt each round; keep it in step when a client goes.
      if (drop) {
        ::close(c.fd);
        {
          std::lock_guard<std::mutex> lock(mu_);
          ++closed_;
        }
        clients.erase(clients.begin() + static_cast<long>(i));
        fds.erase(fds.begin() + static_cast<long>(2 + i));
      } else {
        ++i;
      }
    }
    // Accept last: the loop above walks the clients that were polled.
    if (fds[1].revents & POLLIN) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        std::lock_guard<std::mutex> lock(mu_);
        data_.emplace_back();
        clients.push_back({fd, data_.size() - 1, false});
      }
    }
  }
  for (const Client& c : clients) ::close(c.fd);
}

std::vector<Bytes> LoopbackPrinter::connections() const {
  std::lock_guard<std::mutex> lock(mu_);
  return data_;
}

size_t LoopbackPrinter::closedConnections() const {
  std::lock_guard<std::mutex> lock(mu_);
  return closed_;
}

size_t LoopbackPrinter::accepted() const {
  std::lock_guard<std::mutex> lock(mu_);
  return data_.size();
}

Bytes LoopbackPrinter::allBytes() const {
  std::lock_guard<std::mutex> lock(mu_);
  Bytes all;
  for (const Bytes& b : data_) all.insert(all.end(), b.begin(), b.end());
  return all;
}

bool LoopbackPrinter::waitForClosed(size_t n, int timeoutMs) const {
  const uint64_t deadline = NowMs() + static_cast<uint64_t>(timeoutMs);
  while (closedConnections() < n) {
    if (NowMs() >= deadline) return false;
    ::usleep(5000);
  }
  return true;
}

bool LoopbackPrinter::waitForBytes(size_t n, int timeoutMs) const {
  const uint64_t deadline = NowMs() + static_cast<uint64_t>(timeoutMs);
  while (allBytes().size() < n) {
    if (NowMs() >= deadline) return false;
    ::usleep(2000);
  }
  return true;
}

// ---------------------------------------------------------------- NameResponder

NameResponder::NameResponder(std::string reply) : reply_(std::move(reply)) {
  fd_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (fd_ < 0 || wakeFd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    return;
  }
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] {
    for (;;) {
      pollfd fds[2] = {{wakeFd_, POLLIN, 0}, {fd_, POLLIN, 0}};
      if (::poll(fds, 2, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      if (fds[0].revents) return;
      uint8_t buf[256];
      sockaddr_in from{};
      socklen_t fromLen = sizeof from;
      const ssize_t n = ::recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
      if (n == 2 && buf[0] == 'B' && buf[1] == 'G') {
        ++queries_;
        if (!reply_.empty()) {
          ::sendto(fd_, reply_.data(), reply_.size(), 0, reinterpret_cast<sockaddr*>(&from), fromLen);
        }
      }
    }
  });
}

NameResponder::~NameResponder() {
  if (wakeFd_ >= 0) Wake(wakeFd_);
  if (thread_.joinable()) thread_.join();
  if (fd_ >= 0) ::close(fd_);
  if (wakeFd_ >= 0) ::close(wakeFd_);
}

// ---------------------------------------------------------------- CupsTestServer

CupsTestServer::~CupsTestServer() { stop(); }

std::string CupsTestServer::start() {
  if (::access("/usr/sbin/cupsd", X_OK) != 0) return "cupsd is not installed (/usr/sbin/cupsd)";
  char tmpl[] = "/tmp/torva-cups.XXXXXX";
  if (!::mkdtemp(tmpl)) return std::string("mkdtemp failed: ") + std::strerror(errno);
  dir_ = tmpl;
  socket_ = dir_ + "/cups.sock";
  // The scheduler's user (lp) must reach the folders below this one.
  ::chmod(dir_.c_str(), 0755);

  const bool root = ::geteuid() == 0;
  uid_t lpUid = 0;
  gid_t lpGid = 0;
  if (root) {
    const passwd* pw = ::getpwnam("lp");
    const group* gr = ::getgrnam("lp");
    if (!pw || !gr) return "the user or group lp does not exist; cupsd cannot run jobs as root";
    lpUid = pw->pw_uid;
    lpGid = gr->gr_gid;
  }
  for (const char* sub : {"log", "spool", "spool/tmp", "cache", "state"}) {
    const std::string path = dir_ + "/" + sub;
    if (::mkdir(path.c_str(), 0775) != 0) return "cannot create " + path;
    if (root && ::chown(path.c_str(), lpUid, lpGid) != 0) return "cannot give " + path + " to lp";
  }

  {
    std::ofstream conf(dir_ + "/cupsd.conf");
    conf << "Listen " << socket_ << "\n"
         << "LogLevel info\n"
            // Small enough that a test can overrun it, large enough for
            // every document the tests mean to print.
            "MaxRequestSize 1m\n"
            "MaxLogSize 0\n"
            "Browsing No\n"
            "WebInterface No\n"
            "DefaultAuthType None\n"
            "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
            "<Location /admin>\n  Order allow,deny\n  Allow all\n</Location>\n"
            "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n";
  }
  {
    std::ofstream files(dir_ + "/cups-files.conf");
    if (root) files << "User lp\nGroup lp\nSystemGroup root\n";
    files << "ServerRoot " << dir_ << "\n"
          << "RequestRoot " << dir_ << "/spool\n"
          << "TempDir " << dir_ << "/spool/tmp\n"
          << "CacheDir " << dir_ << "/cache\n"
          << "StateDir " << dir_ << "/state\n"
          << "AccessLog " << dir_ << "/log/access_log\n"
          << "ErrorLog " << dir_ << "/log/error_log\n"
          << "PageLog " << dir_ << "/log/page_log\n"
          << "ServerBin /usr/lib/cups\n"
             "DataDir /usr/share/cups\n";
  }

  const std::string out = dir_ + "/cupsd.out";
  const std::string conf = dir_ + "/cupsd.conf";
  const std::string files = dir_ + "/cups-files.conf";
  std::vector<std::string> args = {"/usr/sbin/cupsd", "-f", "-c", conf, "-s", files};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  const int outFd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  const int nullFd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (outFd < 0 || nullFd < 0) return "cannot open the output files of cupsd";
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid == 0) {
    // Only async-signal-safe calls until exec. cupsd ends with this test
    // process even when the test dies without stopping it.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(nullFd, 0);
    ::dup2(outFd, 1);
    ::dup2(outFd, 2);
    ::execve(argv[0], argv.data(), environ);
    ::_exit(127);
  }
  ::close(outFd);
  ::close(nullFd);
  if (pid < 0) return std::string("cannot start cupsd: ") + std::strerror(errno);
  pid_ = pid;

  // Wait (bounded) until the socket accepts a connection.
  const uint64_t deadline = NowMs() + 10000;
  for (;;) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return "cupsd ended at once: " + Tail(ReadFile(out) + ReadFile(dir_ + "/log/error_log"));
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un sa{};
    sa.sun_family = AF_UNIX;
    std::strncpy(sa.sun_path, socket_.c_str(), sizeof sa.sun_path - 1);
    const bool up = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
    if (fd >= 0) ::close(fd);
    if (up) break;
    if (NowMs() >= deadline) {
      const std::string why =
          "cupsd did not open its socket within 10 s: " + Tail(ReadFile(dir_ + "/log/error_log"));
      stop();
      return why;
    }
    ::usleep(10000);
  }
  ::setenv("CUPS_SERVER", socket_.c_str(), 1);
  cupsSetServer(socket_.c_str());
  return {};
}

void CupsTestServer::stop() {
  if (pid_ > 0) {
    ::kill(pid_, SIGTERM);
    int status = 0;
    if (!WaitChild(pid_, 5000, &status)) {
      ::kill(pid_, SIGKILL);
      WaitChild(pid_, 5000, &status);
    }
    pid_ = -1;
  }
  if (!dir_.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
    dir_.clear();
  }
}

std::string CupsTestServer::runTool(const std::vector<std::string>& argvIn, int timeoutMs) {
  const std::string out = dir_ + "/tool.out";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  std::vector<std::string> args = argvIn;
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int rc = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return "cannot start " + args[0] + ": " + std::strerror(rc);
  int status = 0;
  if (!WaitChild(pid, timeoutMs, &status)) {
    ::kill(pid, SIGKILL);
    WaitChild(pid, 2000, &status);
    return args[0] + " did not finish in time";
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
  const std::string text = ReadFile(out);
  return args[0] + " failed: " + (text.empty() ? "(no output)" : text);
}

std::string CupsTestServer::addRawQueue(const std::string& name, const std::string& uri) {
  if (!running()) return "cupsd is not running";
  return runTool({"lpadmin", "-h", socket_, "-p", name, "-E", "-v", uri}, 10000);
}

std::string CupsTestServer::removeQueue(const std::string& name) {
  if (!running()) return "cupsd is not running";
  return runTool({"lpadmin", "-h", socket_, "-x", name}, 10000);
}

std::vector<CupsTestServer::Job> CupsTestServer::jobs(const std::string& queue) const {
  std::vector<Job> list;
  http_t* http =
      httpConnect2(socket_.c_str(), ippPort(), nullptr, AF_UNSPEC, HTTP_ENCRYPTION_NEVER, 1, 5000, nullptr);
  if (!http) return list;
  cups_job_t* found = nullptr;
  const int n = cupsGetJobs2(http, &found, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
  for (int i = 0; i < n; ++i) {
    list.push_back({found[i].id, static_cast<int>(found[i].state), found[i].title ? found[i].title : ""});
  }
  cupsFreeJobs(n, found);
  httpClose(http);
  std::sort(list.begin(), list.end(), [](const Job& a, const Job& b) { return a.id < b.id; });
  return list;
}

bool CupsTestServer::waitIdle(const std::string& queue, int timeoutMs) const {
  const uint64_t deadline = NowMs() + static_cast<uint64_t>(timeoutMs);
  for (;;) {
    const std::vector<Job> list = jobs(queue);
    const bool busy = std::any_of(list.begin(), list.end(), [](const Job& j) {
      return j.state == IPP_JSTATE_PENDING || j.state == IPP_JSTATE_PROCESSING || j.state == IPP_JSTATE_HELD;
    });
    if (!busy) return true;
    if (NowMs() >= deadline) return false;
    ::usleep(20000);
  }
}

}  // namespace torva::test
