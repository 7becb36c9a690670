// Global port and model state of the console.
//
// The main window owns this state for the whole run: which printer model is
// configured, which port kind is in use with which parameters and handles,
// the interface language and a few flags that pass information between
// dialogs. It is declared here, below the shell, so that the printer link can
// read it without depending on the user interface.
//
// Handles hold -1 while the port of that kind is closed; whoever closes a port
// stores -1 again, and a field that holds -1 is never closed. Fields that a
// worker thread (status polling, console reader, download) reads or writes are
// std::atomic.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>

// Port kind, the value of PortType.
enum PortKind : int {
  PortNone = -1,       // no port configured
  PortCOM = 0,         // serial port
  PortLPT = 1,         // parallel port written as a file
  PortUSB = 2,         // USB device library
  PortDriver = 3,      // printer queue of the spooler, RAW documents
  PortNibbleLPT = 4,   // parallel port in reverse (nibble) mode
  PortNet = 5,         // Ethernet, raw TCP to port 9100
  PortUSBPrinter = 6,  // USB printer-class library (VD-K773 custom mode too)
};

// Printer model code, the value of PrinterName. A code, not a name, and not the
// order of the model list in the port-setting dialog.
enum PrinterModelCode : int {
  ModelVDN512 = 0,
  ModelVDM512 = 1,
  ModelVDM512II = 2,
  ModelVDK305 = 3,
  ModelRWK201 = 4,
  ModelRWNK409 = 5,
  ModelRWK305 = 6,
  ModelVDK201 = 7,
  ModelVDK512 = 8,
  ModelRWK305E = 9,
  ModelRWK201E = 10,
  ModelVDK772 = 11,
  ModelVDK773 = 12,
  ModelVDK9034 = 13,
  ModelRWK305GII = 14,
  ModelRWK305W = 15,
  ModelVDK772II = 16,
  ModelVDK466 = 17,
  ModelVDH738 = 18,
};
constexpr int kPrinterModelCount = 19;

// Display name of a model code ("VD-N512" ...); empty for a code outside 0..18.
const char* PrinterModelText(int code);
// Model code of a display name, or -1.
int PrinterModelFromText(const std::string& text);

// Serial parameters.
struct ComInfor {
  std::string Name = "COM1";
  int Baudrate = 38400;
  int Databits = 8;
  int Stopbits = 1;
  std::string Parity = "None";       // "None", "Odd" or "Even"
  std::string Handshake = "DTR/DSR"; // "DTR/DSR" or "XON/XOFF"
  std::atomic<int> m_hdev{-1};
};

// Parallel parameters, for PortLPT and PortNibbleLPT.
struct LPTInfor {
  std::string Name = "LPT1";
  int Number = 1;  // 1..4; low 16 bits are the nibble library's port argument
  std::atomic<int> m_hdev{-1};
};

// USB device parameters, PortUSB.
struct USBInfor {
  std::string Name = "QFUSB-0";
  int ID = 0;  // the device's internal printer ID; recorded, not used
  int X = -1;  // device position 0..7; -1 when none is chosen
  std::atomic<int> m_hdev{-1};
};

// USB printer parameters, PortUSBPrinter.
struct USBPrinterInfor {
  std::string Name;  // printer name as the library enumerates it
  int ID = 0;
  int X = 0;
  std::atomic<int> m_hdev{-1};
};

// Spooler parameters, PortDriver.
struct DriverInfor {
  std::atomic<int> hPrinter{-1};
  std::string DriverName;  // queue name
  std::string DriverPort;
};

// Ethernet parameters, PortNet.
struct NETInfor {
  std::string PrinterName;          // name expected when TestPrinterName is set
  std::string IPAddress = "0.0.0.0";
  bool TestPrinterName = false;
  std::atomic<bool> status{false};  // the data connection is open
  int connecttime = 0;              // 3 once the port dialog configured Ethernet
  int writetime = 0;                // 5 then
  int readtime = 0;                 // 5 then
  bool TestConnect = false;
  std::atomic<int> handle{-1};
};

// Send result of OpenAndSenddata.
enum SendResult : int {
  SendOK = 1001,
  SendOpenFailed = 1002,
  SendWriteFailed = 1004,
};

extern std::atomic<int> PortType;     // a PortKind
extern std::atomic<int> PrinterName;  // a PrinterModelCode
extern std::string PortDisplay;
extern std::string Language;          // "English" or "Chinese"
extern std::string Firmwarefile;

extern ComInfor ComParameter;
extern LPTInfor LPTParameter;
extern USBInfor USBParameter;
extern USBPrinterInfor USBPrinterParameter;
extern DriverInfor DriverParameter;
extern NETInfor PNET;

extern bool bPassword;
extern bool bCheckConnect;
extern bool bHave;
extern std::atomic<bool> bMinimize;

extern std::atomic<int> iUSBClassMode;
extern std::atomic<int> iStatusBytes;
extern std::atomic<int> iReadType;
extern std::atomic<int> is773Costom;
extern std::atomic<int> isADPress;

// Flag of the command console: set by POSWritePort on every USB write, true
// when the data carries the automatic-status command.
extern std::atomic<bool> Include1D61;

// True in custom mode: the VD-K773 on the USB printer port answering with
// its own framing.
bool IsK773CustomMode();

// A reply that may still be on its way. A read that gave up before the
// printer's reply came (its time-out passed, or the library delivered too
// little) leaves that reply possibly on the line: arriving later, it would
// be taken for the answer to the next question. The reader notes it here,
// for the port it read (the kind and the record's port: ComParameter.Name,
// USBParameter.X, USBPrinterParameter.Name), with the time it gave up and
// how long the line must then stay quiet before nothing more is to be
// expected; the next exchange on that port takes it and waits first
// (settings/SettingProtocol.h). One note is kept, the last; a note for
// another port is not given out.
struct OutstandingReply {
  uint64_t gaveUpAt = 0;  // torva::TickMs()
  int quietMs = 0;
};
void NoteOutstandingReply(int kind, int quietMs);
// The note for the configured port of `kind`, once; nullopt when there is
// none (the exchange then starts at once).
std::optional<OutstandingReply> TakeOutstandingReply(int kind);

// Puts every global above back to its start value (what the main window's
// creation does; tests call it between cases). Language becomes "Chinese",
// as with no Printer.ini. An outstanding reply's note is forgotten.
void ResetPortState();
