// The simulated printer: plays the printer at the other end of every port kind.
//
// One SimPrinter holds what a real printer holds (settings memory, status
// record, automatic-status switch, active serial data bits) and parses the
// host's byte stream frame by frame, answering as the printer does. Endpoints
// carry the bytes: a pseudo-terminal for serial, TCP for Ethernet and for a
// CUPS queue's socket:// device, UDP for the name query, a Unix socket for the
// two USB libraries. Each host connection is a Session; replies go back
// through the session they belong to.
//
// Every member is thread-safe: tests drive the printer from their own thread
// while the endpoints run on threads of their own.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace torva::sim {

using Bytes = std::vector<uint8_t>;

// One parsed host frame.
struct LogEntry {
  std::chrono::steady_clock::time_point time;
  std::string channel;  // "serial", "tcp", "usb", "usbprinter", "udp"
  std::string name;     // command name, e.g. "ReadSetting", "FeedLine", "Data"
  Bytes frame;          // the frame's bytes
  // A "Capture" entry stands for a burst of raw-captured bytes: `frame` holds
  // its first bytes, `length` how many there were, `note` the capture's
  // running count and checksum. 0 and empty for every other entry.
  size_t length = 0;
  std::string note;
};

// What a raw capture took in since it started: the count, the checksums of
// every byte and the first and last bytes. Its bytes themselves are not kept
// (see SimPrinter::saveCapture).
struct CaptureReport {
  bool on = false;     // the capture is still running
  size_t count = 0;    // bytes taken in
  uint32_t crc32 = 0;  // CRC-32 of them (as zlib and `crc32` compute it)
  std::string sha256;  // SHA-256 of them, as `sha256sum` prints it
  Bytes first;         // the first kEdge bytes (fewer when fewer came)
  Bytes last;          // the last kEdge bytes
  int bursts = 0;      // runs of bytes with no pause of kBurstGapMs between them
  std::string file;    // where the bytes are written, empty when nowhere
  std::string fileError;  // why writing there failed, empty while it works
  static constexpr size_t kEdge = 16;
};

enum class Fault {
  None,
  NoReply,     // the reply is swallowed
  ShortReply,  // only the first byte of the reply goes out
  LateReply,   // the reply goes out after lateMs
  Garbage,     // the reply's bytes are replaced by others of the same length
  Hangup,      // the connection is dropped instead of answering
  LongReply,   // the reply goes out with one byte more behind it (kLongReplyByte)
  EarlyByte,   // one byte goes out just before the reply, as if the printer had
               // sent it by itself after the question (kEarlyByte)
};
inline constexpr uint8_t kLongReplyByte = 0x55;
inline constexpr uint8_t kEarlyByte = 0x01;

struct FaultSpec {
  Fault kind = Fault::None;
  int count = -1;    // how many replies it affects; -1 = until cleared
  int lateMs = 500;  // for LateReply
};

class SimPrinter;

// One host connection. Endpoints feed it the host's bytes; the printer calls
// the sink with every reply (and with automatic status records when
// autoStatusInBand is set: serial, parallel and TCP carry status records in
// the data stream, the USB kinds fetch them with a status request instead).
struct Outgoing;

class Session {
 public:
  using Sink = std::function<void(const Bytes&)>;
  Session(SimPrinter& printer, std::string channel, Sink sink, bool autoStatusInBand);
  ~Session();
  // The host's bytes reach the printer. `taken`, when given, is called once
  // the printer has parsed them and decided its replies, before any reply
  // delay runs (also when the bytes are dropped), so an endpoint knows the
  // printer is no longer working on what the host sent.
  void hostBytes(const uint8_t* data, size_t n, const std::function<void()>& taken = {});
  const std::string& channel() const { return channel_; }
  bool autoStatusInBand() const { return inBand_; }
  bool autoStatusOn() const;
  bool customStatusOn() const;

  // Hang-up: set when the printer drops this connection (the Hangup fault or
  // SimPrinter::hangUp). From then on nothing more is sent through the sink.
  // The endpoint closes its side and calls closeSession; the handler (run on
  // whichever thread hung up, with the session's lock held, so it must not
  // block nor call the printer) lets it wake for that.
  bool hungUp() const;
  void setHangupHandler(std::function<void()> handler);

 private:
  friend class SimPrinter;
  // Logs and parses the host's bytes under the printer's lock; the replies
  // decided go to `out`, to be delivered with no lock held.
  void takeHostBytes(const uint8_t* data, size_t n, std::vector<Outgoing>& out);
  SimPrinter& printer_;
  std::string channel_;
  Sink sink_;
  bool inBand_;
  Bytes pending_;  // bytes of an incomplete frame
  bool autoStatus_ = false;
  bool customStatus_ = false;  // 1D E0 n, n not 0
  std::chrono::steady_clock::time_point lastByte_{};
  Bytes lastStatusSent_;  // last automatic status record sent in band

  // Held while the replies to the host's bytes go out (through their
  // delay): a status record pushed meanwhile waits for them, so the host
  // never gets a record older than one it already has.
  std::mutex replyMu_;
  // Guards the sink: replies, status records and unsolicited bytes may come
  // from several threads, and closeSession must not return while one is
  // being written.
  mutable std::mutex sendMu_;
  bool open_ = true;
  bool hungUp_ = false;
  std::function<void()> onHangup_;
};

class SimPrinter {
 public:
  explicit SimPrinter(int modelCode = 2);
  ~SimPrinter();
  SimPrinter(const SimPrinter&) = delete;
  SimPrinter& operator=(const SimPrinter&) = delete;

  // --- model and settings memory: two banks (1 and 2) x 256 x 16-bit values.
  int model() const;
  void setModel(int code);  // loads that model's defaults; unset addresses read FF FF
  uint16_t setting(int address, int bank = 1) const;
  void setSetting(int address, uint16_t value, int bank = 1);
  int dataBits() const;  // active serial data bits (8 at power-on)
  void powerCycle();     // what a power cycle keeps: memory; what it resets: auto status, data bits

  // --- status
  // The status record length (4, 6 or 8): by model, and for the VD-K512 by
  // its paper-type setting 12 (00 01: the four-byte record).
  int statusLength() const;
  Bytes statusRecord() const;
  // Sets the record; every session with automatic status on gets it again
  // when it differs from the last one sent. On the VD-K773 a record of four
  // bytes sets its automatic status record instead (below), and one of any
  // other length its six-byte custom record.
  void setStatusRecord(const Bytes& record);
  // The record answered to the automatic status command 1D 61 n and to a
  // four-byte USB status request. For every model but the VD-K773 it is the
  // status record. The VD-K773 answers there with a four-byte record of the
  // maker's layout, as outside its custom mode, and sends its six-byte
  // custom record only for the custom status command 1D E0 n (and on six-
  // byte status requests).
  Bytes autoStatusRecord() const;
  void setStatusByte(size_t index, uint8_t value);
  uint8_t transmitStatus() const;  // the byte answered to 1D 72 01
  // The custom status stream (1D E0 FF on, 1D E0 00 off, per session): the
  // printer sends its status record by itself every intervalMs (default
  // 100 ms) on the sessions that carry status in band (serial, parallel,
  // TCP). The USB endpoint answers the stream on its own reads.
  void setCustomStatusIntervalMs(int ms);
  int customStatusIntervalMs() const;
  // Sessions with the custom status stream on.
  int customStatusSessions() const;
  void setTransmitStatus(uint8_t value);
  // The one byte the printer answers to a status query of the command
  // console: 10 04 n (n 01..04), 1B 76, 1D 72 n (n 02, 31, 32); keyed by the
  // query's bytes. (1D 72 01 is transmitStatus.) 1D 28 41 02 00 02 02 prints
  // the self-test page and is logged as "SelfTest".
  void setQueryReply(const Bytes& query, uint8_t value);
  uint8_t queryReply(const Bytes& query) const;

  // --- printer information
  // The firmware version text (default "V1.02.3"): 1D 49 44 answers it and a
  // 00, at most 10 bytes in all; 1D 99 5C 31 E7 08 35 answers 25 bytes whose
  // text holds its first seven characters at positions 16-22 (counting from
  // 1). 1D 49 99 answers printerName() and a 00, at most 20 bytes.
  // 1B 63 39 n (the bundler wait time, logged "BundlerWaitTime") stores n in
  // setting 3C, the presenter wait time.
  void setFirmwareVersion(const std::string& version);
  std::string firmwareVersion() const;

  // --- raw capture
  // While on, the host's bytes are recorded as they come (receivedBytes,
  // captureReport) and nothing else: no frame is parsed or answered, as a
  // printer taking a firmware image does (its bytes may hold any command by
  // chance). The log gets one "Capture" entry per burst instead of frames.
  // Bytes of a frame left incomplete before the switch stay pending.
  // Switching it on starts a new capture (its report counts from zero);
  // switching it off ends it, and its report stays until the next one.
  void setRawCapture(bool on);
  bool rawCapture() const;
  // Starts a new raw capture whose bytes also go to the file at path
  // (created or emptied), until the capture ends. False, with the reason in
  // `error`, when the file cannot be opened; nothing changes then.
  bool saveCapture(const std::string& path, std::string* error = nullptr);
  CaptureReport captureReport() const;
  // A pause this long ends a burst of captured bytes.
  static constexpr int kBurstGapMs = 300;

  // --- black-mark calibration and the A/D converter
  // The bytes answered to the A/D query 10 04 30: one sample per sensor
  // (default seven: FF 80 00 66 B3 19 4C).
  void setADSamples(const Bytes& samples);
  Bytes adSamples() const;
  // The mark threshold a calibration finds: 1D 28 41 02 00 01 04 (the short
  // calibration) and 1D 28 41 02 00 02 04 store it, as a setting, at the
  // address the console reads the threshold from (39 for models 0-5, 8 and
  // 12; 20 otherwise). Default 80.
  void setCalibratedThreshold(uint8_t value);
  uint8_t calibratedThreshold() const;
  // The sensor log sent after 1D 28 41 02 00 02 07: empty restores the
  // default, MarkLogFor(model). It goes out delayMs after the reply delay,
  // at bytesPerSecond (0: all at once).
  void setMarkLog(const Bytes& log);
  Bytes markLog() const;
  void setMarkLogTiming(int delayMs, int bytesPerSecond);
  // The model's default log: byte 0 and then samples that show one mark
  // (windows of eight samples: ten below the default threshold, six above,
  // the rest below), 8000 bytes for the models whose console reads 8000
  // (1, 5, 8), 5000 for the others.
  static Bytes MarkLogFor(int model);
  // What 1D 99 5C 31 E7 08 51 01 c v stored for sensor c; -1 when nothing.
  int sensorThreshold(int c) const;

  // --- line behaviour and faults
  void setReplyDelayMs(int ms);  // default 3 ms, what a real line takes
  int replyDelayMs() const;
  void setFault(const FaultSpec& fault);
  // The reply to reading this setting address (either bank) gets the fault;
  // it takes precedence over setFault. Fault::None clears the address.
  void setAddressFault(int address, const FaultSpec& fault);
  // The USB endpoint takes no byte of the n-th write from now on (counted
  // over every USB connection; 1 = the next one) and answers it with 0 bytes
  // written. 0 clears it.
  void setWriteFault(int n);
  // The same for one bank (1 or 2) only; it takes precedence over a fault
  // set for the address in both banks.
  void setAddressFault(int address, int bank, const FaultSpec& fault);
  // USB socket: a host write that holds the write-setting command of this
  // bank (1 or 2) and address answers 0 bytes written and none of its bytes
  // reach the printer. count: how many such writes fail (-1: until
  // cleared; 0 clears it). A write fault by bank and address, beside any
  // other fault of the socket.
  void setUsbSettingWriteFault(int bank, int address, int count = -1);
  // clears the general fault, every address fault, the write fault and the
  // USB setting write faults
  void clearFault();
  void sendUnsolicited(const Bytes& bytes);  // to every open session
  // Endpoints drop their connections: TCP closes them, the serial endpoint
  // replaces its pseudo-terminal by a fresh one (the old slave reads EIO, the
  // link and serialPath() move to the new one). Waits up to 1 s until the
  // endpoints have closed the sessions; not to be called on an endpoint thread.
  void hangUp();

  // --- log
  // The log keeps the last kLogEntriesKept entries, and fewer when their
  // frames hold more than kLogBytesKept bytes together; older ones are
  // forgotten (logForgotten counts them), so a printer that takes data for
  // hours does not grow without end.
  static constexpr size_t kLogEntriesKept = 4096;
  static constexpr size_t kLogBytesKept = 1u << 20;
  std::vector<LogEntry> log() const;
  size_t logForgotten() const;
  std::vector<LogEntry> log(const std::string& name) const;  // entries of one command
  void clearLog();  // also forgets receivedBytes() and usbWriteLengths()
  // Waits until at least n entries have been logged since the last
  // clearLog (forgotten ones count); false on timeout.
  bool waitForLog(size_t n, int timeoutMs) const;
  // The bytes the host sent, in order, over all sessions: the last
  // kReceivedKept of them (all of them up to that size).
  static constexpr size_t kReceivedKept = 2u << 20;
  Bytes receivedBytes() const;
  // How many bytes have arrived in all, forgotten ones too, without copying
  // them; and a wait until at least n bytes have arrived (false on timeout).
  size_t receivedCount() const;
  bool waitForReceived(size_t n, int timeoutMs) const;
  // The length of every write the host made on the USB socket (device and
  // printer), in order, faulted ones included; clearLog() forgets them.
  std::vector<int> usbWriteLengths() const;
  // Called with every new log entry, and with every reply as it goes out
  // (used by torva-printer-sim --log). Called with internal locks held: the
  // observers must not call back into the printer.
  void setFrameObserver(std::function<void(const LogEntry&)> observer);
  void setReplyObserver(std::function<void(const std::string& channel, const Bytes& bytes)> observer);

  // --- endpoints
  // Pseudo-terminal; returns the slave's path. With linkPath, also makes a
  // symbolic link there (replacing an old link). The slave end stays open on
  // this side too, so the port survives the host closing it.
  std::string startSerial(const std::string& linkPath = {});
  std::string serialPath() const;
  // TCP on 127.0.0.1; port 0 picks a free one. Returns the bound port.
  int startTcp(int port = 0);
  // UDP name query ("BG" -> the printer's name) on 127.0.0.1; returns the port.
  int startNameQuery(int port = 3000);
  // Name answered to the name query and shown by the USB printer enumeration.
  void setPrinterName(const std::string& name);
  std::string printerName() const;
  void setWifiReply(bool wifi);  // name query answers in the Wi-Fi layout
  // Unix socket for the USB device and USB printer libraries.
  void startUsbSocket(const std::string& path);
  // VD-K773 custom USB mode: replies on the USB printer carry a class byte
  // (classMode 1) and statusBytes status bytes in front.
  void setK773Custom(bool on, int classMode, int statusBytes);
  struct K773Custom {
    bool on = false;
    int classMode = 0;
    int statusBytes = 0;
  };
  K773Custom k773Custom() const;
  bool wifiReply() const;
  // A printer that never stops sending on USB: every USB read that finds
  // nothing waiting gets filler bytes (14 hex) at once.
  void setUsbBabble(bool on);
  bool usbBabble() const;
  // What the printer sent on a USB connection and the host did not read
  // before it closed the port stays in the printer for the next connection
  // of the same kind to the same device, and is read first there, as the
  // bytes in a real printer's USB buffer wait for the host's next read
  // (also a reply the printer sent after the host gave up on it). Off, the
  // default: each connection starts with nothing to read.
  void setUsbKeepsUnreadBytes(bool on);
  bool usbKeepsUnreadBytes() const;
  // The USB endpoint gives every read at least ms to wait for the printer's
  // reply, whatever time-out the host asked (0, the default: the host's).
  // The printer answers on a thread of its own; on a loaded machine that
  // thread can start later than a short host time-out allows, and a test
  // that means a printer which answers raises the floor (below the USB
  // client's 3 s of slack).
  void setUsbReadWaitFloorMs(int ms);
  int usbReadWaitFloorMs() const;
  // The printer takes in each piece of the host's bytes this much later, as
  // on a machine too loaded to run its thread at once (for tests of the
  // endpoints' patience; 0, the default, takes them at once).
  void setHostBytesDelayMs(int ms);
  void stop();  // stops every endpoint

  // Endpoints written in files of their own (name query, USB socket) keep
  // their state here; stop() and the destructor call every stopFn once.
  void addEndpoint(std::shared_ptr<void> state, std::function<void()> stopFn);

  // --- for endpoints
  std::shared_ptr<Session> openSession(const std::string& channel, Session::Sink sink, bool autoStatusInBand);
  void closeSession(const std::shared_ptr<Session>& session);

  struct Impl;

 private:
  friend class Session;
  std::unique_ptr<Impl> impl_;
};

}  // namespace torva::sim
