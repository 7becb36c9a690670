// The setting protocol every settings editor speaks, and the editor port
// routines it runs over.
//
// Commands (all without a reply except the two reads):
//   read setting         1B 6A a                     -> 2 bytes, value lo hi
//   read setting, bank 2 1B 6B a                     -> 2 bytes
//   write setting        1B 73 5C 31 E7 08 lo hi a   (9 bytes; also the
//                                                     settings-file record)
//   write setting, bank2 1B 73 5C 31 E7 0A v 00 a
//   temporary data bits  1C 09 12 15 02 0A 01 n      (n = 7 or 8)
//   line feed            0A
//   initialise printer   1B 40 0A
//
// The editor families differ only in a few details of their port routines:
// whether a write to a port kind they do not serve counts as done, whether
// stale input is discarded before a read command goes out, the pause before a
// USB-printer read, the read time-out, and the pause after a data-bits
// switch. Those differences are a PortStyle; SettingLink is the one set of
// routines (the Ec... and POS... routines of every editor) built from it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "link/PortSession.h"

namespace torva::settings {

using Bytes = std::vector<uint8_t>;
using SettingCommand = std::array<uint8_t, 9>;

inline constexpr std::array<uint8_t, 4> kBank1Signature{0x5C, 0x31, 0xE7, 0x08};
inline constexpr std::array<uint8_t, 4> kBank2Signature{0x5C, 0x31, 0xE7, 0x0A};
inline constexpr uint8_t kFeedLineCommand = 0x0A;
inline constexpr std::array<uint8_t, 3> kInitializePrinterCommand{0x1B, 0x40, 0x0A};

// 1B 73, the bank-1 signature, value low byte, value high byte, address.
SettingCommand WriteSettingCommand(uint8_t address, uint16_t value);
// 1B 73, the bank-2 signature, the value byte, 00, address.
SettingCommand WriteSettingCommand2(uint8_t address, uint8_t value);
std::array<uint8_t, 3> ReadSettingCommand(uint8_t address);
std::array<uint8_t, 3> ReadSettingCommand2(uint8_t address);
std::array<uint8_t, 8> TempDataBitsCommand(uint8_t dataBits);

// How one editor family's port routines behave.
struct PortStyle {
  // A write on a port kind other than serial, USB device and USB printer:
  // true = counts as done without sending (the Ec routines), false = fails
  // (the POS routines).
  bool otherKindsWriteSucceeds = true;
  // Discard what the port holds unread before a read command is sent.
  bool purgeBeforeRead = true;
  // Pause before reading a USB-printer reply.
  int usbPrinterReadPauseMs = 30;
  // Time-out of a setting read.
  int readTimeoutMs = 5000;
  // Pause after the temporary data-bits command, before the port is reopened.
  int dataBitsPauseMs = 20;
};

// The Ec routines of the common-address editors.
inline constexpr PortStyle kEcPortStyle{true, true, 30, 5000, 20};
// The POS routines of the POS-style and second-series editors.
inline constexpr PortStyle kPosPortStyle{false, true, 30, 2000, 100};
// The VD-K773 editor's routines: a USB-printer reply is read at once.
inline constexpr PortStyle kK773PortStyle{true, true, 0, 5000, 20};

// The command queue: setting writes gathered during a save and sent in one
// port write. Holds at most kCapacity bytes; a command that does not fit is
// refused whole.
class CommandQueue {
 public:
  static constexpr int kCapacity = 1025;
  // Appends count bytes; false (nothing appended) when they do not fit.
  bool MakeupCommand(const uint8_t* bytes, int count);
  bool MakeupCommand(const SettingCommand& command) { return MakeupCommand(command.data(), 9); }
  void Clear() { CommandLength = 0; }
  const uint8_t* data() const { return CommandBuffer.data(); }
  int length() const { return CommandLength; }

 private:
  std::array<uint8_t, kCapacity> CommandBuffer{};
  int CommandLength = 0;
};

// One editor's port routines: the handle it works on (g_nHandle), its
// command queue and its style. Every routine treats a handle of 0 or less as
// no port and refuses at once.
//
// The VD-K773 in its custom USB mode (IsK773CustomMode) is written and read
// through the custom connection of the USB printer library: a write must take
// every byte, a read is the link's exact custom read (ReadCustomUsbReply),
// and the setting reads the printer answers with its 9-byte report
// (CustomReadAnswersReport) take the value from that report.
class SettingLink {
 public:
  explicit SettingLink(const PortStyle& style = kEcPortStyle) : style_(style) {}

  const PortStyle& style() const { return style_; }
  // Tests shorten the read time-out with it.
  void setStyle(const PortStyle& style) { style_ = style; }
  int handle() const { return g_nHandle; }
  void setHandle(int handle) {
    g_nHandle = handle;
    usbEmptied_ = false;
  }
  CommandQueue& queue() { return queue_; }

  // Writes length bytes by the current PortType.
  bool WritePort(const uint8_t* buffer, int length);
  // Reads exactly length bytes by the current PortType within timeoutMs
  // (serial) or the library's own time-outs (USB). A USB read that delivers
  // fewer bytes than asked fails.
  bool ReadPort(uint8_t* buffer, int length, int timeoutMs);
  // Throws away what the port has received and nobody has read, without
  // waiting for more, on every kind the editors read: the serial input
  // queue; on the USB kinds the bytes the layer kept from a packet and what
  // the device hands over at once (USBUnit.h, the ...Waiting reads). The
  // count thrown away (serial: what was queued), -1 when the port failed.
  // On the USB kinds, right after a reply that stood (see ReadSetting) with
  // nothing written since, the look that judged it stands for this one and
  // nothing is read again.
  int DiscardStaleInput();

  // The getter frame: discard stale input (when the style says so, on every
  // kind), send the read command, read exactly 2 bytes within the style's
  // time-out, then judge the reply.
  //
  // One rule for a setting's reply on every kind: a reply is the 2 bytes
  // that come first after its read command, and it stands only when the
  // port holds nothing beyond them right after they were read. A byte there
  // may be the surplus of an overlong reply or the reply's own second byte
  // behind a byte the printer sent by itself: either way the 2 bytes taken
  // may not be the value, so the read fails, as a reply that did not come
  // would fail it, and what is there is thrown away. Its bytes are not
  // handed out; the Get fails at that setting. What was queued before the
  // question (left from before the Get, or arriving between one reply and
  // the next question) goes silently with the discard.
  // Over the USB kinds a reply comes in one transfer, so the look takes no
  // wait (the same look the discard takes). On a serial line the bytes
  // follow one another at the line's pace, so the look waits until the line
  // has been quiet for one and a half characters at the configured speed
  // (about 0.4 ms at 38400 baud): a byte that follows the reply as a
  // printer sends it is seen. Only a byte the printer sends later than that
  // is not: it is thrown away before the next question if it has come by
  // then, else it comes before the next reply and fails that read.
  //
  // A reply that does not come whole in time is noted as outstanding for
  // the port (NoteOutstandingReply, link/PortState.h): the next command on
  // that port, by this link or another, first waits until the line has
  // been quiet for the style's read time-out since, or the stray reply has
  // come, and throws away what came; a command that follows no such read
  // goes out at once. A reply that came and did not stand is gone already:
  // nothing is noted for it.
  bool ReadSetting(uint8_t address, uint8_t& lo, uint8_t& hi, int bank = 1);
  // How one getter of the two-bank family runs the getter frame.
  struct ReadFrame {
    int bank = 1;                     // 2: the bank-2 read command 1B 6B a
    int settleMs = 0;                 // pause between request and reply, on PortUSB only
    bool settleBeforeRequest = false; // the pause comes before the request instead
    // The reply is read with the common POSReadPort (the watermark getters),
    // not with this link's ReadPort.
    bool throughPOSReadPort = false;
  };
  // The getter frame with a settle pause: discard stale input (when the style
  // says so, on every kind), send the read command of the frame's bank,
  // pause settleMs through PrinterDelay when PortType is PortUSB (before the
  // request when settleBeforeRequest), then read exactly 2 bytes within the
  // style's time-out and judge them as above. A reply read through
  // POSReadPort is read only on the kinds the link writes to (serial, USB
  // device, USB printer): on any other kind no request went out, so there
  // is nothing to read.
  bool ReadSetting(uint8_t address, uint8_t& lo, uint8_t& hi, const ReadFrame& frame);
  // A direct setter: writes one write-setting command at once.
  bool WriteSettingNow(uint8_t address, uint16_t value);
  // A queued setter: appends one write-setting command.
  bool QueueSetting(uint8_t address, uint16_t value);
  // The bank-2 setters: the command 1B 73 5C 31 E7 0A v 00 a, written at once
  // or appended to the queue. Both refuse a handle of 0 or less.
  bool WriteSettingNow2(uint8_t address, uint8_t value);
  bool QueueSetting2(uint8_t address, uint8_t value);

  // Writes the whole queue in one write. Does not empty it.
  bool SendCommand();
  bool LineFeedPrinter();
  // Sends 1B 40 0A.
  bool ResetPrinter();
  // Sends the temporary data-bits command; n must be 7 or 8.
  bool SetTempDataBits(int n);

 private:
  // Throws away what arrives on the port before the deadline: the count
  // thrown away (0: nothing came), -1 when the port failed.
  int DiscardArriving(int kind, uint64_t deadline);
  // The wait for a reply an earlier read gave up on, when one is noted for
  // the port (see ReadSetting); returns at once otherwise.
  void SettleOutstandingReply(int kind);
  // Right after a reply was read on a port of this kind: true when the port
  // holds nothing beyond it; otherwise false, with what it holds thrown
  // away (see ReadSetting). A port that fails the look fails the reply.
  bool ReplyStands(int kind);

  PortStyle style_;
  int g_nHandle = -1;
  // A USB port found empty right after a reply, with nothing written since.
  bool usbEmptied_ = false;
  CommandQueue queue_;
};

// Opening and closing the port of PortType around one Get or Save.
struct PortOpenResult {
  bool failed = false;    // the open was tried and gave -1
  bool opened = false;    // the port is open and its handle is the link's
  std::string portName;   // the record's Name, for the error message
};
// The editors reach the printer over serial, USB device and USB printer.
inline constexpr link::PortSessionPlan kEditorPortPlan{
    .kinds = link::KindBit(PortCOM) | link::KindBit(PortUSB) | link::KindBit(PortUSBPrinter),
    .usbPrinter = link::UsbPrinterOpen::Plain};
// The VD-K773's editor opens the USB printer by its mode: the custom
// connection (OpenQfUSBPrinter with iPrinterID) in the custom mode.
inline constexpr link::PortSessionPlan kK773EditorPortPlan{
    .kinds = link::KindBit(PortCOM) | link::KindBit(PortUSB) | link::KindBit(PortUSBPrinter),
    .usbPrinter = link::UsbPrinterOpen::ByMode};
// Opens the port of PortType through the port session (a handle the record
// still holds is closed first) and copies the handle to the link. A kind the
// plan does not serve opens nothing and leaves the link's handle as it was.
PortOpenResult OpenEditorPort(SettingLink& session, const link::PortSessionPlan& plan = kEditorPortPlan);
// Closes the port of PortType and stores -1 in its record.
void CloseEditorPort(const link::PortSessionPlan& plan = kEditorPortPlan);

// The temporary switch to 8 data bits around one exchange on a serial port.
// When the port is configured for other data bits, the constructor switches
// the printer to 8 bits and reopens the port at 8. The destructor (or
// Restore), on every way out of the exchange, leaves printer and port at the
// restore data bits: the configured ones, or those an editor's successful
// save just sent (SetRestoreDataBits); it switches and reopens only when they
// differ from the bits the port runs at. Does nothing on other ports.
class TempDataBitsSwitch {
 public:
  explicit TempDataBitsSwitch(SettingLink& link);
  ~TempDataBitsSwitch();
  TempDataBitsSwitch(const TempDataBitsSwitch&) = delete;
  TempDataBitsSwitch& operator=(const TempDataBitsSwitch&) = delete;

  // True when the constructor switched to 8 data bits.
  bool engaged() const { return engaged_; }
  // The data bits to switch back to (an editor whose save just sent new
  // data bits passes them); starts as the configured ComParameter.Databits.
  void SetRestoreDataBits(int bits) { restoreBits_ = bits; }
  // Switches back now; later calls and the destructor do nothing.
  void Restore();

 private:
  void Reopen(int dataBits);
  SettingLink& link_;
  bool armed_ = false;    // a serial exchange whose way out is still to come
  bool engaged_ = false;
  int portBits_ = 8;      // the data bits the port runs at now
  int restoreBits_ = 8;
};

}  // namespace torva::settings
