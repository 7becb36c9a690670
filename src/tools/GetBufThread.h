// The command console's reply reader: collects what the printer sends back
// and hands it to the console, which shows it in its Receive box.
//
// On the serial port it polls for as long as the console's Display is on
// (bDisplay): in cycles of 2 s it reads whatever is queued, at once while
// bytes keep coming and after a pause of up to 500 ms while none do, with a
// 500 ms pause after each cycle. On the nibble-mode port, the USB device and
// the USB printer it makes one pass right after a Send: first the status
// record when the Send switched automatic status on (Include1D61, Include1DE0),
// then one data read. The library calls go through PortLibraryCalls, so tests
// run every path against fakes.
//
// One reader at a time, owned by the console: start() first stops and joins
// a running one; a stop ends every pause at once (a library call in progress
// ends with its own time-out). The reader never touches a widget: it reports
// through a callback that runs on its own thread; the console forwards each
// report to its thread and drops what comes after it closed.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "tools/StoppableWorker.h"

namespace torva::tools {

// The console's Display toggle: the serial reader polls while it is on.
extern std::atomic<bool> bDisplay;
// Set by a hex Send that begins with 1D E0; cleared once the reader has shown
// a status record.
extern std::atomic<bool> Include1DE0;

// What the reader reads, taken once at its start.
struct ReaderPort {
  int portType = -1;  // PortType
  int handle = -1;    // the kind's handle (0 for nibble mode)
  int model = -1;     // PrinterName
  int is773Costom = 0;
  bool k773Custom = false;  // the VD-K773 custom mode on the USB printer
};
// The port as the console has it now.
ReaderPort CurrentReaderPort();

enum class ReceivedKind {
  Data,          // a data read: text mode shows the bytes up to the first 00
  StatusRecord,  // a status record: text mode shows every byte, 00 as "NULL"
};

struct ReaderReport {
  enum class Type {
    Received,       // bytes arrived (kind, bytes)
    ReceiveFailed,  // the serial read failed: "Fail to Receive Data"; the reader ends
    Ended,          // the reader is about to end
  };
  Type type = Type::Ended;
  uint64_t generation = 0;
  ReceivedKind kind = ReceivedKind::Data;
  std::vector<uint8_t> bytes;
};

// Buffer sizes of one pass.
inline constexpr int kNibbleReadSize = 5000;
inline constexpr int kUsbReadSize = 50000;
inline constexpr int kUsbPrinterReadSize = 1024;
inline constexpr int kStatusAreaSize = 8;
inline constexpr int kCustomRecordSize = 6;
// Timing of the serial loop.
inline constexpr int kSerialCycleMs = 2000;
inline constexpr int kIdlePauseMs = 500;

class TGetBufThread {
 public:
  using Reporter = std::function<void(const ReaderReport&)>;

  TGetBufThread();
  ~TGetBufThread();  // stops and joins
  TGetBufThread(const TGetBufThread&) = delete;
  TGetBufThread& operator=(const TGetBufThread&) = delete;

  // Stops and joins a running reader, then starts one on `port`. Returns the
  // new run's generation.
  uint64_t start(const ReaderPort& port, Reporter reporter);
  // Asks the reader to stop; returns at once.
  void requestStop();
  // requestStop, then waits until the reader has ended.
  void stopAndJoin();
  // True from start until the reader has ended.
  bool running() const { return worker_.running(); }
  uint64_t generation() const { return worker_.generation(); }

  // Readers alive in this process (for the tests' "never two readers").
  static int LiveThreads();

 private:
  void Execute(ReaderPort port, uint64_t gen);
  void SerialLoop(const ReaderPort& port, uint64_t gen);
  void NibblePass(uint64_t gen);
  void UsbDevicePass(const ReaderPort& port, uint64_t gen);
  void UsbPrinterPass(const ReaderPort& port, uint64_t gen);
  // Waits up to ms or until a stop; true when stopped.
  bool pause(int ms) { return worker_.pause(ms); }
  // Waits up to ms for input on fd, or a stop; true when stopped. A line that
  // has gone (hung up) answers false at once with *gone set.
  bool waitInput(int fd, int ms, bool* gone);
  void report(ReaderReport r);
  void received(uint64_t gen, ReceivedKind kind, const uint8_t* data, int count);

  Reporter reporter_;
  StoppableWorker worker_;  // last: its run ends before the members it uses go
};

}  // namespace torva::tools
