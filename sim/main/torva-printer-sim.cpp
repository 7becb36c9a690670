// Placeholder: the simulated printer program lands with the simulator core.
#include <cstdio>

int main() {
  std::puts("torva-printer-sim: not built yet");
  return 1;
}
