#include "sim/ConsoleCommands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>
#include <vector>

#include "sim/SimInternal.h"

namespace torva::sim {

const char kConsoleHelp[] =
    "Commands (ADDR, VALUE and bytes in hex; BANK 1 or 2, default 1):\n"
    "  status [HEX...]         show or set the status record, e.g. status 00 00 01 00\n"
    "  get ADDR [BANK]         show a setting, e.g. get 16\n"
    "  set ADDR VALUE [BANK]   set a setting, e.g. set 06 0096 2\n"
    "  fault KIND [ADDR] [count N] [ms N]\n"
    "                          fault the replies: KIND noreply, short, late, long, early (a byte\n"
    "                          just before the reply), garbage or hangup;\n"
    "                          with ADDR only reads of that address; count: how many replies\n"
    "                          (default: until cleared); ms: how late for late (default 500)\n"
    "  fault none [ADDR]       clear every fault, or the fault of one address\n"
    "  fault usbwrite N        the N-th USB write from now on takes no byte (1: the next one)\n"
    "  send HEX...             send bytes unasked on every connection\n"
    "  log [N]                 the last N frames received (default 10)\n"
    "  power                   power cycle: memory kept, automatic status off, 8 data bits\n"
    "  hangup                  drop every connection\n"
    "  model CODE              become another model (0..18), with its default settings\n"
    "  delay MS                delay before each reply\n"
    "  capture raw|commands    raw: take every byte as data, answer nothing (a download);\n"
    "                          commands: parse and answer again (the default)\n"
    "  capture save FILE       as capture raw, and every byte taken also goes to FILE\n"
    "  capture report          what the capture took: bytes, CRC-32, SHA-256, first and last bytes\n"
    "  version TEXT            the firmware version the printer reports\n"
    "  ad [HEX...]             show or set the A/D samples answered to 10 04 30, e.g. ad FF 80 00 66 B3 19\n"
    "  threshold HEX           the mark threshold the next calibration finds, e.g. threshold 80\n"
    "  help                    this text\n"
    "  quit                    stop the simulator\n";

namespace {

using Kind = ConsoleCommand::Kind;

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::vector<std::string> Words(const std::string& line) {
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  return words;
}

// Hex with an optional 0x, at most maxDigits digits.
bool ParseHexNumber(std::string s, size_t maxDigits, int& out) {
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) s = s.substr(2);
  if (s.empty() || s.size() > maxDigits) return false;
  int v = 0;
  for (char c : s) {
    if (!std::isxdigit(static_cast<unsigned char>(c))) return false;
    v = v * 16 + (std::isdigit(static_cast<unsigned char>(c)) ? c - '0' : std::tolower(c) - 'a' + 10);
  }
  out = v;
  return true;
}

bool ParseDecimal(const std::string& s, int lo, int hi, int& out) {
  if (s.empty() || s.size() > 9) return false;
  int v = 0;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    v = v * 10 + (c - '0');
  }
  if (v < lo || v > hi) return false;
  out = v;
  return true;
}

ConsoleCommand Error(std::string why) {
  ConsoleCommand c;
  c.kind = Kind::Error;
  c.error = std::move(why);
  return c;
}

// Everything after the first word, as one string.
std::string Rest(const std::vector<std::string>& words) {
  std::string s;
  for (size_t i = 1; i < words.size(); ++i) s += words[i] + " ";
  return s;
}

bool ParseBank(const std::vector<std::string>& w, size_t at, ConsoleCommand& c) {
  if (w.size() <= at) return true;
  return ParseDecimal(w[at], 1, 2, c.bank);
}

ConsoleCommand ParseFault(const std::vector<std::string>& w) {
  if (w.size() < 2) return Error("fault: which kind? noreply, short, late, long, early, garbage, hangup, usbwrite or none");
  ConsoleCommand c;
  c.kind = Kind::Fault;
  const std::string kind = Lower(w[1]);
  if (kind == "usbwrite") {
    c.kind = Kind::UsbWriteFault;
    if (w.size() != 3 || !ParseDecimal(w[2], 0, 1000000, c.value))
      return Error("fault: fault usbwrite N, the N-th USB write from now on (1: the next one; 0 clears it)");
    return c;
  }
  if (kind == "none" || kind == "clear" || kind == "off") {
    c.fault.kind = Fault::None;
  } else if (kind == "noreply") {
    c.fault.kind = Fault::NoReply;
  } else if (kind == "short" || kind == "shortreply") {
    c.fault.kind = Fault::ShortReply;
  } else if (kind == "late" || kind == "latereply") {
    c.fault.kind = Fault::LateReply;
  } else if (kind == "long" || kind == "longreply") {
    c.fault.kind = Fault::LongReply;
  } else if (kind == "early") {
    c.fault.kind = Fault::EarlyByte;
  } else if (kind == "garbage") {
    c.fault.kind = Fault::Garbage;
  } else if (kind == "hangup") {
    c.fault.kind = Fault::Hangup;
  } else {
    return Error("fault: unknown kind '" + w[1] + "' (noreply, short, late, long, early, garbage, hangup, usbwrite, none)");
  }
  for (size_t i = 2; i < w.size(); ++i) {
    const std::string word = Lower(w[i]);
    if (word == "count" || word == "ms") {
      if (i + 1 >= w.size()) return Error("fault: " + word + " needs a number");
      int n = 0;
      if (word == "count" && !ParseDecimal(w[i + 1], 1, 1000000, n))
        return Error("fault: count is a number of replies, 1 or more");
      if (word == "ms" && !ParseDecimal(w[i + 1], 0, 600000, n))
        return Error("fault: ms is a time in milliseconds, 0..600000");
      (word == "count" ? c.fault.count : c.fault.lateMs) = n;
      ++i;
    } else if (c.address < 0 && i == 2 && ParseHexNumber(w[i], 2, c.address)) {
      // the address whose reads get the fault
    } else {
      return Error("fault: not understood: '" + w[i] + "' (ADDR in hex, then count N, ms N)");
    }
  }
  if (c.fault.kind == Fault::None && c.address < 0) c.kind = Kind::ClearFaults;
  return c;
}

std::string Hex2(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%02X", v & 0xFF);
  return buf;
}

std::string Hex4(int v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04X", v & 0xFFFF);
  return buf;
}

const char* FaultName(Fault f) {
  switch (f) {
    case Fault::NoReply:
      return "noreply";
    case Fault::ShortReply:
      return "short";
    case Fault::LateReply:
      return "late";
    case Fault::Garbage:
      return "garbage";
    case Fault::Hangup:
      return "hangup";
    case Fault::LongReply:
      return "long";
    case Fault::EarlyByte:
      return "early";
    case Fault::None:
      break;
  }
  return "none";
}

std::string StatusLine(const SimPrinter& printer, size_t given);

}  // namespace

std::string FormatHex(const Bytes& bytes) {
  std::string s;
  s.reserve(bytes.size() * 3);
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) s += ' ';
    s += Hex2(bytes[i]);
  }
  return s;
}

bool ParseHexBytes(const std::string& text, Bytes& out) {
  std::string digits;
  for (char c : text) {
    if (std::isxdigit(static_cast<unsigned char>(c)))
      digits += c;
    else if (c != ' ' && c != ',' && c != ':' && c != '\t')
      return false;
  }
  if (digits.size() % 2) return false;
  Bytes bytes;
  for (size_t i = 0; i < digits.size(); i += 2) {
    int v = 0;
    ParseHexNumber(digits.substr(i, 2), 2, v);
    bytes.push_back(static_cast<uint8_t>(v));
  }
  out = std::move(bytes);
  return true;
}

std::string FormatLogEntry(const LogEntry& e, std::chrono::steady_clock::time_point start, size_t maxBytes) {
  const double t = std::chrono::duration<double>(e.time - start).count();
  char head[96];
  std::snprintf(head, sizeof head, "[%10.3f] %-6s <- %-16s ", t, e.channel.c_str(), e.name.c_str());
  if (e.length > 0) {
    // A burst of raw capture: its size first, then what it began with.
    std::string line = head + std::to_string(e.length) + " bytes: " + FormatHex(e.frame);
    if (e.length > e.frame.size()) line += " ...";
    if (!e.note.empty()) line += " (" + e.note + ")";
    return line;
  }
  if (maxBytes == 0 || e.frame.size() <= maxBytes) return head + FormatHex(e.frame);
  return head + FormatHex(Bytes(e.frame.begin(), e.frame.begin() + static_cast<long>(maxBytes))) + " ... (" +
         std::to_string(e.frame.size()) + " bytes)";
}

namespace {

// The status record(s) after `status`; `given` is how many bytes were typed
// (0: none).
std::string StatusLine(const SimPrinter& printer, size_t given) {
  const size_t length = static_cast<size_t>(printer.statusLength());
  if (printer.model() == 12) {
    // The VD-K773 keeps two: the four bytes it answers to 1D 61 and the six
    // of its custom status (1D E0); the length typed says which is set.
    std::string out = "status: automatic (1D 61) " + FormatHex(printer.autoStatusRecord()) + ", custom (1D E0) " +
                      FormatHex(printer.statusRecord());
    if (given != 0 && given != 4 && given != length) out += " (four bytes set the first record, six the second)";
    return out + "\n";
  }
  std::string out = "status: " + FormatHex(printer.statusRecord());
  if (given != 0 && given != length) out += " (this model's record has " + std::to_string(length) + " bytes)";
  return out + "\n";
}

}  // namespace

std::string FormatCaptureReport(const CaptureReport& r) {
  char crc[16];
  std::snprintf(crc, sizeof crc, "%08X", r.crc32);
  std::string out = std::string("capture: ") + (r.on ? "on" : "ended") + ", " + std::to_string(r.count) +
                    " bytes in " + std::to_string(r.bursts) + (r.bursts == 1 ? " burst\n" : " bursts\n");
  out += std::string("  CRC-32  ") + crc + "\n";
  out += "  SHA-256 " + r.sha256 + "\n";
  if (r.count > 0) {
    out += "  first   " + FormatHex(r.first) + "\n";
    out += "  last    " + FormatHex(r.last) + "\n";
  }
  if (!r.file.empty()) {
    out += "  saved to " + r.file;
    if (!r.fileError.empty()) out += " (writing it failed: " + r.fileError + ")";
    out += "\n";
  }
  return out;
}

ConsoleCommand ParseConsoleCommand(const std::string& line) {
  const std::vector<std::string> w = Words(line);
  ConsoleCommand c;
  if (w.empty() || w[0][0] == '#') return c;
  const std::string cmd = Lower(w[0]);
  if (cmd == "help" || cmd == "?") {
    c.kind = Kind::Help;
  } else if (cmd == "status") {
    if (w.size() == 1) {
      c.kind = Kind::ShowStatus;
    } else {
      c.kind = Kind::SetStatus;
      if (!ParseHexBytes(Rest(w), c.bytes)) return Error("status: not hex bytes, e.g. status 00 00 01 00");
    }
  } else if (cmd == "get") {
    c.kind = Kind::Get;
    if (w.size() < 2 || w.size() > 3) return Error("get: get ADDR [BANK], e.g. get 16");
    if (!ParseHexNumber(w[1], 2, c.address)) return Error("get: the address is hex, 00..FF");
    if (!ParseBank(w, 2, c)) return Error("get: the bank is 1 or 2");
  } else if (cmd == "set") {
    c.kind = Kind::Set;
    if (w.size() < 3 || w.size() > 4) return Error("set: set ADDR VALUE [BANK], e.g. set 06 0096");
    if (!ParseHexNumber(w[1], 2, c.address)) return Error("set: the address is hex, 00..FF");
    if (!ParseHexNumber(w[2], 4, c.value)) return Error("set: the value is hex, 0000..FFFF");
    if (!ParseBank(w, 3, c)) return Error("set: the bank is 1 or 2");
  } else if (cmd == "fault") {
    return ParseFault(w);
  } else if (cmd == "send") {
    c.kind = Kind::Send;
    if (w.size() < 2 || !ParseHexBytes(Rest(w), c.bytes) || c.bytes.empty())
      return Error("send: hex bytes to send, e.g. send 7E 00");
  } else if (cmd == "log") {
    c.kind = Kind::Log;
    c.value = 10;
    if (w.size() > 2 || (w.size() == 2 && !ParseDecimal(w[1], 1, 100000, c.value)))
      return Error("log: log [N], N entries from the end (default 10)");
  } else if (cmd == "power" || cmd == "powercycle") {
    c.kind = Kind::Power;
  } else if (cmd == "hangup") {
    c.kind = Kind::Hangup;
  } else if (cmd == "model") {
    c.kind = Kind::Model;
    if (w.size() != 2 || !ParseDecimal(w[1], 0, 18, c.value)) return Error("model: model CODE, 0..18");
  } else if (cmd == "delay") {
    c.kind = Kind::Delay;
    if (w.size() != 2 || !ParseDecimal(w[1], 0, 600000, c.value))
      return Error("delay: delay MS, 0..600000");
  } else if (cmd == "capture") {
    c.kind = Kind::Capture;
    const std::string how = w.size() >= 2 ? Lower(w[1]) : std::string();
    if (how == "save") {
      c.kind = Kind::CaptureSave;
      // The rest of the line is the file name, blanks and all.
      const size_t at = line.find(w[1]) + w[1].size();
      const size_t from = line.find_first_not_of(" \t", at);
      if (from == std::string::npos) return Error("capture: capture save FILE");
      c.text = line.substr(from);
      while (!c.text.empty() && std::isspace(static_cast<unsigned char>(c.text.back()))) c.text.pop_back();
      return c;
    }
    if (how == "report" && w.size() == 2) {
      c.kind = Kind::CaptureReport;
      return c;
    }
    if ((how != "raw" && how != "commands") || w.size() != 2)
      return Error("capture: capture raw, capture commands, capture save FILE or capture report");
    c.value = how == "raw" ? 1 : 0;
  } else if (cmd == "version") {
    c.kind = Kind::Version;
    if (w.size() != 2) return Error("version: version TEXT, e.g. version V1.02.3");
    c.text = w[1];
  } else if (cmd == "ad") {
    c.kind = w.size() == 1 ? Kind::ShowAD : Kind::SetAD;
    if (c.kind == Kind::SetAD && (!ParseHexBytes(Rest(w), c.bytes) || c.bytes.empty()))
      return Error("ad: hex sample bytes, one per sensor, e.g. ad FF 80 00 66 B3 19");
  } else if (cmd == "threshold") {
    c.kind = Kind::Threshold;
    if (w.size() != 2 || !ParseHexNumber(w[1], 2, c.value)) return Error("threshold: threshold HEX, 00..FF");
  } else if (cmd == "quit" || cmd == "exit") {
    c.kind = Kind::Quit;
  } else {
    return Error("unknown command '" + w[0] + "' (help lists the commands)");
  }
  if (c.kind != Kind::SetStatus && c.kind != Kind::Send && c.kind != Kind::Get && c.kind != Kind::Set &&
      c.kind != Kind::Log && c.kind != Kind::Model && c.kind != Kind::Delay && c.kind != Kind::Capture &&
      c.kind != Kind::Version && c.kind != Kind::SetAD && c.kind != Kind::Threshold && w.size() > 1)
    return Error(w[0] + ": takes no arguments");
  return c;
}

std::string RunConsoleCommand(SimPrinter& printer, const ConsoleCommand& c,
                              std::chrono::steady_clock::time_point start) {
  std::string out;
  switch (c.kind) {
    case Kind::Empty:
    case Kind::Quit:
      return {};
    case Kind::Error:
      return c.error + "\n";
    case Kind::Help:
      return kConsoleHelp;
    case Kind::SetStatus:
      printer.setStatusRecord(c.bytes);
      return StatusLine(printer, c.bytes.size());
    case Kind::ShowStatus:
      return StatusLine(printer, 0);
    case Kind::Set:
      printer.setSetting(c.address, static_cast<uint16_t>(c.value), c.bank);
      [[fallthrough]];
    case Kind::Get:
      return "setting " + Hex2(c.address) + " (bank " + std::to_string(c.bank) +
             ") = " + Hex4(printer.setting(c.address, c.bank)) + "\n";
    case Kind::Fault: {
      if (c.address >= 0) {
        printer.setAddressFault(c.address, c.fault);
        if (c.fault.kind == Fault::None) return "fault on address " + Hex2(c.address) + " cleared\n";
      } else {
        printer.setFault(c.fault);
      }
      out = std::string("fault: ") + FaultName(c.fault.kind);
      if (c.fault.kind == Fault::LateReply) out += " by " + std::to_string(c.fault.lateMs) + " ms";
      out += c.address >= 0 ? " on reads of address " + Hex2(c.address) : std::string(" on every reply");
      out += c.fault.count > 0 ? ", the next " + std::to_string(c.fault.count) : std::string(", until cleared");
      return out + "\n";
    }
    case Kind::ClearFaults:
      printer.clearFault();
      return "faults cleared\n";
    case Kind::Send:
      printer.sendUnsolicited(c.bytes);
      return "sent " + FormatHex(c.bytes) + "\n";
    case Kind::Log: {
      const std::vector<LogEntry> log = printer.log();
      if (log.empty()) return printer.rawCapture() ? "log: empty (capture raw: capture report shows what came)\n"
                                                   : "log: empty\n";
      const size_t n = std::min(log.size(), static_cast<size_t>(std::max(1, c.value)));
      if (n == log.size() && printer.logForgotten() > 0)
        out += "(" + std::to_string(printer.logForgotten()) + " earlier frames forgotten)\n";
      for (size_t i = log.size() - n; i < log.size(); ++i) out += FormatLogEntry(log[i], start, 24) + "\n";
      return out;
    }
    case Kind::Power:
      printer.powerCycle();
      return "power cycled: memory kept, automatic status off, 8 data bits\n";
    case Kind::Hangup:
      printer.hangUp();
      return "connections dropped\n";
    case Kind::Model:
      printer.setModel(c.value);
      return "model " + std::to_string(c.value) + " (" + ModelName(c.value) + "), default settings, status " +
             FormatHex(printer.statusRecord()) + "\n";
    case Kind::Delay:
      printer.setReplyDelayMs(c.value);
      return "reply delay " + std::to_string(printer.replyDelayMs()) + " ms\n";
    case Kind::Capture:
      if (c.value == 0) {
        const bool was = printer.rawCapture();
        printer.setRawCapture(false);
        return was ? "capture commands: frames are parsed and answered; the capture ended:\n" +
                         FormatCaptureReport(printer.captureReport())
                   : "capture commands: frames are parsed and answered\n";
      }
      printer.setRawCapture(true);
      return "capture raw: bytes are counted, nothing is parsed or answered (capture report shows them)\n";
    case Kind::CaptureSave: {
      std::string why;
      if (!printer.saveCapture(c.text, &why)) return "capture save: cannot write " + c.text + ": " + why + "\n";
      return "capture save: every byte taken goes to " + c.text +
             "; nothing is parsed or answered (capture report shows them)\n";
    }
    case Kind::CaptureReport:
      return FormatCaptureReport(printer.captureReport());
    case Kind::UsbWriteFault:
      printer.setWriteFault(c.value);
      return c.value == 0 ? std::string("fault usbwrite cleared\n")
                          : "fault: USB write " + std::to_string(c.value) +
                                " from now on takes no byte (answered with 0 bytes written)\n";
    case Kind::Version:
      printer.setFirmwareVersion(c.text);
      return "firmware version " + printer.firmwareVersion() + "\n";
    case Kind::SetAD:
      printer.setADSamples(c.bytes);
      [[fallthrough]];
    case Kind::ShowAD:
      return "A/D samples: " + FormatHex(printer.adSamples()) + "\n";
    case Kind::Threshold:
      printer.setCalibratedThreshold(static_cast<uint8_t>(c.value));
      return "mark threshold after calibration: " + Hex2(printer.calibratedThreshold()) + "\n";
  }
  return {};
}

}  // namespace torva::sim
