// Placeholder until the name-query endpoint lands.
#include "sim/SimPrinter.h"

namespace torva::sim {
int SimPrinter::startNameQuery(int) { return -1; }
}  // namespace torva::sim
