// Placeholder until the spooler layer lands: every call fails.
#include "link/DriverUnit.h"

std::vector<std::string> EnumPrinterQueues() { return {}; }
int OpenPrinterDriver(const std::string&) { return -1; }
bool ClosePrinterDriver(int) { return true; }
int WritePrinterDriver(int, const uint8_t*, int) { return -1; }
bool StartDocAndPage(int) { return false; }
bool EndPageAndDoc(int) { return false; }
int FirmwareDownload(int, const uint8_t*, int) { return -1; }
