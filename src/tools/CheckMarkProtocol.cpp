#include "tools/CheckMarkProtocol.h"

#include <algorithm>

#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/SerialIo.h"
#include "settings/SettingProtocol.h"
#include "tools/MarkLog.h"

namespace torva::tools {

namespace {

using L = MarkLayout;
using C = MarkCalibration;

// The groups, A to J. Addresses are setting addresses; the threshold read
// follows MarkThresholdReadAddress (group H reads none).
const std::vector<MarkGroup>& Table() {
  static const std::vector<MarkGroup> groups = {
      {'A', L::Full, 0x39, 0x39, false, C::Log, 5000, kMarkWindowLimitA, false},
      {'B', L::Full, 0x39, 0x39, false, C::Log, 8000, kMarkWindowLimit, false},
      {'C', L::Full, 0x39, 0x39, false, C::Log, 5000, kMarkWindowLimit, false},
      {'D', L::Full, 0x20, 0x20, false, C::Log, 5000, kMarkWindowLimit, true},
      {'E', L::Full, 0x20, -1, false, C::Log, 5000, kMarkWindowLimit, true},
      {'F', L::Full, 0x20, -1, false, C::Log, 5000, kMarkWindowLimit, false},
      {'G', L::Full, 0x39, 0x39, false, C::None, 5000, kMarkWindowLimit, false},
      {'H', L::CalibrationOnly, -1, -1, false, C::CommandOnly, 5000, kMarkWindowLimit, false},
      {'J', L::ThresholdOnly, 0x20, 0x20, true, C::None, 5000, kMarkWindowLimit, false},
  };
  return groups;
}

// The group letter of each model code 0..18.
constexpr char kGroupOfModel[kPrinterModelCount] = {
    'A',  // 0 VD-N512
    'B',  // 1 VD-M512
    'C',  // 2 VD-M512II
    'G',  // 3 VD-K305
    'C',  // 4 RW-K201
    'B',  // 5 RWN-K409
    'D',  // 6 RW-K305
    'D',  // 7 VD-K201
    'B',  // 8 VD-K512
    'D',  // 9 RW-K305E
    'D',  // 10 RW-K201E
    'H',  // 11 VD-K772
    'H',  // 12 VD-K773
    'H',  // 13 VD-K9034
    'E',  // 14 RW-K305GII
    'F',  // 15 RW-K305W
    'H',  // 16 VD-K772II
    'H',  // 17 VD-K466
    'J',  // 18 VD-H738
};

// The calibration block: automatic status off, checking on (4C = 1), reset,
// calibrate and store the threshold, send the log.
const Bytes kCalibrationBlock = {0x1D, 0x61, 0x00, 0x1B, 0x73, 0x5C, 0x31, 0xE7, 0x08, 0x01,
                                 0x00, 0x4C, 0x1B, 0x40, 0x1D, 0x28, 0x41, 0x02, 0x00, 0x02,
                                 0x04, 0x1D, 0x28, 0x41, 0x02, 0x00, 0x02, 0x07};
// Group H: automatic status off, calibrate.
const Bytes kShortCalibration = {0x1D, 0x61, 0x00, 0x1D, 0x28, 0x41, 0x02, 0x00, 0x01, 0x04};
constexpr size_t kAutoStatusOffLength = 3;  // the leading 1D 61 00

// Serial: what is already queued is not the answer to the next command.
void DiscardStaleInput(const MarkPort& port) {
  if (port.kind == PortCOM && port.handle > 0) serialio::PurgeInput(port.handle);
}

// One read-setting exchange: 1B 6A a, then exactly two bytes.
bool ReadSetting(const MarkPort& port, uint8_t address, int pauseMs, uint8_t reply[2]) {
  if (port.handle <= 0) return false;
  DiscardStaleInput(port);
  const auto command = settings::ReadSettingCommand(address);
  if (!POSWritePort(port.kind, port.handle, command.data(), static_cast<int>(command.size()))) return false;
  if (pauseMs > 0) torva::PrinterDelay(pauseMs);
  return POSReadPort(port.kind, port.handle, reply, 2, kSettingReadTimeoutMs);
}

// The serial log: its first byte within the time-out, then everything that
// follows until the line is quiet, the buffer is full or the same time-out
// has run out (a printer that keeps talking does not hold the dialog). Read
// as it comes, so a log longer than the driver's queue is read whole too.
bool ReadSerialLog(int fd, uint8_t* buffer, int capacity) {
  const uint64_t deadline = torva::TickMs() + kLogReadTimeoutMs;
  if (serialio::WaitInput(fd, deadline) <= 0) {
    serialio::PurgeInput(fd);
    return false;
  }
  int got = 0;
  while (got < capacity) {
    const int n = serialio::ReadQueued(fd, buffer + got, capacity - got);
    if (n < 0) break;
    got += n;
    if (got >= capacity) break;
    const uint64_t now = torva::TickMs();
    if (now >= deadline) break;
    if (serialio::WaitInput(fd, std::min<uint64_t>(now + kLogQuietMs, deadline)) <= 0) break;
  }
  return got > 0;
}

// The USB log: reads of at most kLogUsbReadSize bytes until the buffer is full
// or a read brings nothing.
bool ReadUsbLog(const MarkPort& port, uint8_t* buffer, int capacity) {
  int got = 0;
  while (got < capacity) {
    const int chunk = std::min(kLogUsbReadSize, capacity - got);
    int n = 0;
    if (port.kind == PortUSB)
      n = CurrentPortLibraryCalls().uRead(port.handle, 1, buffer + got, chunk);
    else
      n = ReadUsbPrinterReply(port.handle, buffer + got, chunk);
    if (n <= 0) break;
    got += std::min(n, chunk);
  }
  return got > 0;
}

}  // namespace

const std::vector<MarkGroup>& MarkGroups() { return Table(); }

const MarkGroup& MarkGroupOf(int model) {
  const char name = model >= 0 && model < kPrinterModelCount ? kGroupOfModel[model] : 'A';
  for (const MarkGroup& g : Table())
    if (g.name == name) return g;
  return Table().front();
}

uint8_t MarkThresholdReadAddress(int model) {
  switch (model) {
    case 0: case 1: case 2: case 3: case 4: case 5: case 8: case 12:
      return 0x39;
    default:
      return 0x20;
  }
}

bool CheckMarkServes(int portKind) { return link::HasKind(kCheckMarkPortPlan.kinds, portKind); }

Bytes SensorThresholdCommand(uint8_t c, uint8_t v) { return {0x1D, 0x99, 0x5C, 0x31, 0xE7, 0x08, 0x51, 0x01, c, v}; }

Bytes SetThresholdCommand(const MarkGroup& group, uint8_t v) {
  if (group.writeAddress < 0) return {};
  const auto write = settings::WriteSettingCommand(static_cast<uint8_t>(group.writeAddress), v);
  Bytes out(write.begin(), write.end());
  if (group.sensorCommands) {
    for (uint8_t c : {uint8_t{0x01}, uint8_t{0x03}}) {
      const Bytes sensor = SensorThresholdCommand(c, v);
      out.insert(out.end(), sensor.begin(), sensor.end());
    }
  }
  return out;
}

Bytes MarkCalibrationCommand(const MarkGroup& group, int portKind) {
  const Bytes* command = nullptr;
  switch (group.calibration) {
    case MarkCalibration::Log: command = &kCalibrationBlock; break;
    case MarkCalibration::CommandOnly: command = &kShortCalibration; break;
    case MarkCalibration::None: return {};
  }
  // The USB printer takes the block without switching automatic status off.
  const size_t skip = portKind == PortUSBPrinter ? kAutoStatusOffLength : 0;
  return Bytes(command->begin() + static_cast<std::ptrdiff_t>(skip), command->end());
}

bool GetPaperType(const MarkPort& port, bool& isSequential) {
  uint8_t reply[2] = {0, 0};
  if (!ReadSetting(port, kPaperTypeAddress, kSettingReadPauseMs, reply)) return false;
  if (reply[0] > 1) return false;
  isSequential = reply[0] == 0;
  return true;
}

bool EcGetMark(const MarkPort& port, uint8_t address, uint8_t reply[2]) {
  return ReadSetting(port, address, kSettingReadPauseMs, reply);
}

bool EcGetCheckEnable(const MarkPort& port, bool& enabled) {
  uint8_t reply[2] = {0xFF, 0xFF};
  if (!ReadSetting(port, kCheckEnableAddress, 0, reply)) return false;
  if (reply[1] != 0 || reply[0] > 1) return false;
  enabled = reply[0] == 1;
  return true;
}

bool WriteMarkPort(const MarkPort& port, const Bytes& bytes) {
  if (port.handle <= 0 || bytes.empty()) return false;
  return POSWritePort(port.kind, port.handle, bytes.data(), static_cast<int>(bytes.size()));
}

CheckMarkResult EcCheckMark(const MarkPort& port, const MarkGroup& group, Bytes& log) {
  log.assign(static_cast<size_t>(std::max(group.logBufferSize, 1)), 0);
  if (!WriteMarkPort(port, MarkCalibrationCommand(group, port.kind))) return CheckMarkResult::WriteFailed;
  if (group.calibration != MarkCalibration::Log) return CheckMarkResult::Ok;
  torva::PrinterDelay(kCalibrationWaitMs);
  const int capacity = static_cast<int>(log.size());
  bool read = false;
  switch (port.kind) {
    case PortCOM: read = ReadSerialLog(port.handle, log.data(), capacity); break;
    case PortUSB:
    case PortUSBPrinter: read = ReadUsbLog(port, log.data(), capacity); break;
    default: break;
  }
  return read ? CheckMarkResult::Ok : CheckMarkResult::ReadFailed;
}

std::optional<uint8_t> ThresholdAfterCalibration(const MarkPort& port, int model, bool calibrated) {
  if (!calibrated) return std::nullopt;
  uint8_t reply[2] = {0, 0};
  if (!EcGetMark(port, MarkThresholdReadAddress(model), reply)) return std::nullopt;
  return reply[0];
}

}  // namespace torva::tools
