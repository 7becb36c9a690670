// Placeholder until the serial transport lands.
#include "link/COMUnit.h"

std::atomic<int> m_hdev_Com{-1};
int OpenCOM(const std::string&, int, int, int, const std::string&, const std::string&) { return -1; }
int OpenCOM1(const std::string&, int, int, int, const std::string&, const std::string&) { return -1; }
bool CheckComConnect(const std::string&) { return false; }
bool CloseCOM(int) { return false; }
int SerialWriteTimeoutMs(int, int) { return 3000; }
