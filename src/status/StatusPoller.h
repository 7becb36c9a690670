// The status polling engine: one worker thread that asks the printer for its
// status record at a fixed interval and hands every whole record to its
// owner. Every status dialog owns one engine and configures it with a plan
// (command timing, read kind, interval, record length); the dialogs differ
// only in their plans and decoders.
//
// The owner stops the engine and waits for it (stopAndJoin) before it closes
// the port, so no thread outlives its dialog or polls a closed handle. The
// engine never touches a widget: it reports through a callback that runs on
// the polling thread, and the dialog forwards each report to its own thread
// as a queued call. Every report carries the run's generation, so a report of
// an earlier run that is still queued is recognised and dropped.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace torva::status {

// When the status-back command (1D 61 FF) is sent.
enum class CommandTiming {
  EveryPoll,               // at the start of every poll
  OnceThenEverySerialPoll, // once before the first poll; on a serial port again at every poll
  Once,                    // once before the first poll; the printer then sends by itself
};

// How a serial poll reads. On a serial port the input is cleared before
// every status command, so what came before the command (a stray byte, the
// surplus of an overlong reply) never becomes part of a record.
enum class SerialRead {
  // Waits (up to the serial timeout) until a whole record is queued, takes it
  // and every further whole record, and keeps the newest. No whole record in
  // time is a failure.
  WholeRecord,
  // Takes whatever is queued, without waiting, and reports every whole record
  // in the order it arrived; a trailing part shorter than a record is
  // ignored, the input cleared and the command sent again (RecordSplitter.h).
  // Nothing queued is no failure: the view keeps its state.
  QueuedRecords,
};

struct PollPlan {
  int portType = -1;       // a PortKind: PortCOM, PortUSB or PortUSBPrinter
  int handle = -1;         // the open port's handle
  int recordLength = 4;
  int intervalMs = 300;    // pause between two polls
  int serialTimeoutMs = 3000;  // a serial record must be whole within this time
  CommandTiming timing = CommandTiming::EveryPoll;
  SerialRead serialRead = SerialRead::WholeRecord;
  // The nibble-mode parallel port is polled too: nothing is sent, one record
  // is read through the reverse channel per poll.
  bool nibble = false;
  // The status command the plan sends (1D 61 FF; the VD-K773's custom
  // monitor sends 1D E0 FF).
  std::vector<uint8_t> command{0x1D, 0x61, 0xFF};
  // The command that switches the printer's status sending off again (1D 61
  // 00; the custom monitor's 1D E0 00). Once the status command has been
  // written, the thread writes it on every way out, before the port closes:
  // left on, the printer's records would interleave with the replies of the
  // next action on the port (a settings Get would read them as values).
  std::vector<uint8_t> offCommand{0x1D, 0x61, 0x00};
  // The USB printer in the VD-K773 custom mode: one record per transfer in
  // the framing of the class mode (ReadCustomUsbRecord; a transfer too short
  // for a record is no record and no failure), and the custom channel closed
  // at the end.
  bool customUsb = false;
  // At the end of polling close the serial (and nibble-mode) port too; the
  // USB kinds are always closed at the end.
  bool closeSerialAtEnd = false;
};

enum class PollEvent {
  Record,       // a whole record arrived (bytes)
  Failure,      // a write or read failed; the port has been closed
  FirstSendFailed,  // the command before the first poll failed; the port has been closed
  Ended,        // the thread is about to end (after a stop or a failure)
};

struct PollReport {
  uint64_t generation;
  PollEvent event;
  std::vector<uint8_t> record;  // for Record
};

// The port kinds a status record can be read from (the nibble-mode port only
// with a plan that reads it).
bool CanPollStatus(int portType);
bool CanPollStatus(const PollPlan& plan);

// The status-back command, 1D 61 FF.
extern const uint8_t kInquireStatusCommand[3];

class StatusPoller {
 public:
  using Reporter = std::function<void(const PollReport&)>;

  StatusPoller() = default;
  ~StatusPoller();  // stops and joins
  StatusPoller(const StatusPoller&) = delete;
  StatusPoller& operator=(const StatusPoller&) = delete;

  // Stops and joins a run still going, then starts a new one. Returns the
  // new run's generation, or 0 when the plan names a port kind that cannot
  // be polled (nothing is started then).
  uint64_t start(const PollPlan& plan, Reporter reporter);
  // Asks the thread to stop; returns at once. A wait between polls and a
  // wait for serial bytes end at once; a USB status call ends first.
  void requestStop();
  // requestStop, then waits until the thread has ended.
  void stopAndJoin();
  // True from start until the thread has ended.
  bool running() const { return running_.load(); }
  uint64_t generation() const { return generation_.load(); }
  bool stopRequested() const { return stop_.load(); }

  // Polling threads alive in this process (for the tests' "one poller" checks).
  static int LiveThreads();

 private:
  void run(PollPlan plan, Reporter reporter, uint64_t gen);
  // Sends the plan's status command; on a serial port the input is cleared
  // first.
  bool sendCommand(const PollPlan& plan);
  // NoRecord: the poll brought something that is no record; nothing is shown.
  enum class ReadResult { Ok, NoRecord, Failed, Stopped };
  // Serial: waits until a whole record is queued, reads it and every further
  // whole record, and keeps the newest.
  ReadResult readSerial(const PollPlan& plan, std::vector<uint8_t>& record);
  ReadResult readUsb(const PollPlan& plan, std::vector<uint8_t>& record);
  ReadResult readNibble(const PollPlan& plan, std::vector<uint8_t>& record);
  // Waits up to ms or until a stop is requested; true when stopped.
  bool pause(int ms);
  void closePort(const PollPlan& plan);
  void switchStatusOff(const PollPlan& plan);

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> running_{false};
  std::atomic<uint64_t> generation_{0};
  std::mutex mu_;
  std::condition_variable cv_;
  int wakeFd_ = -1;  // eventfd that ends a wait for serial bytes
};

}  // namespace torva::status
