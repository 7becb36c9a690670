// Placeholder until the USB socket endpoint lands.
#include "sim/SimPrinter.h"

namespace torva::sim {
void SimPrinter::startUsbSocket(const std::string&) {}
}  // namespace torva::sim
