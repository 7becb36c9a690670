// What the Check Mark dialog does on the printer, as data and plain routines:
// the model groups A to J as one profile table, the commands by group and
// port kind, and the dialog's port routines (GetPaperType, EcGetMark,
// EcGetCheckEnable, EcCheckMark). No widget here; the dialog (CheckMark)
// carries these out and reports.
//
// The dialog reaches the printer over the serial port, the USB device and the
// USB printer (the VD-K773 custom channel in its custom mode); on the other
// kinds it opens nothing, reads nothing and offers neither action. Each
// handler opens the port through the port session and closes it on every way
// out.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "link/PortSession.h"
#include "link/PortState.h"

namespace torva::tools {

using Bytes = std::vector<uint8_t>;

enum class MarkLayout {
  Full,             // threshold row, calibration and its memo
  CalibrationOnly,  // the threshold row hidden
  ThresholdOnly,    // the calibration button hidden
};

enum class MarkCalibration {
  Log,          // the calibration block, then the sensor log read and decoded
  CommandOnly,  // the short calibration command; nothing is read
  None,         // nothing is sent
};

// One model group.
struct MarkGroup {
  char name;                    // 'A' .. 'J' (no 'I')
  MarkLayout layout;
  int readAddress;              // MarkThreshold read by EcGetMark; -1: not read
  int writeAddress;             // MarkThreshold written by SetADValue; -1: no address
  bool sensorCommands;          // SetADValue adds both SensorThresholdCommands
  MarkCalibration calibration;
  int logBufferSize;            // bytes of the log buffer (zero-filled)
  int windowLimit;              // the decoder's limit
  bool checkEnableStep;         // calibration asks CheckEnable (4C) first
};

// The group of a model code; group A for a code outside 0..18.
const MarkGroup& MarkGroupOf(int model);
// Every group, A to J.
const std::vector<MarkGroup>& MarkGroups();
// The address EcGetMark reads for a model: 39 for codes 0-5, 8 and 12, 20 for
// every other code.
uint8_t MarkThresholdReadAddress(int model);

// Setting addresses.
inline constexpr uint8_t kPaperTypeAddress = 0x12;
inline constexpr uint8_t kCheckEnableAddress = 0x4C;

// The port the dialog opens: serial, USB device, USB printer by mode.
inline constexpr link::PortSessionPlan kCheckMarkPortPlan{
    .kinds = link::KindBit(PortCOM) | link::KindBit(PortUSB) | link::KindBit(PortUSBPrinter),
    .usbPrinter = link::UsbPrinterOpen::ByMode,
};
// True for the kinds the dialog talks to the printer on.
bool CheckMarkServes(int portKind);

// Waits and time-outs.
inline constexpr int kSettingReadPauseMs = 30;   // between a read command and its reply
inline constexpr int kSettingReadTimeoutMs = 5000;
inline constexpr int kCalibrationWaitMs = 5000;  // the printer calibrates before its log
inline constexpr int kLogReadTimeoutMs = 5000;   // the whole serial log read, after that wait
// A serial log has ended once the line has been quiet this long.
inline constexpr int kLogQuietMs = 200;
// The largest USB read of the log (the USB printer read takes no more at once).
inline constexpr int kLogUsbReadSize = 1024;
inline constexpr int kEnableRebootPauseMs = 1000;

// 1D 99 5C 31 E7 08 51 01 c v.
Bytes SensorThresholdCommand(uint8_t c, uint8_t v);
// What SetADValue writes for value v: the setting write at the group's
// address, and for group J both sensor commands after it (29 bytes). Empty
// when the group has no threshold address.
Bytes SetThresholdCommand(const MarkGroup& group, uint8_t v);
// The group's calibration command on a port kind: group H's short command
// (10 bytes), groups A-F's block (28 bytes); on the USB printer each without
// the leading 1D 61 00. Empty for the groups that calibrate nothing.
Bytes MarkCalibrationCommand(const MarkGroup& group, int portKind);

// The open port a handler works on.
struct MarkPort {
  int kind = PortNone;
  int handle = -1;
};

// 1B 6A 12: true with isSequential set by the first reply byte (0:
// continuous paper, 1: mark paper); any other byte, or a failed exchange,
// false.
bool GetPaperType(const MarkPort& port, bool& isSequential);
// 1B 6A a (a from MarkThresholdReadAddress), 2 bytes within 5000 ms; the
// threshold is reply[0].
bool EcGetMark(const MarkPort& port, uint8_t address, uint8_t reply[2]);
// 1B 6A 4C without a pause: 00 00 false, 01 00 true, anything else fails.
bool EcGetCheckEnable(const MarkPort& port, bool& enabled);
// Writes bytes with the common write routine.
bool WriteMarkPort(const MarkPort& port, const Bytes& bytes);

enum class CheckMarkResult { Ok, WriteFailed, ReadFailed };
// Sends the group's calibration command; for the groups with a log waits
// kCalibrationWaitMs and reads the log into `log` (resized to the group's
// buffer and zero-filled first). The serial log is read whole: from its
// first byte until the line is quiet for kLogQuietMs, the buffer is full or
// kLogReadTimeoutMs have passed since the read began. The USB kinds read at most 1024 bytes at
// a time until the buffer is full or a read brings nothing.
CheckMarkResult EcCheckMark(const MarkPort& port, const MarkGroup& group, Bytes& log);

// The threshold the log is decoded with after a calibration: read again when
// the calibration succeeded (stale input discarded first); nullopt when the
// calibration or that read failed.
std::optional<uint8_t> ThresholdAfterCalibration(const MarkPort& port, int model, bool calibrated);

}  // namespace torva::tools
