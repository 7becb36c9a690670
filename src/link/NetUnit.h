// Ethernet transport (PortNet): a raw TCP data connection to port 9100 of
// PNET.IPAddress, and the optional name check that asks the printer for its
// name over datagram port 3000 before the data connection is opened. Works on
// the global PNET; its three times (seconds) go to the network library as
// they are.
#pragma once

#include <cstdint>
#include <string>

// Opens the data connection. With PNET.TestPrinterName set, the printer must
// first report exactly PNET.PrinterName (PrinterIsIP); otherwise false, and
// PNET.handle and PNET.status stay as they were. Sets PNET.handle (-1 on a
// failed connect) and PNET.status.
bool OpenNetPort();

// Writes the whole block on PNET.handle within PNET.writetime, then pauses
// length div 6 ms (the pacing the printer needs), whether or not the write
// succeeded. True only when every byte went out.
bool WriteNetPort(const uint8_t* data, int length);

// Reads exactly `length` bytes within PNET.readtime, then pauses 10 ms. True
// only when all of them arrived; a short reply is a failure.
bool ReadNetPort(uint8_t* buffer, int length);

// Closes PNET.handle (unless it is -1), sets PNET.status false and
// PNET.handle -1, so no later close can reach a descriptor that another
// connection has been given since.
void CloseNetPort();

// The name check: sends "BG" to the name port of `address` and answers true
// when the printer's reply names exactly `expectedName` (case and blanks
// count).
bool PrinterIsIP(const std::string& address, const std::string& expectedName);

// Ethernet reply: the text up to its first zero byte, at most 63 characters,
// appended to `name`. Always true.
bool GetEthernetPrinterName(const char* reply, std::string& name);

// Wi-Fi reply ("ID:..."): the name follows the first "DEVICENAME" and one
// separator character, and ends at the next ";" or at the end of the reply,
// whichever comes first. It is appended to `name`. False when the reply has
// no such field (or is shorter than 11 characters); true otherwise, also for
// an empty name.
bool GetWIFIPrinterName(const char* reply, std::string& name);
