#include "settings/SettingProtocol.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include <termios.h>

#include "link/COMUnit.h"
#include "link/Clock.h"
#include "link/EepromControl.h"
#include "link/PortSession.h"
#include "link/PortState.h"
#include "link/SerialIo.h"

namespace torva::settings {

SettingCommand WriteSettingCommand(uint8_t address, uint16_t value) {
  return {0x1B, 0x73, kBank1Signature[0], kBank1Signature[1], kBank1Signature[2], kBank1Signature[3],
          static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8), address};
}

SettingCommand WriteSettingCommand2(uint8_t address, uint8_t value) {
  return {0x1B, 0x73, kBank2Signature[0], kBank2Signature[1], kBank2Signature[2], kBank2Signature[3],
          value, 0x00, address};
}

std::array<uint8_t, 3> ReadSettingCommand(uint8_t address) { return {0x1B, 0x6A, address}; }
std::array<uint8_t, 3> ReadSettingCommand2(uint8_t address) { return {0x1B, 0x6B, address}; }

std::array<uint8_t, 8> TempDataBitsCommand(uint8_t dataBits) {
  return {0x1C, 0x09, 0x12, 0x15, 0x02, 0x0A, 0x01, dataBits};
}

bool CommandQueue::MakeupCommand(const uint8_t* bytes, int count) {
  if (count < 0 || (count > 0 && bytes == nullptr)) return false;
  if (count > kCapacity - CommandLength) return false;
  if (count > 0) std::memcpy(CommandBuffer.data() + CommandLength, bytes, static_cast<size_t>(count));
  CommandLength += count;
  return true;
}

namespace {
bool Served(int kind) { return kind == PortCOM || kind == PortUSB || kind == PortUSBPrinter; }
// A setting's reply: two bytes.
constexpr int kReplyLength = 2;
}  // namespace

bool SettingLink::WritePort(const uint8_t* buffer, int length) {
  if (g_nHandle <= 0) return false;
  if (length < 0 || (length > 0 && buffer == nullptr)) return false;
  const int kind = PortType.load();
  if (!Served(kind)) return style_.otherKindsWriteSucceeds;
  // A reply an earlier read gave up on may still come: it is waited for
  // and thrown away before anything new goes out.
  SettleOutstandingReply(kind);
  // What comes from now on may answer this: the port is no longer known
  // to be empty.
  usbEmptied_ = false;
  // The VD-K773 in its custom mode: the custom connection, every byte taken.
  if (kind == PortUSBPrinter && IsK773CustomMode())
    return CurrentPortLibraryCalls().WriteQfUSBPrinter(buffer, length) == length;
  // The one plain write of the settings editors and the one-shot sends.
  return RWK201EEepromSet::POSWritePort(kind, g_nHandle, buffer, length);
}

namespace {
// A printer that never stops sending must not keep the discard going: it
// ends after this many reads, the rest staying for the read it precedes.
constexpr int kMostDiscardReads = 8;

// One read of what the USB port of this kind already holds, without waiting.
int ReadWaitingUsb(int kind, int handle, uint8_t* buffer, int length) {
  const PortLibraryCalls& calls = CurrentPortLibraryCalls();
  if (kind == PortUSB) return calls.uReadWaiting(handle, buffer, length);
  if (IsK773CustomMode()) return calls.ReadQfUSBPrinterWaiting(buffer, length);
  return calls.ReadUSBPrinterWaiting(handle, buffer, length);
}
}  // namespace

int SettingLink::DiscardStaleInput() {
  if (g_nHandle <= 0) return 0;
  const int kind = PortType.load();
  if (kind == PortCOM) {
    const int queued = serialio::QueuedInput(g_nHandle);
    serialio::PurgeInput(g_nHandle);
    return queued;
  }
  if (kind != PortUSB && kind != PortUSBPrinter) return 0;
  // The reply just read found the port empty and nothing went out since:
  // that look stands for this one, so two questions cost one read that
  // waits for nothing (on libusb the shortest transfer, 1 ms), not two.
  if (std::exchange(usbEmptied_, false)) return 0;
  uint8_t scrap[kUsbScratchSize];
  int discarded = 0;
  for (int i = 0; i < kMostDiscardReads; ++i) {
    const int got = ReadWaitingUsb(kind, g_nHandle, scrap, sizeof scrap);
    if (got < 0) return discarded > 0 ? discarded : -1;
    if (got == 0) break;
    discarded += got;
  }
  return discarded;
}

bool SettingLink::ReplyStands(int kind) {
  if (kind == PortCOM) {
    // One and a half characters of quiet: a byte the printer sends right
    // behind the reply is on its way for at most one character.
    const int quietMicros = serialio::CharacterMicros(ComParameter.Baudrate, std::max(ComParameter.Databits, 8),
                                                      ComParameter.Parity, ComParameter.Stopbits) * 3 / 2;
    const int more = serialio::WaitInputMicros(g_nHandle, quietMicros);
    if (more == 0) return true;
    serialio::PurgeInput(g_nHandle);
    return false;
  }
  if (kind != PortUSB && kind != PortUSBPrinter) return true;
  uint8_t scrap[kUsbScratchSize];
  const int got = ReadWaitingUsb(kind, g_nHandle, scrap, sizeof scrap);
  if (got == 0) {
    usbEmptied_ = true;
    return true;
  }
  // The rest of what is there goes too.
  if (got > 0) DiscardStaleInput();
  return false;
}

int SettingLink::DiscardArriving(int kind, uint64_t deadline) {
  uint8_t scrap[64];
  switch (kind) {
    case PortCOM: {
      const int ready = serialio::WaitInput(g_nHandle, deadline);
      if (ready <= 0) return ready;
      // No more than is queued: the read must not wait for more.
      const int queued = serialio::QueuedInput(g_nHandle);
      if (queued <= 0) return queued;
      return serialio::ReadQueued(g_nHandle, scrap, std::min<int>(queued, sizeof scrap));
    }
    // The USB reads wait their library's own time-out for something to come.
    case PortUSB:
      return CurrentPortLibraryCalls().uRead(g_nHandle, 1, scrap, sizeof scrap);
    case PortUSBPrinter: {
      if (IsK773CustomMode()) return CurrentPortLibraryCalls().ReadQfUSBPrinter(scrap, sizeof scrap);
      int got = 0;
      return CurrentPortLibraryCalls().ReadUSBPrinter(g_nHandle, scrap, sizeof scrap, &got) != 0 ? got : -1;
    }
    default:
      return -1;
  }
}

void SettingLink::SettleOutstandingReply(int kind) {
  if (g_nHandle <= 0 || !Served(kind)) return;
  const auto outstanding = TakeOutstandingReply(kind);
  if (!outstanding) return;
  // Until the line has been quiet for the read's time-out since the read
  // gave up (or since the last stray byte), or the stray reply has come
  // whole: whatever has come or comes meanwhile is thrown away.
  int discarded = 0;
  uint64_t quietFrom = outstanding->gaveUpAt;
  while (discarded < kReplyLength) {
    const uint64_t deadline = quietFrom + static_cast<uint64_t>(std::max(outstanding->quietMs, 0));
    if (torva::TickMs() >= deadline) break;
    const int got = DiscardArriving(kind, deadline);
    if (got < 0) break;
    if (got > 0) {
      discarded += got;
      quietFrom = torva::TickMs();
    } else if (kind != PortCOM) {
      // A USB read that came back empty at once is not asked again at once.
      serialio::PauseMs(10);
    }
  }
  DiscardStaleInput();
}

bool SettingLink::ReadPort(uint8_t* buffer, int length, int timeoutMs) {
  if (g_nHandle <= 0 || length <= 0 || buffer == nullptr) return false;
  switch (PortType.load()) {
    case PortCOM: {
      const uint64_t deadline = torva::TickMs() + static_cast<uint64_t>(std::max(timeoutMs, 0));
      for (;;) {
        const int queued = serialio::QueuedInput(g_nHandle);
        if (queued < 0) return false;
        if (queued >= length) return serialio::ReadQueued(g_nHandle, buffer, length) == length;
        if (torva::TickMs() > deadline) return false;
        if (queued == 0) {
          // Nothing yet: sleep in poll until the first byte or the deadline.
          if (serialio::WaitInput(g_nHandle, deadline) < 0) return false;
        } else {
          // Part of the reply is there; poll would return at once.
          serialio::PauseMs(1);
        }
      }
    }
    // The USB calls go through the link's library table, as the writes do
    // (tests replace it).
    case PortUSB:
      return CurrentPortLibraryCalls().uRead(g_nHandle, 1, buffer, length) == length;
    case PortUSBPrinter: {
      if (style_.usbPrinterReadPauseMs > 0) torva::PrinterDelay(style_.usbPrinterReadPauseMs);
      if (IsK773CustomMode()) return ReadCustomUsbReply(buffer, length);
      int got = 0;
      return CurrentPortLibraryCalls().ReadUSBPrinter(g_nHandle, buffer, length, &got) != 0 && got == length;
    }
    default:
      return false;
  }
}

bool SettingLink::ReadSetting(uint8_t address, uint8_t& lo, uint8_t& hi, int bank) {
  return ReadSetting(address, lo, hi, ReadFrame{.bank = bank});
}

bool SettingLink::ReadSetting(uint8_t address, uint8_t& lo, uint8_t& hi, const ReadFrame& frame) {
  if (g_nHandle <= 0) return false;
  const int kind = PortType.load();
  const bool settle = frame.settleMs > 0 && kind == PortUSB;
  // A reply an earlier read gave up on is waited for first (what of it has
  // come already counts), then stale bytes go before the question, so a
  // fast answer is never thrown away.
  SettleOutstandingReply(kind);
  if (style_.purgeBeforeRead) DiscardStaleInput();
  if (settle && frame.settleBeforeRequest) torva::PrinterDelay(frame.settleMs);
  const auto command = frame.bank == 2 ? ReadSettingCommand2(address) : ReadSettingCommand(address);
  if (!WritePort(command.data(), static_cast<int>(command.size()))) return false;
  if (settle && !frame.settleBeforeRequest) torva::PrinterDelay(frame.settleMs);
  // The question went out: a reply that does not come in time may still be
  // on its way, and the next exchange on this port waits for it first.
  const auto gaveUp = [&] {
    if (Served(kind)) NoteOutstandingReply(kind, style_.readTimeoutMs);
    return false;
  };
  if (frame.bank == 1 && IsK773CustomMode() && CustomReadAnswersReport(address)) {
    uint8_t report[kCustomReportLength] = {};
    if (style_.usbPrinterReadPauseMs > 0) torva::PrinterDelay(style_.usbPrinterReadPauseMs);
    if (!ReadCustomUsbReport(report)) return gaveUp();
    if (!ReplyStands(kind)) return false;
    lo = report[1];
    hi = report[2];
    return true;
  }
  uint8_t reply[3] = {0, 0, 0};
  if (frame.throughPOSReadPort) {
    if (!Served(kind)) return false;
    if (!POSReadPort(kind, g_nHandle, reply, kReplyLength, style_.readTimeoutMs)) return gaveUp();
  } else if (!ReadPort(reply, kReplyLength, style_.readTimeoutMs)) {
    return gaveUp();
  }
  // The reply came whole; it stands only with nothing beyond it at the
  // port, looked at, not waited for.
  if (!ReplyStands(kind)) return false;
  lo = reply[0];
  hi = reply[1];
  return true;
}

bool SettingLink::WriteSettingNow2(uint8_t address, uint8_t value) {
  if (g_nHandle <= 0) return false;
  const auto command = WriteSettingCommand2(address, value);
  return WritePort(command.data(), 9);
}

bool SettingLink::QueueSetting2(uint8_t address, uint8_t value) {
  if (g_nHandle <= 0) return false;
  return queue_.MakeupCommand(WriteSettingCommand2(address, value));
}

bool SettingLink::WriteSettingNow(uint8_t address, uint16_t value) {
  const auto command = WriteSettingCommand(address, value);
  return WritePort(command.data(), 9);
}

bool SettingLink::QueueSetting(uint8_t address, uint16_t value) {
  return queue_.MakeupCommand(WriteSettingCommand(address, value));
}

bool SettingLink::SendCommand() {
  if (g_nHandle <= 0) return false;
  return WritePort(queue_.data(), queue_.length());
}

bool SettingLink::LineFeedPrinter() {
  if (g_nHandle <= 0) return false;
  return WritePort(&kFeedLineCommand, 1);
}

bool SettingLink::ResetPrinter() {
  if (g_nHandle <= 0) return false;
  return WritePort(kInitializePrinterCommand.data(), static_cast<int>(kInitializePrinterCommand.size()));
}

bool SettingLink::SetTempDataBits(int n) {
  if ((n != 7 && n != 8) || g_nHandle <= 0) return false;
  const auto command = TempDataBitsCommand(static_cast<uint8_t>(n));
  return WritePort(command.data(), static_cast<int>(command.size()));
}

PortOpenResult OpenEditorPort(SettingLink& session, const link::PortSessionPlan& plan) {
  PortOpenResult result;
  const link::PortOpen port = link::OpenConfiguredPort(plan);
  if (port.status == link::PortOpenStatus::NotServed) return result;
  result.portName = link::ConfiguredPortName(port.kind);
  if (!port.opened()) {
    result.failed = true;
    return result;
  }
  result.opened = true;
  session.setHandle(port.handle);
  return result;
}

void CloseEditorPort(const link::PortSessionPlan& plan) { link::CloseConfiguredPort(plan); }

TempDataBitsSwitch::TempDataBitsSwitch(SettingLink& link) : link_(link) {
  if (PortType.load() != PortCOM) return;
  armed_ = true;
  portBits_ = ComParameter.Databits;
  restoreBits_ = portBits_;
  if (portBits_ == 8) return;
  engaged_ = true;
  link_.SetTempDataBits(8);
  Reopen(8);
  portBits_ = 8;
}

TempDataBitsSwitch::~TempDataBitsSwitch() { Restore(); }

void TempDataBitsSwitch::Restore() {
  if (!armed_) return;
  armed_ = false;
  engaged_ = false;
  // Printer and port already run at the bits to end with (a save that chose
  // 8 leaves the printer at 8): nothing to undo.
  if (restoreBits_ == portBits_) return;
  link_.SetTempDataBits(restoreBits_);
  Reopen(restoreBits_);
  portBits_ = restoreBits_;
}

void TempDataBitsSwitch::Reopen(int dataBits) {
  // The switch must be on the line before the port is closed: the reopen
  // flushes both queues, and would throw away what is still waiting.
  if (ComParameter.m_hdev > 0) tcdrain(ComParameter.m_hdev);
  if (link_.style().dataBitsPauseMs > 0) torva::PrinterDelay(link_.style().dataBitsPauseMs);
  // A failed reopen leaves -1; the next read or send then fails.
  link::PortSessionPlan plan{.kinds = link::KindBit(PortCOM)};
  plan.serialDataBits = dataBits;
  link_.setHandle(link::OpenConfiguredPort(plan).handle);
}

}  // namespace torva::settings
