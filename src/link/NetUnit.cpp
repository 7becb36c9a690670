// Placeholder until the network layer lands: every call fails.
#include "link/NetUnit.h"

bool OpenNetPort() { return false; }
bool WriteNetPort(const uint8_t*, int) { return false; }
bool ReadNetPort(uint8_t*, int) { return false; }
void CloseNetPort() {}
bool PrinterIsIP(const std::string&, const std::string&) { return false; }
bool GetEthernetPrinterName(const char*, std::string&) { return true; }
bool GetWIFIPrinterName(const char*, std::string&) { return false; }
