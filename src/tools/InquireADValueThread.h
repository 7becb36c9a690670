// The A/D converter view's polling thread: once a second it sends
// InquireADValueCommand (10 04 30), reads one sample byte per sensor and
// hands the reply to the view, which shows each sample as a voltage.
//
// One thread at a time, owned by the view: start() first stops and joins a
// run still going. A stop ends the pause between polls and a serial wait for
// the reply at once; on the USB kinds it closes the port under a library read
// in progress, which then fails at once (the close is made once, by whichever
// side comes first); a nibble-mode read ends with its own time-out (1000 ms). The thread never touches a widget: it reports through a
// callback on its own thread, each report tagged with its run's generation,
// and the view forwards them to its thread. On its way out the thread closes
// the port, once, and only while the port record still holds its handle.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "link/PortSession.h"
#include "link/PortState.h"
#include "tools/StoppableWorker.h"

namespace torva::tools {

inline constexpr uint8_t InquireADValueCommand[3] = {0x10, 0x04, 0x30};
// CustomStatusBackCommand with n = 00: the VD-K773's custom status stream off.
inline constexpr uint8_t kCustomStatusOffCommand[3] = {0x1D, 0xE0, 0x00};

inline constexpr int kADValueSize = 129;       // the reply buffer
inline constexpr int kADRows = 9;              // Edit0 .. Edit8
inline constexpr int kADRowsShown = 6;         // rows 6-8 are hidden
inline constexpr int kADIntervalMs = 1000;     // between two polls
inline constexpr int kADSerialTimeoutMs = 3000;
inline constexpr int kADUsbPrinterPauseMs = 30;  // before a USB-printer read
inline constexpr int kADNibbleReadSize = 8;
inline constexpr int kADCustomFrameSize = 7;   // the VD-K773 custom mode's A/D frame

// The view opens serial, USB device, USB printer (by mode) and nibble mode,
// the latter with 1000 ms to receive and 3000 ms to send.
inline constexpr link::PortSessionPlan kADConverterPortPlan{
    .kinds = link::KindBit(PortCOM) | link::KindBit(PortUSB) | link::KindBit(PortUSBPrinter) |
             link::KindBit(PortNibbleLPT),
    .usbPrinter = link::UsbPrinterOpen::ByMode,
    .nibbleReceiveTimeoutMs = 1000,
    .nibbleSendTimeoutMs = 3000,
};

// A sample as the view shows it: sample x vote / 256 V with three decimals
// (255 at 3.3 V: "3.287").
std::string ADVoltageText(uint8_t sample, double vote);

// What the thread polls, fixed at its start.
struct ADPort {
  int kind = PortNone;
  int handle = -1;          // 0 for nibble mode
  bool k773Custom = false;  // the VD-K773 custom mode on the USB printer
  int intervalMs = kADIntervalMs;
  int serialTimeoutMs = kADSerialTimeoutMs;
};

struct ADReport {
  enum class Type {
    Values,   // a reply arrived: ADValue (zero-filled past count), count
    Failure,  // a write or read failed; the port has been closed
    Ended,    // the thread is about to end
  };
  Type type = Type::Ended;
  uint64_t generation = 0;
  std::array<uint8_t, kADValueSize> ADValue{};
  int count = 0;
};

class TInquireADValueThread {
 public:
  using Reporter = std::function<void(const ADReport&)>;

  TInquireADValueThread();
  ~TInquireADValueThread();  // stops and joins
  TInquireADValueThread(const TInquireADValueThread&) = delete;
  TInquireADValueThread& operator=(const TInquireADValueThread&) = delete;

  // Stops and joins a run still going, then starts one on `port`. Returns
  // the new run's generation.
  uint64_t start(const ADPort& port, Reporter reporter);
  // Sets the stop flag (bThreadTermate) and wakes the thread; on the USB
  // kinds closes the run's port so that a read in progress ends. Returns at
  // once.
  void requestStop();
  // requestStop, then waits until the thread has ended.
  void stopAndJoin();
  // True from start until the thread has ended.
  bool running() const { return worker_.running(); }
  uint64_t generation() const { return worker_.generation(); }

  // Polling threads alive in this process (for the tests' "never two").
  static int LiveThreads();

 private:
  enum class PollResult { Ok, Failed, Stopped };
  void Execute(ADPort port, uint64_t gen);
  PollResult Poll(const ADPort& port, ADReport& report);
  int ReadSerial(const ADPort& port, uint8_t* buffer, PollResult& result);
  // Waits up to ms or until a stop; true when stopped.
  bool pause(int ms) { return worker_.pause(ms); }
  // The stop flag, set by requestStop.
  bool bThreadTermate() const { return worker_.stopRequested(); }
  void report(const ADReport& r);

  ADPort port_;  // the port of the current run
  Reporter reporter_;
  StoppableWorker worker_;  // last: its run ends before the members it uses go
};

}  // namespace torva::tools
