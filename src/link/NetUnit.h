// Ethernet transport (PortNet): raw TCP to port 9100 of PNET.IPAddress, and
// the optional name check over UDP port 3000. Works on the global PNET.
#pragma once

#include <cstdint>
#include <string>

bool OpenNetPort();
bool WriteNetPort(const uint8_t* data, int length);
bool ReadNetPort(uint8_t* buffer, int length);
void CloseNetPort();
bool PrinterIsIP(const std::string& address, const std::string& expectedName);
bool GetEthernetPrinterName(const char* reply, std::string& name);
bool GetWIFIPrinterName(const char* reply, std::string& name);
