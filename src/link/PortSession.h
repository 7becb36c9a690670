// The port session: opening and closing the configured port (PortType and
// its record in PortState.h) for every action of every dialog.
//
// Each action reopens the port with the stored parameters at its start and
// closes it at its end. The actions differ in which port kinds they open,
// which kinds their close leaves open, the time-outs of the nibble-mode
// library and whether the USB printer is opened through the VD-K773 custom
// call; those differences are a PortSessionPlan, the routines are one.
//
// The open closes a handle that the record still holds first. The handle is
// stored in the record (so File > Close Port and the next action find it) and
// returned. A USB printer handle is remembered with the call that opened it,
// and every close uses the matching call (UsbPrinterHandle.h).
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "link/PortState.h"

// Position (counting from 1) of the VD-K773 among the USB printers, found by
// the port dialog; the custom-mode open of every later action uses it.
extern std::atomic<int> iPrinterID;

namespace torva::link {

// A set of port kinds, one bit per PortKind.
using PortKindSet = uint32_t;
constexpr PortKindSet KindBit(int kind) { return kind >= 0 && kind < 32 ? (1u << kind) : 0u; }
constexpr PortKindSet kAllPortKinds = KindBit(PortCOM) | KindBit(PortLPT) | KindBit(PortUSB) | KindBit(PortDriver) |
                                      KindBit(PortNibbleLPT) | KindBit(PortNet) | KindBit(PortUSBPrinter);
constexpr bool HasKind(PortKindSet set, int kind) { return (set & KindBit(kind)) != 0; }

// How the USB printer is opened.
enum class UsbPrinterOpen {
  ByMode,  // the VD-K773 custom call in custom mode, the printer-class call otherwise
  Plain,   // always the printer-class call (OpenUSBPrinter by name)
  Custom,  // always the custom call (OpenQfUSBPrinter by iPrinterID)
};

// How an action opens its port.
struct PortSessionPlan {
  // The kinds the action opens. On any other kind Open opens nothing and
  // answers NotServed.
  PortKindSet kinds = kAllPortKinds;
  // The kinds whose handle the action's close leaves open (the main window's
  // one-shot sends leave the Ethernet connection and the USB printer to
  // Close Port).
  PortKindSet keepOpen = 0;
  UsbPrinterOpen usbPrinter = UsbPrinterOpen::ByMode;
  // Serial data bits to open with; 0 = ComParameter.Databits.
  int serialDataBits = 0;
  // Serial: the open discards the input queue only, never output this
  // program wrote on an earlier open (OpenCOMKeepingOutput).
  bool serialKeepsOutput = false;
  // Ethernet: true = write to the connection the port-setting dialog opened
  // (nothing is opened; Close Port closes it); false = open a connection now
  // when none is open.
  bool netUsesStandingConnection = true;
  // Spooler: open the queue (a RAW document per write) or open nothing.
  bool openSpoolerQueue = true;
  // Nibble mode: when either is not negative, they go to SetTimeoutInfo after
  // the open (receive, send, in ms).
  int nibbleReceiveTimeoutMs = -1;
  int nibbleSendTimeoutMs = -1;
  // USB printer: when either is not negative, they go to the library after a
  // successful open (read, write, in ms): SetPortTimeout for the custom call,
  // SetTimeout for the printer-class call.
  int usbPrinterReadTimeoutMs = -1;
  int usbPrinterWriteTimeoutMs = -1;
  // USB device: when either is not negative, SetUSBTimeouts(handle, first,
  // second) follows a successful open (units of the device library).
  int usbDeviceFirstTimeout = -1;
  int usbDeviceSecondTimeout = -1;
};

enum class PortOpenStatus {
  Opened,     // the handle is in the record and in PortOpen::handle
  Failed,     // the kind is served but its open failed; the record holds -1
  NotServed,  // the plan does not open this kind (or no port is configured)
};

struct PortOpen {
  PortOpenStatus status = PortOpenStatus::NotServed;
  int kind = PortNone;
  // The open handle; 0 for the kinds that have none of their own (nibble
  // mode, the standing Ethernet connection).
  int handle = -1;
  bool opened() const { return status == PortOpenStatus::Opened; }
};

// Opens the port of PortType by the plan.
PortOpen OpenConfiguredPort(const PortSessionPlan& plan);
// Closes the port of `kind` (PortType by default) unless the plan keeps it,
// and stores -1 in its record. A field that holds -1 is never closed.
void CloseConfiguredPort(const PortSessionPlan& plan, int kind = PortType.load());
// Closes the port of `kind` only while its record still holds `handle` (a
// worker thread ending its run: a handle someone else has closed or replaced
// since is left alone). The nibble library, which has no handle, is closed
// when `handle` is 0.
void CloseConfiguredPortIfHeld(int kind, int handle);

// The handle the record of `kind` holds now (-1 when closed; 0 for nibble mode
// and Ethernet, which are addressed without one).
int ConfiguredHandle(int kind);
// The record's port name for messages: ComParameter.Name, LPT<Number>,
// USBParameter.Name, USBPrinterParameter.Name, DriverName or PNET.IPAddress.
std::string ConfiguredPortName(int kind);

// Closes every handle that is open, as the port dialog does before it opens
// the chosen kind and as File > Close Port does (PortType is left to the
// caller). The USB printer handle is closed with the call of the channel
// that opened it (or, when none was recorded, by the mode the port state
// names now), so call this before the model or the K773 flags change.
void CloseEveryOpenPort();

// An action's port for one scope: opened by Open, closed by Close or at the
// end of the scope, on every way out.
class PortSession {
 public:
  explicit PortSession(const PortSessionPlan& plan) : plan_(plan) {}
  ~PortSession() { Close(); }
  PortSession(const PortSession&) = delete;
  PortSession& operator=(const PortSession&) = delete;

  PortOpen Open();
  void Close();
  // The port stays open when the session ends (the caller's close comes later).
  void Release() { open_ = {}; }
  const PortOpen& port() const { return open_; }
  const PortSessionPlan& plan() const { return plan_; }

 private:
  PortSessionPlan plan_;
  PortOpen open_;
};

}  // namespace torva::link
