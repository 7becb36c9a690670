// Spooler transport (PortDriver) on CUPS: each command one RAW document.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Names of the queues the spooler offers.
std::vector<std::string> EnumPrinterQueues();

int OpenPrinterDriver(const std::string& queueName);
bool ClosePrinterDriver(int handle);
int WritePrinterDriver(int handle, const uint8_t* data, int length);
bool StartDocAndPage(int handle);
bool EndPageAndDoc(int handle);
int FirmwareDownload(int handle, const uint8_t* data, int length);
