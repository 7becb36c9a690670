// Runs part of a test in a forked child process, under limits a test cannot
// put on its own process: no room for file data (RLIMIT_FSIZE 0 with SIGXFSZ
// ignored: every write past a file's end fails with EFBIG, as on a full disk,
// without root and without a disk to fill), and file permissions that bind
// root as well (CAP_DAC_OVERRIDE dropped, so a read-only folder is read-only).
// The child's answer comes back as a string; the parent checks it, so no
// expectation is lost with the child.
#pragma once

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QThreadPool>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace torva::test {

struct ChildLimits {
  bool noFileSpace = false;        // RLIMIT_FSIZE 0, SIGXFSZ ignored
  long long fileSizeLimit = -1;    // >= 0: RLIMIT_FSIZE at that many bytes, SIGXFSZ ignored
  bool permissionsBindRoot = false;  // CAP_DAC_OVERRIDE and CAP_DAC_READ_SEARCH dropped
};

struct ChildRun {
  bool ended = false;   // ended by itself with status 0 within the time
  std::string answer;   // what the body returned
};

namespace detail {
inline void DropPermissionOverride() {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2]{};
  if (syscall(SYS_capget, &header, data) != 0) return;
  data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
  syscall(SYS_capset, &header, data);
}
}  // namespace detail

// The names of the threads of this process that could be inside a lock:
// all but the toolkit's idle pool threads, which wait on a condition,
// holding nothing.
inline std::vector<std::string> BusyThreads() {
  std::vector<std::string> out;
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    std::string name;
    if (FILE* f = std::fopen((task.path() / "comm").c_str(), "r")) {
      char buffer[64] = {};
      if (std::fgets(buffer, sizeof buffer, f)) name = buffer;
      std::fclose(f);
    }
    if (!name.empty() && name.back() == '\n') name.pop_back();
    // No name: the thread ended while it was looked at.
    if (!name.empty() && name != "Thread (pooled)") out.push_back(name);
  }
  return out;
}

// Forks; the child applies the limits, runs `body` and sends back what it
// returns. Only from a process without other threads (see BusyThreads). The parent waits for the answer (at most timeoutMs; a child still
// running then is killed) and for the child's end.
inline ChildRun RunInChild(const std::function<std::string()>& body, ChildLimits limits, int timeoutMs = 60000) {
  ChildRun run;
  // The child has only the thread that forks. Had another one held a lock
  // at that moment (the sanitizer's allocator, the toolkit's), the child
  // would wait on it for ever: so the process must have no other thread.
  // The toolkit's pool keeps idle threads for a while after earlier tests
  // used it: once it is done, they are idle.
  QThreadPool::globalInstance()->waitForDone();
  if (const auto busy = BusyThreads(); busy.size() != 1) {
    run.answer = "not forked: the test process runs other threads:";
    for (const auto& name : busy) run.answer += " [" + name + "]";
    return run;
  }
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return run;
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return run;
  }
  if (pid == 0) {
    close(fds[0]);
    if (limits.noFileSpace || limits.fileSizeLimit >= 0) {
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit{};
      getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = limits.noFileSpace ? 0 : static_cast<rlim_t>(limits.fileSizeLimit);
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (limits.permissionsBindRoot && geteuid() == 0) detail::DropPermissionOverride();
    const std::string answer = body();
    size_t done = 0;
    while (done < answer.size()) {
      const ssize_t n = write(fds[1], answer.data() + done, answer.size() - done);
      if (n <= 0) _exit(2);
      done += static_cast<size_t>(n);
    }
    // No exit handlers: they belong to the parent (its leak check, its
    // temporary folders).
    _exit(0);
  }
  close(fds[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool timedOut = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    const int ready = poll(&p, 1, static_cast<int>(left));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) continue;
    char buffer[4096];
    const ssize_t n = read(fds[0], buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // the child has closed its end
    run.answer.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (timedOut) kill(pid, SIGKILL);
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  run.ended = !timedOut && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return run;
}

}  // namespace torva::test
