// Inside the simulated printer: the state behind SimPrinter, the command
// table and the endpoint base. Only sim/*.cpp include this.
#pragma once

#include <array>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "sim/Checksums.h"
#include "sim/SimPrinter.h"

namespace torva::sim {

// One reply a command produces. Replies go out after the reply delay, in
// the order their frames arrived, with the current fault applied.
struct Reply {
  Bytes bytes;
  int address = -1;  // the setting address read, for per-address faults
  int bank = 0;      // the bank of that address (1 or 2); 0: not a setting read
  // A long answer the printer takes its time over (the calibration log):
  // this much later than the reply delay, and at this many bytes a second
  // (0: all at once).
  int extraDelayMs = 0;
  int bytesPerSecond = 0;
};

// Context of one parsed frame, handed to the command's handler. The handler
// runs with the printer's lock held: it may change any printer state.
struct FrameContext {
  SimPrinter::Impl& printer;
  Session& session;
  const Bytes& frame;
  std::vector<Reply>& replies;
};

// One row per command the printer knows: the bytes that start it and its
// total length (fixed, so value bytes such as 0A or 1B inside a frame are
// never taken for the start of another command).
struct CommandRow {
  std::string name;
  Bytes prefix;
  size_t length;
  std::function<void(FrameContext&)> handler;  // may be empty: logged only
};

// The printer's command table; later commands are added here.
std::vector<CommandRow> BuildCommandTable();
// The command console's status queries and self-test (ConsoleQueries.cpp),
// and the one-byte answers of a fresh printer to those queries.
void AddConsoleRows(std::vector<CommandRow>& table);
// A query's bytes (at most three) as a key of the answers' table.
uint32_t QueryKey(const Bytes& query);
// The printer-information queries and the bundler wait time (InformationQueries.cpp).
void AddInformationRows(std::vector<CommandRow>& table);
std::map<uint32_t, uint8_t> DefaultQueryReplies();
// Black-mark calibration and the A/D query (CalibrationCommands.cpp).
void AddCalibrationRows(std::vector<CommandRow>& table);
Bytes DefaultADSamples();

// The command table indexed by first byte, so the parser looks at the few
// rows a byte can start instead of every row: a byte that starts no command
// (most print data) costs one table look-up.
class CommandIndex {
 public:
  explicit CommandIndex(std::vector<CommandRow> rows);
  // The rows whose prefix begins with b, longest prefix first (so a command
  // whose prefix extends another's wins); empty when b starts no command.
  const std::vector<const CommandRow*>& startingWith(uint8_t b) const { return byFirst_[b]; }
  bool startsCommand(uint8_t b) const { return !byFirst_[b].empty(); }

 private:
  std::vector<CommandRow> rows_;
  std::array<std::vector<const CommandRow*>, 256> byFirst_;
};

// Name of a model code ("VD-M512II"), empty for an unknown code.
std::string ModelName(int code);

// An endpoint written inside the simulator (serial, TCP).
class Endpoint {
 public:
  virtual ~Endpoint() = default;
  virtual void stop() = 0;  // joins its thread, closes its descriptors
};

// A reply with its fault decided, ready to go out.
struct Outgoing {
  Bytes bytes;
  Fault fault = Fault::None;
  int waitMs = 0;  // reply delay, plus lateMs for LateReply
  int bytesPerSecond = 0;  // paced (Reply::bytesPerSecond); 0: at once
};

// The reply's bytes as its fault leaves them: cut to the first byte (short),
// each byte inverted (garbage), one byte more behind them (long). The other
// faults leave the bytes alone.
void ShapeReply(Outgoing& o);

struct SimPrinter::Impl {
  explicit Impl(SimPrinter& owner);

  SimPrinter& self;
  mutable std::mutex mu;
  mutable std::condition_variable cv;  // log growth, session closes, stop

  int model = 2;
  std::array<std::array<uint16_t, 256>, 2> memory{};
  int dataBits = 8;
  Bytes status;
  Bytes status4 = Bytes(4, 0);  // the VD-K773's automatic status record
  // The record 1D 61 n sends: status4 on the VD-K773, status on the others.
  const Bytes& autoRecord() const { return model == 12 ? status4 : status; }
  uint8_t transmitStatus = 0;
  std::map<uint32_t, uint8_t> queryReplies = DefaultQueryReplies();  // the console's status queries
  int replyDelayMs = 3;
  FaultSpec fault;
  std::map<int, FaultSpec> addressFaults;
  int writeFaultIn = 0;  // the USB write that is refused: 1 = the next one, 0 = none
  std::map<std::pair<int, int>, FaultSpec> bankAddressFaults;  // (bank, address)
  std::map<std::pair<int, int>, int> usbSettingWriteFaults;    // (bank, address) -> writes left, -1 always
  std::vector<int> usbWriteLengths;
  std::string printerName;  // empty: the model's name
  bool wifiReply = false;
  bool usbBabble = false;
  bool usbKeepsUnread = false;  // see SimPrinter::setUsbKeepsUnreadBytes
  bool rawCapture = false;
  std::string firmwareVersion = "V1.02.3";
  int usbReadWaitFloorMs = 0;  // the least a USB read waits for a reply
  int hostBytesDelayMs = 0;    // see SimPrinter::setHostBytesDelayMs
  K773Custom k773;
  bool stopping = false;
  // The custom status stream (1D E0 n): sessions that switched it on get the
  // status record every customIntervalMs, sent by streamThread.
  int customIntervalMs = 100;
  std::thread streamThread;  // started by the first switch-on, joined by stop()
  // Black-mark calibration and the A/D converter (CalibrationCommands.cpp).
  Bytes adSamples = DefaultADSamples();
  uint8_t calibratedThreshold = 0x80;
  Bytes markLog;  // empty: the model's default log
  int markLogDelayMs = 0;
  int markLogBytesPerSecond = 0;
  std::map<int, uint8_t> sensorThresholds;

  std::deque<LogEntry> log;
  size_t logBytes = 0;      // frame bytes of the entries in log
  size_t logTotal = 0;      // entries added since clearLog, forgotten ones too
  size_t logForgotten = 0;  // entries dropped from the front of log
  // The host's bytes: the last kReceivedKept of them (up to twice that
  // before the front is dropped) and how many came before those.
  Bytes received;
  size_t receivedDropped = 0;
  void addReceived(const uint8_t* data, size_t n);
  // The raw capture: its report, its checksums and file, and the burst
  // being received (logged as one "Capture" entry when it ends).
  struct Capture {
    CaptureReport report;
    Crc32 crc;
    Sha256 sha;
    FILE* file = nullptr;
    bool burstOpen = false;
    std::string burstChannel;
    std::chrono::steady_clock::time_point burstStart{}, burstLast{};
    Bytes burstHead;
    size_t burstBytes = 0;
  } capture;
  std::thread burstThread;  // ends bursts after a pause; started with the first
  void startCapture(FILE* file, const std::string& path);
  void endCapture();
  // Writing the capture's file failed with `error`: the report keeps the
  // first reason, and nothing more goes to the file, which holds only a
  // part of the bytes from then on.
  void dropCaptureFile(int error);
  void captureBytes(const std::string& channel, const uint8_t* data, size_t n);
  void endBurst();
  void burstLoop();
  std::function<void(const LogEntry&)> frameObserver;
  std::function<void(const std::string&, const Bytes&)> replyObserver;

  const CommandIndex commands;
  std::vector<std::shared_ptr<Session>> sessions;

  // Endpoints: guarded by endpointMu, never by mu (their threads take mu).
  std::mutex endpointMu;
  std::vector<std::unique_ptr<Endpoint>> endpoints;
  std::vector<std::pair<std::shared_ptr<void>, std::function<void()>>> external;
  std::string serialPath;  // under mu
  bool serialStarted = false;
  int tcpPort = -1;

  // --- with mu held
  void loadModel(int code);
  void addLog(const std::string& channel, const std::string& name, const Bytes& frame);
  void addLog(LogEntry entry);  // keeps the log within its bounds
  // Counts one USB write; true when it is the one the write fault refuses.
  bool takeWriteFault();
  // Decides the fault of one reply and consumes one count of it.
  Outgoing decide(const Reply& reply);
  // A host write on the USB socket: notes its length; false (and one count
  // of the fault consumed) when it holds a setting write the USB write
  // fault names.
  bool acceptUsbWrite(const Bytes& data);
  void setAutoStatus(Session& s, bool on, std::vector<Reply>& replies);
  // 1D E0 n: n not 0 starts the session's custom status stream, 0 stops it.
  void setCustomStatus(Session& s, bool on);
  // The status record's length for the model and its settings: the VD-K512
  // sends the eight-byte record with receipt paper (setting 12 not 00 01)
  // and the four-byte record with setting 12 = 00 01.
  size_t statusLengthNow() const;
  // Resizes the record after a change of model or setting.
  void fitStatus();
  // Parses what the session holds; returns the replies to send.
  std::vector<Outgoing> parse(Session& s);

  // --- without mu held
  void deliver(Session& s, Outgoing out);
  void send(Session& s, const Bytes& bytes);
  // Sends bytes in pieces at the given rate.
  void sendPaced(Session& s, const Bytes& bytes, int bytesPerSecond);
  void hangupSession(Session& s);
  // Sleeps ms, returns early when the printer stops.
  void pause(int ms);
  // The custom status stream's thread.
  void streamLoop();
};

}  // namespace torva::sim
