// Serial transport on termios.
//
// A port is opened non-blocking and exclusive (TIOCEXCL, and flock because
// root ignores TIOCEXCL), configured raw with the caller's speed, data bits,
// stop bits, parity and flow control, with reads that return at once with
// what is queued. Writes get their deadline from SerialWriteTimeoutMs; the
// common write routine waits in poll(POLLOUT) until it, and then until the
// bytes have left the output queue (a write held back by flow control fails,
// at the deadline or once the printer has taken nothing for 4 s).
//
// Settings are applied through SerialTermiosCalls() and read back: a port
// that silently keeps another byte size, parity, stop bits or speed than the
// one asked (a pseudo-terminal keeps 8 data bits when asked for 7) counts as
// refusing its settings, so the open fails with nothing left open.
#include "link/COMUnit.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <climits>
#include <map>
#include <mutex>

#include "link/PortNames.h"
#include "link/SerialIo.h"

std::atomic<int> m_hdev_Com{-1};

namespace {

// Write time-out of each open serial descriptor: constant + perByte * length.
struct WriteTimeout {
  int constant = 3000;
  int perByte = 0;
};
std::mutex g_timeoutMutex;
std::map<int, WriteTimeout> g_writeTimeouts;

bool SpeedFor(int baud, speed_t* speed) {
  switch (baud) {
    case 1200: *speed = B1200; return true;
    case 2400: *speed = B2400; return true;
    case 4800: *speed = B4800; return true;
    case 9600: *speed = B9600; return true;
    case 19200: *speed = B19200; return true;
    case 38400: *speed = B38400; return true;
    case 57600: *speed = B57600; return true;
    case 115200: *speed = B115200; return true;
    case 230400: *speed = B230400; return true;
    case 460800: *speed = B460800; return true;
    case 921600: *speed = B921600; return true;
    default: return false;
  }
}

bool SizeFor(int databits, tcflag_t* size) {
  switch (databits) {
    case 5: *size = CS5; return true;
    case 6: *size = CS6; return true;
    case 7: *size = CS7; return true;
    case 8: *size = CS8; return true;
    default: return false;
  }
}

// Closes a descriptor this unit opened: gives up the exclusive mode first, so
// that a device kept open elsewhere (the simulator's own end of a pty) can be
// opened again by an ordinary user. Output that has not left (a write that
// failed against a CTS line held low) is discarded first: the kernel would
// otherwise hold the close for up to its closing wait (30 s by default).
bool CloseSerialFd(int fd) {
  if (fd <= 0) return false;
  serialio::DiscardPendingOutput(fd);
  ioctl(fd, TIOCNXCL);
  {
    std::lock_guard<std::mutex> lock(g_timeoutMutex);
    g_writeTimeouts.erase(fd);
  }
  return close(fd) == 0;
}

// Step 1 of every serial open: the device for `name`, read and write,
// existing only, no controlling terminal, exclusive. Returns the descriptor or
// -1.
int OpenExclusive(const std::string& name) {
  const std::string device = SerialDeviceForPort(name);
  if (device.empty()) return -1;
  const int fd = open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  if (fd == 0) {  // never a handle of 0: the caller would read it as "no port"
    close(fd);
    return -1;
  }
  if (ioctl(fd, TIOCEXCL) != 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

bool SameLine(const termios& want, const termios& got) {
  const tcflag_t mask = CSIZE | PARENB | PARODD | CSTOPB;
  return (want.c_cflag & mask) == (got.c_cflag & mask) && cfgetospeed(&want) == cfgetospeed(&got) &&
         cfgetispeed(&want) == cfgetispeed(&got);
}

// What the open discards: both queues, or the input queue only.
enum class OpenFlush { Both, InputOnly };

int OpenAndConfigure(const std::string& Name, int Baudrate, int Databits, int Stopbits,
                     const std::string& Handshake, const std::string& Parity, WriteTimeout writeTimeout,
                     OpenFlush flush = OpenFlush::Both) {
  m_hdev_Com = -1;
  speed_t speed = B0;
  tcflag_t size = CS8;
  const bool settingsValid = SpeedFor(Baudrate, &speed) && SizeFor(Databits, &size);

  const int fd = OpenExclusive(Name);
  if (fd < 0) return -1;
  m_hdev_Com = fd;

  auto fail = [fd]() {
    CloseSerialFd(fd);
    m_hdev_Com = -1;
    return -1;
  };
  if (!settingsValid) return fail();

  SerialCalls& calls = SerialTermiosCalls();
  termios old{};
  if (calls.getAttr(fd, &old) != 0) return fail();

  termios t = old;
  // Raw line: no input or output processing, no echo, no signals; every
  // option flag off, as the line discipline of a printer port needs.
  t.c_iflag = 0;
  t.c_oflag = 0;
  t.c_lflag = 0;
  const tcflag_t keepParity = old.c_cflag & (PARENB | PARODD | CMSPAR);
  const tcflag_t keepStop = old.c_cflag & CSTOPB;
  t.c_cflag = CREAD | CLOCAL | size;
  if (Stopbits == 2)
    t.c_cflag |= CSTOPB;
  else if (Stopbits != 1)
    t.c_cflag |= keepStop;  // any other value keeps what the port had

  const bool software = Handshake == "XON/XOFF";
  if (software) {
    t.c_iflag |= IXON | IXOFF;
    t.c_cc[VSTART] = 0x11;
    t.c_cc[VSTOP] = 0x13;
  } else {
    t.c_cflag |= CRTSCTS;
  }

  if (Parity == "Odd")
    t.c_cflag |= PARENB | PARODD;
  else if (Parity == "Even")
    t.c_cflag |= PARENB;
  else if (Parity != "None")
    t.c_cflag |= keepParity;  // any other text keeps what the port had

  t.c_cc[VMIN] = 0;  // a read returns at once with whatever is queued
  t.c_cc[VTIME] = 0;
  cfsetospeed(&t, speed);
  cfsetispeed(&t, speed);

  if (calls.setAttr(fd, TCSANOW, &t) != 0) return fail();
  termios applied{};
  if (calls.getAttr(fd, &applied) != 0 || !SameLine(t, applied)) return fail();

  // Modem lines: DTR off in both modes; RTS held on with hardware flow
  // control, off with software flow control. A port without modem lines (a
  // pseudo-terminal) refuses these, which does not matter to the data.
  int dtr = TIOCM_DTR;
  calls.modemIoctl(fd, TIOCMBIC, &dtr);
  int rts = TIOCM_RTS;
  calls.modemIoctl(fd, software ? TIOCMBIC : TIOCMBIS, &rts);

  {
    std::lock_guard<std::mutex> lock(g_timeoutMutex);
    g_writeTimeouts[fd] = writeTimeout;
  }
  tcflush(fd, flush == OpenFlush::Both ? TCIOFLUSH : TCIFLUSH);
  return fd;
}

}  // namespace

int OpenCOM(const std::string& Name, int Baudrate, int Databits, int Stopbits, const std::string& Handshake,
            const std::string& Parity) {
  return OpenAndConfigure(Name, Baudrate, Databits, Stopbits, Handshake, Parity, WriteTimeout{3000, 0});
}

int OpenCOMKeepingOutput(const std::string& Name, int Baudrate, int Databits, int Stopbits,
                         const std::string& Handshake, const std::string& Parity) {
  return OpenAndConfigure(Name, Baudrate, Databits, Stopbits, Handshake, Parity, WriteTimeout{3000, 0},
                          OpenFlush::InputOnly);
}

int OpenCOM1(const std::string& Name, int Baudrate, int Databits, int Stopbits, const std::string& Handshake,
             const std::string& Parity) {
  return OpenAndConfigure(Name, Baudrate, Databits, Stopbits, Handshake, Parity, WriteTimeout{2000, 2000});
}

bool CheckComConnect(const std::string& Name) {
  m_hdev_Com = -1;
  const int fd = OpenExclusive(Name);
  if (fd < 0) return false;
  int bits = 0;
  const bool cts = SerialTermiosCalls().modemIoctl(fd, TIOCMGET, &bits) == 0 && (bits & TIOCM_CTS) != 0;
  CloseSerialFd(fd);
  return cts;
}

bool CloseCOM(int handle) {
  if (handle <= 0) return false;
  int expected = handle;
  m_hdev_Com.compare_exchange_strong(expected, -1);  // no stale copy of a closed handle
  return CloseSerialFd(handle);
}

bool SetComWriteTimeout(int handle, int constantMs, int perByteMs) {
  if (handle <= 0 || constantMs < 0 || perByteMs < 0) return false;
  std::lock_guard<std::mutex> lock(g_timeoutMutex);
  auto it = g_writeTimeouts.find(handle);
  if (it == g_writeTimeouts.end()) return false;
  it->second = WriteTimeout{constantMs, perByteMs};
  return true;
}

int SerialWriteTimeoutMs(int handle, int length) {
  WriteTimeout w;
  {
    std::lock_guard<std::mutex> lock(g_timeoutMutex);
    auto it = g_writeTimeouts.find(handle);
    if (it != g_writeTimeouts.end()) w = it->second;
  }
  const long long ms = static_cast<long long>(w.constant) + static_cast<long long>(w.perByte) * (length > 0 ? length : 0);
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}
