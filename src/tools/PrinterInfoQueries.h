// The printer information's seven questions and what their answers show, and
// the exchange that asks them on the configured port. No widget here; the
// dialog (Printerinformation) fills its controls and shows the messages.
//
// In order: firmware version (1D 49 44, in the VD-K773 custom mode the
// extended version 1D 99 5C 31 E7 08 35 instead), resolution (setting D0),
// print speed (06), darkness (02), bundler mode (4A), bundler wait time (3C)
// and printer name (1D 49 99). The same setting addresses are asked of every
// model. Only the first byte of a setting's two is shown.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "link/PortSession.h"
#include "tools/ConsoleCommands.h"

namespace torva::tools {

enum class InfoField { Version, ExtendedVersion, Resolution, PrintSpeed, DarkScale, BundlerMode, BundlerWaitTime,
                       PrinterName };

struct InfoQuery {
  InfoField field;
  std::vector<uint8_t> command;
  int replyMax;  // the reply is read as up to this many bytes
};
// The seven queries in the order they are asked; in the custom mode the
// extended version takes the version's place.
std::vector<InfoQuery> InfoQueries(bool k773Custom);

// What a reply shows, in English and Chinese (the same text but for the
// bundler mode). `reply` is the reply buffer as far as the query reads it
// (replyMax bytes; what did not come is zero).
LinePair InfoText(InfoField field, std::span<const uint8_t> reply);
// The text of a reply: its bytes up to the first zero byte (or all of them),
// one character a byte (Latin-1), as UTF-8.
std::string ReplyText(std::span<const uint8_t> reply);

// The information opens the serial port, nibble mode, the USB device and the
// USB printer (the custom call in custom mode), nothing else.
inline constexpr torva::link::PortSessionPlan kInfoPortPlan{
    .kinds = torva::link::KindBit(PortCOM) | torva::link::KindBit(PortNibbleLPT) | torva::link::KindBit(PortUSB) |
             torva::link::KindBit(PortUSBPrinter),
    .keepOpen = 0,
    .usbPrinter = torva::link::UsbPrinterOpen::ByMode,
};
// The pause between a query's write and its read, the serial read's time-out,
// and the further pause before a USB printer read.
inline constexpr int kInfoReplyPauseMs = 50;
inline constexpr int kInfoSerialReadMs = 6000;
inline constexpr int kInfoUsbPrinterPauseMs = 30;

struct InfoRun {
  enum class Failure {
    None,
    Open,   // the port did not open (or the kind has no way to ask: the spooler)
    Write,  // query `failedQuery` could not be written
    Read,   // no reply to query `failedQuery` (nibble mode: twice)
  };
  Failure failure = Failure::None;
  int failedQuery = -1;
  int portType = PortNone;
};

// Opens the configured port, asks the queries in order and calls `show` with
// each answer, ends at the first failure, and closes the port. On serial,
// input still queued is discarded before each query's command.
InfoRun RunInfoQueries(const std::function<void(InfoField, const LinePair&)>& show);

}  // namespace torva::tools
