// The commands torva-printer-sim takes on its standard input while it runs,
// so the printer can be changed under an open console: status record,
// settings, faults, unsolicited bytes, log tail, power cycle, raw capture,
// firmware version.
//
// Parsing is a plain function from one line to a ConsoleCommand, and running
// one is a plain function on a SimPrinter, so both are tested without the
// program around them.
#pragma once

#include <chrono>
#include <string>

#include "sim/SimPrinter.h"

namespace torva::sim {

struct ConsoleCommand {
  enum class Kind {
    Empty,       // blank line or # comment: nothing to do
    Error,       // not understood; `error` says why
    Help,        // help, ?
    ShowStatus,  // status
    SetStatus,   // status HEX...
    Get,         // get ADDR [BANK]
    Set,         // set ADDR VALUE [BANK]
    Fault,       // fault KIND [ADDR] [count N] [ms N]
    ClearFaults, // fault clear | fault none
    Send,        // send HEX...
    Log,         // log [N]
    Power,       // power
    Hangup,      // hangup
    Model,       // model CODE
    Delay,       // delay MS
    Capture,     // capture raw | capture commands
    CaptureSave,   // capture save FILE
    CaptureReport, // capture report
    UsbWriteFault, // fault usbwrite N
    Version,     // version TEXT
    ShowAD,      // ad
    SetAD,       // ad HEX...
    Threshold,   // threshold HEX
    Quit,        // quit, exit
  };
  Kind kind = Kind::Empty;
  std::string error;
  Bytes bytes;       // SetStatus, Send, SetAD
  int address = -1;  // Get, Set; Fault: -1 for the general fault
  int value = 0;     // Set: the 16-bit value; Model: the code; Delay: ms; Log: entries; Threshold
  int bank = 1;      // Get, Set
  std::string text;  // Version; CaptureSave: the file
  FaultSpec fault;   // Fault (kind None with an address clears that address)
};

// The text `help` prints.
extern const char kConsoleHelp[];

// Parses one line. Addresses, setting values and bytes are hex, as the log
// shows them ("06", "0x16", "0096"); banks, counts, times and model codes
// are decimal. Words are not case-sensitive.
ConsoleCommand ParseConsoleCommand(const std::string& line);

// Carries a parsed command out on the printer and returns the answer to
// print (one or more lines, each ending in a newline; empty for Empty).
// `start` is the time the log's time stamps count from. Quit only answers:
// stopping is the caller's.
std::string RunConsoleCommand(SimPrinter& printer, const ConsoleCommand& command,
                              std::chrono::steady_clock::time_point start);

// Bytes as text and back: "1B 6A 06". ParseHexBytes takes pairs of hex
// digits, with or without spaces, commas or colons between bytes.
std::string FormatHex(const Bytes& bytes);
bool ParseHexBytes(const std::string& text, Bytes& out);

// One log entry as torva-printer-sim prints it:
// "[    12.345] serial <- ReadSetting      1B 6A 06". With maxBytes above 0,
// a longer frame shows its first maxBytes bytes and its length. A burst of
// raw capture shows its length, its first bytes and the capture's count and
// CRC-32 so far.
std::string FormatLogEntry(const LogEntry& entry, std::chrono::steady_clock::time_point start,
                           size_t maxBytes = 0);

// What `capture report` prints: on or ended, the byte count, CRC-32,
// SHA-256, the first and last bytes, the bursts and the file.
std::string FormatCaptureReport(const CaptureReport& report);

}  // namespace torva::sim
