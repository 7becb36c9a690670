// Placeholder until the parallel transport lands.
#include "link/LPTUnit.h"

std::atomic<int> m_hdev_LPT{-1};
int OpenLPT(const std::string&) { return -1; }
bool CloseLPT(int) { return false; }
bool WriteLPT(int, const uint8_t*, int) { return false; }
int OpenNibbleLPTPort(int, int) { return 0; }
void CloseNibbleLPTPort() {}
std::string ProgramDirectory() { return "./"; }
